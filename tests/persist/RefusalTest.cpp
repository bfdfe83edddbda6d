// Files that must be refused as a whole, with the place and what was expected; saves that fail and
// leave the old file; proxies between two files.

#include "PersistSupport.hpp"

#include "ExampleModel.hpp"

#include <regex>

namespace persisttest {
namespace {

using ::fenmo::ModelElement;

// The example as a file, its model closed again.
struct ExampleFile {
    std::string text;
    uuid id;
    ExampleFile() {
        Model model = Model::create();
        arvelle::tools::buildExample(model);
        text = ::fenmo::xml::writeModel(model);
        id = model->getId();
    }
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// "line:column" of the first occurrence of `needle`, counted from 1.
std::string placeOf(const std::string& text, const std::string& needle) {
    std::size_t at = text.find(needle), line = 1, column = 1;
    for (std::size_t i = 0; i < at; ++i) {
        if (text[i] == '\n')
            line++, column = 1;
        else
            column++;
    }
    return std::to_string(line) + ":" + std::to_string(column);
}

// Loading must fail with `key` and a message holding `expected`; no model of the file stays open.
std::string refused(const ExampleFile& file, const std::string& text, const std::string& key,
                    const std::string& expected, bool alreadyOpen = false) {
    try {
        Model model = ::fenmo::xml::readModel(text, "bad.xml");
        ADD_FAILURE() << "loaded, expected " << key << ": " << expected;
    } catch (const ::fenmo::MessageIdException& error) {
        EXPECT_EQ(error.key(), key) << error.what();
        EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
        EXPECT_TRUE(std::regex_search(error.what(), std::regex("bad\\.xml:[0-9]+:[0-9]+: "))) << error.what();
        if (!alreadyOpen) {
            EXPECT_FALSE(::fenmo::Model::Impl::findModel(file.id)) << "no model stays open";
        }
        return error.what();
    }
    return {};
}

TEST(Refusal, EachKindOfBadFileNamesPlaceAndExpectation) {
    const ExampleFile file;
    const std::string& t = file.text;
    refused(file, t.substr(0, t.size() / 2), "InvalidFile", "malformed XML");
    refused(file, replaced(t, "V0001a/treeNode\"", "V0001a/treeNodes\""), "InvalidFile",
            "registered package");
    refused(file, replaced(t, "V0001a/treeNode\"", "V0002a/treeNode\""), "UnsupportedVersion",
            "newer version of the metamodel");
    refused(file, replaced(t, "f:format=\"1\"", "f:format=\"2\""), "UnsupportedVersion", "newer version");
    refused(file, replaced(t, "c2d5100a-058b-3462-a9c4-d347aeeb2f8d", "c2d5100a-058b-3462-a9c4-d347aeeb2f8e"),
            "InvalidFile", "expected the identity of a registered class");
    refused(file, replaced(t, "1c50e031-cbbf-35f4-bbde-0964e8a5f2eb", "1c50e031-cbbf-35f4-bbde-0964e8a5f2ec"),
            "InvalidFile",
            "expected the identity of a property of tav.fenmo.treeNode.ChildAttributes (for name)");
    refused(file, replaced(t, " f:id=\"", " f:id=\"x"), "InvalidFile", "expected an identity");
    refused(file, replaced(t, " name=\"WheelSpdFR\"", " name=\"WheelSpdFR\" bogus=\"1\""), "InvalidFile",
            "expected a property of ChildAttributes, not bogus");
    refused(file, replaced(t, " name=\"WheelSpdFR\"", ""), "InvalidFile",
            "the mandatory property name of ChildAttributes has no value");
    refused(file, replaced(t, "indexOne=\"3\"", "indexOne=\"three\""), "InvalidFile",
            "expected a 32-bit decimal integer for indexOne, not \"three\"");
    refused(file, replaced(t, "queueOverwriting=\"true\"", "queueOverwriting=\"yes\""), "InvalidFile",
            "expected true or false");
    // Two siblings of one name: refused where the second is filed with the parent.
    refused(file, replaced(t, "name=\"WheelSpdFR\"", "name=\"WheelSpdFL\""), "InvalidFile",
            "the reference attrsOfParent is refused: fenmo:messages/UniquenessConstraint");

    // The place is the value's own line and column.
    const std::string badEnum = replaced(t, "complexity=\"COMPLEX\"", "complexity=\"COMPLICATED\"");
    std::string message =
        refused(file, badEnum, "InvalidFile", "expected a literal of tav.fenmo.treeNode.Complexity");
    EXPECT_NE(message.find("bad.xml:" + placeOf(badEnum, "COMPLICATED") + ": "), std::string::npos)
        << message;

    // One identity for two elements, i.e. one element in two places.
    std::smatch first;
    ASSERT_TRUE(std::regex_search(t, first, std::regex("<childAttrs f:id=\"([0-9a-f-]{36})\"")));
    std::string twice = t;
    std::size_t second = twice.find("<signalAttrs f:id=\"") + 19;
    twice.replace(second, 36, first[1].str());
    refused(file, twice, "InvalidFile", "is used twice");

    // A reference to an identity the file does not hold.
    std::smatch reference;
    ASSERT_TRUE(std::regex_search(t, reference, std::regex("attrsOfParent=\"([0-9a-f-]{36})\"")));
    refused(
        file,
        replaced(t, reference[0].str(), "attrsOfParent=\"" + ::fenmo::toString(::fenmo::newUuid()) + "\""),
        "InvalidFile", "expected the identity of an element of the file");

    // Loading while the model is open is refused; a copy with a new identity is not.
    Model open = ::fenmo::xml::readModel(t, "ok.xml");
    refused(file, t, "InvalidFile", "is already open", true);
    Model copy = ::fenmo::xml::readModel(t, "ok.xml", {.newIdentity = true});
    EXPECT_TRUE(::fenmo::compareModels(open, copy).empty());
}

TEST(Refusal, RenamedPropertyStillLoadsByIdentity) {
    const ExampleFile file;
    std::string renamed = std::regex_replace(file.text, std::regex(" dataType=\""), " dtype=\"");
    renamed = std::regex_replace(renamed, std::regex("<f:property name=\"dataType\""),
                                 "<f:property name=\"dtype\"");
    Model original = ::fenmo::xml::readModel(file.text, "a.xml");
    Model loaded = ::fenmo::xml::readModel(renamed, "b.xml", {.newIdentity = true});
    EXPECT_TRUE(::fenmo::compareModels(original, loaded).empty());
}

TEST(AtomicSave, FailureKeepsTheOldFile) {
    ScratchDir dir;
    const std::string path = (dir / "model.xml").string();
    Model model = Model::create();
    tn::TreeNode root = arvelle::tools::buildExample(model);
    ::fenmo::xml::saveModel(model, path);
    const std::string before = readAll(path);
    EXPECT_EQ(before, ::fenmo::xml::writeModel(model));

    root->getChildAttrs()->setName(u"Renamed");
    ::fenmo::xml::testing::failSavesAfter(100);
    try {
        ::fenmo::xml::saveModel(model, path);
        ADD_FAILURE() << "the injected failure did not happen";
    } catch (const ::fenmo::MessageIdException& error) {
        EXPECT_EQ(error.key(), "SaveFailed");
    }
    ::fenmo::xml::testing::failSavesAfter(-1);
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "no temporary file left";

    // Text no XML file can hold is refused before anything is written.
    root->getSignalAttrs() ? void() : root->setSignalAttrs(tn::SignalAttributes::create(model, uuid()));
    root->getSignalAttrs()->setDesc(std::u16string(u"a\0b", 3));
    EXPECT_THROW(::fenmo::xml::saveModel(model, path), ::fenmo::SaveFailedException);
    EXPECT_EQ(readAll(path), before);
    root->getSignalAttrs()->setDesc(boost::none);

    EXPECT_THROW(::fenmo::xml::saveModel(model, (dir / "missing" / "model.xml").string()),
                 ::fenmo::SaveFailedException);
    ::fenmo::xml::saveModel(model, path);
    EXPECT_NE(readAll(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Model "there" holds a bus and a signal; model "here" holds a slot proxy of the signal and a child
// whose parent is a proxy of the bus's parent attributes.
TEST(Proxies, ResolveAcrossTwoFilesOpenedInEitherOrder) {
    ScratchDir dir;
    const std::string herePath = (dir / "here.xml").string(), therePath = (dir / "there.xml").string();
    uuid nodeId, childId, signalId, parentId;
    {
        Model there = Model::create(), here = Model::create();
        tn::TreeNode bus = tn::TreeNode::create(there, uuid());
        tn::ParentAttributes parent = tn::ParentAttributes::create(there, uuid());
        bus->setParentAttrs(parent);
        tn::SignalAttributes signal = tn::SignalAttributes::create(there, uuid());
        bus->setSignalAttrs(signal);
        signal->setDataType(std::u16string(u"double"));
        signalId = signal->getUuid();
        parentId = parent->getUuid();

        tn::TreeNode node = tn::TreeNode::create(here, uuid());
        node->setSignalAttrs(::fenmo::handleCast<tn::SignalAttributes>(here->createProxy(
            tn::SignalAttributes::metaClass(), ::fenmo::ProxyId(signalId, there->getId()))));
        tn::ChildAttributes::Builder builder(here);
        tn::ChildAttributes child = builder.setName(u"x").setIndexOne(1).createChildAttributes(uuid());
        {
            ::fenmo::Transaction transaction = here->beginTransaction(false);
            child->basicAssociate(here->createProxy(tn::ParentAttributes::metaClass(),
                                                    ::fenmo::ProxyId(parentId, there->getId())),
                                  tn::schema::ChildAttributes::attrsOfParent());
            transaction.commit(boost::none);
        }
        nodeId = node->getUuid();
        childId = child->getUuid();
        ::fenmo::xml::saveModel(here, herePath);
        ::fenmo::xml::saveModel(there, therePath);
        EXPECT_NE(readAll(herePath).find("#" + ::fenmo::toString(signalId)), std::string::npos);
    }
    for (bool hereFirst : {true, false}) {
        Model first = ::fenmo::xml::loadModel(hereFirst ? herePath : therePath);
        Model second = ::fenmo::xml::loadModel(hereFirst ? therePath : herePath);
        const Model& here = hereFirst ? first : second;
        const Model& there = hereFirst ? second : first;
        auto node = ::fenmo::handleCast<tn::TreeNode>(here->findElement(nodeId));
        auto child = ::fenmo::handleCast<tn::ChildAttributes>(here->findElement(childId));
        ASSERT_TRUE(node && child);
        EXPECT_EQ(node->getSignalAttrs().get(), there->findElement(signalId).get()) << hereFirst;
        // The parent does not list the child (the many end of the pair is not saved), so the child's
        // reference stays the proxy it was.
        ModelElement parent = child
                                  ->getPropertyValue(tn::schema::ChildAttributes::attrsOfParent(),
                                                     ::fenmo::ReflectionPrivateTag::unresolved())
                                  .getElement();
        ASSERT_TRUE(parent.get() && parent->isProxy());
        EXPECT_TRUE(*here->proxyIdOf(*parent.get()) == ::fenmo::ProxyId(parentId, there->getId()));
        EXPECT_TRUE(node->getSignalAttrs()->getDataType() == boost::optional<std::u16string>(u"double"));
    }
}

}  // namespace
}  // namespace persisttest
