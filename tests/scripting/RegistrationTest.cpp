// The two namespaces and the initialisation export: what is registered, in which order, with which host
// words, how often; the enumeration marshalers registered as the library loads.

#include "Support.hpp"

#include <arvelle/MetaPackageArvelle.hpp>
#include <arvelle/scripting/PolicyBasedEnumValueMarshaler.hpp>
#include <arvelle/treeNode/All.hpp>
#include <arvelle/treeNode/Schema.hpp>

#include <cstdlib>
#include <iostream>
#include <thread>

namespace scripting_test {
namespace {

using namespace plexo;
namespace tn = tav::fenmo::treeNode;

const std::vector<std::string> kEnumerations = {"Complexity", "DataMode",  "DimsMode",  "OutputWhenDisabled",
                                                "QoSType",    "QueueType", "Virtuality"};

TEST_F(ScriptingTest, TheTreeNodeNamespaceAddsItsClassesInOrderAndNativeTypesNone) {
    EXPECT_TRUE(isNamespaceRegistered("tav.fenmo.treeNode"));
    EXPECT_TRUE(isNamespaceRegistered("tav.fenmo.nativeTypes"));
    EXPECT_EQ(namespacePopulationCount("tav.fenmo.treeNode"), 0u) << "populated on first use only";

    getClass(makeInterned(kTreeNode));
    std::vector<std::string> expected;
    for (const char* name : {"BlockAttributes", "BusTypeElementAttributes", "BusTypeRootAttributes",
                             "ChildAttributes", "MessageQueueAttributes", "ParentAttributes",
                             "PlatformAttributes", "PropagationAttributes", "SignalAttributes", "TreeNode"})
        expected.push_back(std::string("tav.fenmo.treeNode.") + name);
    for (const std::string& name : kEnumerations) expected.push_back("tav.fenmo.treeNode." + name);
    EXPECT_EQ(classesAdded("tav.fenmo.treeNode"), expected);
    EXPECT_EQ(namespacePopulationCount("tav.fenmo.treeNode"), 1u);

    // Host words: 0 and 2 with every class; superclasses with 1, 0, 1 (elements) and 0, 0, 1 (enumerations).
    for (const std::string& name : expected) {
        PlexoClass* cls = getClass(makeInterned(name));
        EXPECT_EQ(cls->options(), 0) << name;
        EXPECT_EQ(cls->version(), 2) << name;
        ASSERT_EQ(cls->superclasses().size(), 1u) << name;
        const auto& super = cls->superclasses()[0];
        const bool isEnum = cls->isEnumeration();
        EXPECT_EQ(className(super.id), isEnum ? "int32" : "fenmo.ModelElement") << name;
        EXPECT_EQ((std::vector<int>{super.words[0], super.words[1], super.words[2]}),
                  (isEnum ? std::vector<int>{0, 0, 1} : std::vector<int>{1, 0, 1}))
            << name;
        EXPECT_EQ(cls->isHandle(), !isEnum) << name;
        EXPECT_FALSE(cls->info()->isAbstract()) << name;
        EXPECT_EQ(cls->info()->getQualifiedName(), name);
        EXPECT_EQ("tav.fenmo.treeNode." + cls->info()->getName(), name);
    }

    // Each enumeration's three text conversions, one converter each.
    for (const std::string& e : kEnumerations)
        for (const char* suffix : {"", " property", " scalar"})
            EXPECT_EQ(conversionCount(makeInterned("tav.fenmo.treeNode." + e + suffix)), 1u) << e << suffix;

    // The nativeTypes namespace declares nothing.
    EXPECT_EQ(findClass(makeInterned("tav.fenmo.nativeTypes.TavBlockPtr")), nullptr);
    EXPECT_EQ(namespacePopulationCount("tav.fenmo.nativeTypes"), 1u);
    EXPECT_TRUE(classesAdded("tav.fenmo.nativeTypes").empty());
}

TEST_F(ScriptingTest, EveryEnumerationHasItsMarshalerFromLoadOn) {
    const std::vector<fenmo::meta::Type> types = {
        tn::schema::Complexity::type(),         tn::schema::DataMode::type(), tn::schema::DimsMode::type(),
        tn::schema::OutputWhenDisabled::type(), tn::schema::QoSType::type(),  tn::schema::QueueType::type(),
        tn::schema::Virtuality::type()};
    for (std::size_t i = 0; i < types.size(); ++i) {
        fenmo::qorin::ValueMarshaler* m =
            fenmo::qorin::EmptyParentNamespace::Registrar::findTypeMarshaler(types[i]);
        ASSERT_NE(m, nullptr) << kEnumerations[i];
        EXPECT_EQ(m->type().get(), types[i].get());
        EXPECT_EQ(className(m->classId()), "tav.fenmo.treeNode." + kEnumerations[i]);
        EXPECT_EQ(m->dataType()->name, "tav.fenmo.treeNode." + kEnumerations[i]);
    }
    EXPECT_NE(dynamic_cast<fenmo::qorin::PolicyBasedEnumValueMarshaler<tn::QoSType>*>(
                  fenmo::qorin::EmptyParentNamespace::Registrar::findTypeMarshaler(types[4])),
              nullptr);
    // None for the element classes or the host pointer types.
    EXPECT_EQ(fenmo::qorin::EmptyParentNamespace::Registrar::findTypeMarshaler(tn::TreeNode::metaClass()),
              nullptr);
    EXPECT_EQ(fenmo::qorin::EmptyParentNamespace::Registrar::findTypeMarshaler(
                  tn::schema::nativeTypes::TavBlockPtr()),
              nullptr);
}

// The export's guard is once per process, so its behaviour is checked in a fresh process of its own.
[[noreturn]] void exportRegistersOncePerProcess() {
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::cerr << "failed: " << what << "\n";
            ++failures;
        }
    };
    // Start from a host without the library's namespaces (the fixture registered them under USM).
    plexo::shutdown();
    fenmo::qorin::initialize();
    setPlexoUsingUSM(false);
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) callers.emplace_back([] { QorinInitialize_arvelle(); });
    for (auto& t : callers) t.join();
    check(isNamespaceRegistered("tav.fenmo.treeNode") && isNamespaceRegistered("tav.fenmo.nativeTypes"),
          "concurrent first calls register both namespaces");
    getClass(makeInterned(kTreeNode));
    findClass(makeInterned("tav.fenmo.nativeTypes.NoSuchClass"));
    check(namespacePopulationCount("tav.fenmo.treeNode") == 1, "populated once");
    check(namespacePopulationCount("tav.fenmo.nativeTypes") == 1, "nativeTypes populated once");

    // A second call does nothing: the namespace is not replaced, so it is not populated again.
    QorinInitialize_arvelle();
    findClass(makeInterned("tav.fenmo.treeNode.NoSuchClass"));
    check(namespacePopulationCount("tav.fenmo.treeNode") == 1, "a second call registers nothing");

    // Under the USM mode every call registers both namespaces again.
    setPlexoUsingUSM(true);
    QorinInitialize_arvelle();
    findClass(makeInterned("tav.fenmo.treeNode.NoSuchClass"));
    findClass(makeInterned("tav.fenmo.nativeTypes.NoSuchClass"));
    check(namespacePopulationCount("tav.fenmo.treeNode") == 2, "USM: treeNode registered again");
    check(namespacePopulationCount("tav.fenmo.nativeTypes") == 2, "USM: nativeTypes registered again");
    QorinInitialize_arvelle();
    findClass(makeInterned("tav.fenmo.treeNode.NoSuchClass"));
    check(namespacePopulationCount("tav.fenmo.treeNode") == 3, "USM: and again");
    setPlexoUsingUSM(false);
    plexo::shutdown();
    std::exit(failures == 0 ? 0 : 1);
}

TEST_F(ScriptingTest, TheExportRegistersOncePerProcessExceptUnderUsm) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exportRegistersOncePerProcess(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace scripting_test
