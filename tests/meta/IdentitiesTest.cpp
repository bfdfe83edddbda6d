// The persistent identities the library registers, compared with the golden list tests/data/identities.txt.
// Saved models refer to these identities, so any difference is a compatibility break.

#include "MetaTestSupport.hpp"

#include <arvelle/MetaPackageArvelle.hpp>

#include <gtest/gtest.h>

#include <boost/uuid/uuid.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

using namespace arvelle_test;

namespace {

TEST(Identities, GoldenListIsWellFormed) {
    // Guards the transcription itself: every identity is a name-based (version 3) uuid, none repeats, and
    // the list has the size of the metamodel (1 root package, 5 native types, 10 classes, 59 properties,
    // 2 operations, 2 arguments, 7 enumerations, 19 literals).
    std::map<std::string, int> perKind;
    std::set<std::string> ids;
    for (const Identity& identity : goldenIdentities()) {
        const ::fenmo::uuid id = ::fenmo::uuidFromLiteral(identity.id);
        EXPECT_EQ(id.version(), boost::uuids::uuid::version_name_based_md5) << identity.line;
        EXPECT_EQ(::fenmo::toString(id), identity.id)
            << "identities are written in lower case: " << identity.line;
        EXPECT_TRUE(ids.insert(identity.id).second) << "duplicate identity: " << identity.line;
        ++perKind[identity.kind];
    }
    const std::map<std::string, int> expected{{"package", 1},   {"primitive", 5}, {"class", 10},
                                              {"property", 59}, {"operation", 2}, {"argument", 2},
                                              {"enum", 7},      {"literal", 19}};
    EXPECT_EQ(perKind, expected);
}

TEST(Identities, RegistryHoldsExactlyTheGoldenList) {
    meta::Package root = rootPackage();
    ASSERT_TRUE(root);

    std::vector<std::string> golden;
    for (const Identity& identity : goldenIdentities()) golden.push_back(identity.line);
    std::vector<std::string> dumped = dumpRegistry(root);

    // Same number of lines first: a duplicate registration would hide in a set comparison.
    EXPECT_EQ(dumped.size(), golden.size());

    std::sort(golden.begin(), golden.end());
    std::sort(dumped.begin(), dumped.end());
    std::vector<std::string> missing, unexpected;
    std::set_difference(golden.begin(), golden.end(), dumped.begin(), dumped.end(),
                        std::back_inserter(missing));
    std::set_difference(dumped.begin(), dumped.end(), golden.begin(), golden.end(),
                        std::back_inserter(unexpected));
    for (const std::string& line : missing) ADD_FAILURE() << "not registered: " << line;
    for (const std::string& line : unexpected)
        ADD_FAILURE() << "registered but not in the golden list: " << line;
}

TEST(Identities, SchemaFileWritesTheGoldenIdentities) {
    // The schema file is where the identities are written down for the build; comparing it with the golden
    // list tells a wrong schema entry apart from a fault of the generated registration.
    std::ifstream in(ARVELLE_SCHEMA);
    ASSERT_TRUE(in) << ARVELLE_SCHEMA;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::regex uuidPattern(
        "[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}");
    std::set<std::string> inSchema;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), uuidPattern); it != std::sregex_iterator();
         ++it)
        inSchema.insert(::fenmo::toString(::fenmo::uuidFromLiteral(it->str())));
    std::set<std::string> golden;
    for (const Identity& identity : goldenIdentities()) golden.insert(identity.id);
    for (const std::string& id : golden) EXPECT_TRUE(inSchema.count(id)) << "missing from the schema: " << id;
    for (const std::string& id : inSchema) EXPECT_TRUE(golden.count(id)) << "not a golden identity: " << id;
}

TEST(Identities, EveryIdentityIsFoundInTheRegistryModel) {
    // Look-up by identity must reach the very element the walk from the root package reaches, and that
    // element must be valid and live in the registry model.
    for (const Identity& identity : goldenIdentities()) {
        ::fenmo::ModelElement element = registry().findElement(::fenmo::uuidFromLiteral(identity.id));
        ASSERT_TRUE(element) << identity.line;
        std::vector<std::string> line;
        // Dump the element on its own; only its first line describes it.
        dumpElement(element, line);
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.front(), identity.line);
        EXPECT_EQ(element->getModel(), registry().getMetaRegistryModel().model()) << identity.line;
    }
}

TEST(Identities, MetaPackageHandlesCarryTheGoldenIdentities) {
    // The handles the element classes read are the registered elements themselves.
    namespace schema = tav::fenmo::treeNode::schema;
    std::map<std::string, std::string> byName;
    for (const Identity& identity : goldenIdentities()) byName[identity.name] = identity.id;
    auto idOf = [](const ::fenmo::ModelElement& e) { return ::fenmo::toString(e->getUuid()); };

    EXPECT_EQ(idOf(schema::rootPackage()), kRootIdentity);
    EXPECT_EQ(idOf(schema::nativeTypes::TavBlockPtr()), byName["nativeTypes.TavBlockPtr"]);
    EXPECT_EQ(idOf(schema::nativeTypes::TavPortPtr()), byName["nativeTypes.TavPortPtr"]);
    EXPECT_EQ(idOf(schema::nativeTypes::VoidPtr()), byName["nativeTypes.VoidPtr"]);
    EXPECT_EQ(idOf(schema::TreeNode::metaClass()), byName["tav.fenmo.treeNode.TreeNode"]);
    EXPECT_EQ(idOf(schema::TreeNode::isInherited()), byName["tav.fenmo.treeNode.TreeNode.isInherited"]);
    EXPECT_EQ(idOf(schema::ChildAttributes::attrsOfParent()),
              byName["tav.fenmo.treeNode.ChildAttributes.attrsOfParent"]);
    EXPECT_EQ(idOf(schema::ParentAttributes::removeChild()),
              byName["tav.fenmo.treeNode.ParentAttributes.removeChild"]);
    EXPECT_EQ(idOf(schema::ParentAttributes::removeChild_child()),
              byName["tav.fenmo.treeNode.ParentAttributes.removeChild.child"]);
    EXPECT_EQ(idOf(schema::SignalAttributes::outputWhenDisabled()),
              byName["tav.fenmo.treeNode.SignalAttributes.outputWhenDisabled"]);
    EXPECT_EQ(idOf(schema::Virtuality::type()), byName["tav.fenmo.treeNode.Virtuality"]);
    EXPECT_EQ(idOf(schema::QueueType::Q_TYPE_LIFO()), byName["tav.fenmo.treeNode.QueueType.Q_TYPE_LIFO"]);
}

}  // namespace
