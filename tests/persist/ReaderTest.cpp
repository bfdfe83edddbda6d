// The reader on files a program did not write: XML forms the writer never uses, malformed XML, a
// reference to an element further down the file, and a refusal near the end of a file large enough
// that the reader has let go of its beginning.

#include "PersistSupport.hpp"

#include "ExampleModel.hpp"

#include <regex>

namespace persisttest {
namespace {

// Options that load a second copy of a model.
::fenmo::xml::LoadOptions copyOptions() {
    ::fenmo::xml::LoadOptions options;
    options.newIdentity = true;
    return options;
}

std::string exampleText(uuid& id) {
    Model model = Model::create();
    arvelle::tools::buildExample(model);
    id = model->getId();
    return ::fenmo::xml::writeModel(model);
}

std::string replacedFirst(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// "line:column" of byte `at`, counted from 1 (columns in characters).
std::string placeAt(const std::string& text, std::size_t at) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < at; ++i) {
        if (text[i] == '\n')
            line++, column = 1;
        else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            column++;
    }
    return std::to_string(line) + ":" + std::to_string(column);
}

// The message of the refusal of `text`, which must be InvalidFile; no model of identity `id` is open.
std::string refusal(const std::string& text, const uuid& id) {
    try {
        Model model = ::fenmo::xml::readModel(text, "bad.xml");
        ADD_FAILURE() << "loaded";
    } catch (const ::fenmo::MessageIdException& error) {
        EXPECT_EQ(error.key(), "InvalidFile") << error.what();
        EXPECT_FALSE(::fenmo::Model::Impl::findModel(id)) << "no model stays open";
        return error.what();
    }
    return {};
}

TEST(Reader, FormsTheWriterDoesNotUseLoadAsTheyRead) {
    uuid id;
    const std::string text = exampleText(id);
    Model original = ::fenmo::xml::readModel(text, "a.xml", copyOptions());

    // A byte order mark, CR LF line ends, comments, a processing instruction, a document type, single
    // quotes and blanks around "=".
    std::string edited = "\xEF\xBB\xBF" + std::regex_replace(text, std::regex("\n"), "\r\n");
    edited = replacedFirst(edited, "<f:model",
                           "<!DOCTYPE f:model [ <!ELEMENT x ANY> ]>\r\n<!-- a <b> -->\r\n<f:model");
    edited = replacedFirst(edited, " <f:metamodel>", " <?tool keep?><f:metamodel >");
    edited = replacedFirst(edited, "<childAttrs f:id=\"", "<!----><childAttrs  f:id = '");
    edited = replacedFirst(edited, "\" name=", "' name=");
    edited += "<!-- after -->\r\n";
    Model loaded = ::fenmo::xml::readModel(edited, "b.xml", copyOptions());
    EXPECT_TRUE(::fenmo::compareModels(original, loaded).empty());

    // References and blanks in an attribute value: a written tab or line end stays, a raw one reads as
    // a space, and CR LF as one space.
    std::smatch signal;
    ASSERT_TRUE(std::regex_search(text, signal,
                                  std::regex("<signalAttrs f:id=\"([0-9a-f-]{36})\" unit=\"m/s\\^2\"")));
    const std::string valued = replacedFirst(
        text, "unit=\"m/s^2\"", "unit=\"m&#x20AC;&#10;s&amp;&lt;&#9;&quot;&apos;\tx\r\ny&unknown;&#;\"");
    Model unit = ::fenmo::xml::readModel(valued, "c.xml", copyOptions());
    auto attributes = ::fenmo::handleCast<tn::SignalAttributes>(
        unit->findElement(::fenmo::uuidFromLiteral(signal[1].str())));
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(attributes->getUnit() ==
                boost::optional<std::u16string>(u"m\u20AC\ns&<\t\"' x y&unknown;&#;"));
    EXPECT_FALSE(::fenmo::Model::Impl::findModel(id));
}

TEST(Reader, MalformedXmlIsRefusedWhereReadingStopped) {
    uuid id;
    const std::string text = exampleText(id);
    auto expectAt = [&](const std::string& bad, std::size_t at, const std::string& what) {
        std::string message = refusal(bad, id);
        EXPECT_NE(message.find("bad.xml:" + placeAt(bad, at) + ": "), std::string::npos)
            << what << ": " << message;
        EXPECT_NE(message.find(what), std::string::npos) << message;
    };
    std::string bad = replacedFirst(text, "</children>", "</chldren>");
    expectAt(bad, bad.find("chldren>"), "malformed XML");
    bad = replacedFirst(text, "indexOne=\"3\"", "indexOne=3");
    expectAt(bad, bad.find("indexOne=3") + 9, "malformed XML");
    bad = replacedFirst(text, "indexOne=\"3\"", "indexOne=\"3\"name=\"x\"");
    expectAt(bad, bad.find("name=\"x\""), "malformed XML");
    bad = text + "<!-- not closed";
    expectAt(bad, text.size() + 4, "malformed XML");
    bad = text.substr(0, text.rfind("</f:model>"));
    expectAt(bad, bad.size(), "malformed XML");
    expectAt("", 0, "malformed XML");

    // Well-formed, but text where an element is expected (CDATA included), and a second document element.
    bad = replacedFirst(text, "<signalAttrs", "stray<signalAttrs");
    expectAt(bad, bad.find("stray"), "expected an element, not text");
    bad = replacedFirst(text, "<signalAttrs", "<![CDATA[x]]><signalAttrs");
    expectAt(bad, bad.find("x]]>"), "expected an element, not text");
    bad = text + "<f:model/>";
    expectAt(bad, text.size() + 1, "expected a single top-level element");
}

// Damaged files (cut short, bytes changed, markup characters put in) are loaded or refused, never
// more: no crash, no other exception, no model left open after a refusal.
TEST(Reader, DamagedFilesAreLoadedOrRefused) {
    uuid id;
    const std::string text = exampleText(id);
    std::mt19937 random(7);
    static const char kInserted[] = {'<', '>', '&', '"', '\'', '/', '=', ' ', '\n', '#', '\x80', '\0'};
    std::size_t refused = 0;
    for (int round = 0; round < 300; ++round) {
        std::string bad = text;
        for (int edits = 1 + static_cast<int>(random() % 3); edits > 0; --edits) {
            const std::size_t at = random() % bad.size();
            switch (random() % 3) {
                case 0:
                    bad.resize(at);
                    break;
                case 1:
                    bad[at] = kInserted[random() % sizeof kInserted];
                    break;
                default:
                    bad.insert(at, 1, kInserted[random() % sizeof kInserted]);
            }
            if (bad.empty()) bad = "<";
        }
        try {
            Model model = ::fenmo::xml::readModel(bad, "damaged.xml");
        } catch (const ::fenmo::MessageIdException& error) {
            ++refused;
            EXPECT_NE(std::string(error.what()).find("damaged.xml:"), std::string::npos) << error.what();
        }
        EXPECT_FALSE(::fenmo::Model::Impl::findModel(id)) << "round " << round;
    }
    EXPECT_GT(refused, 200u);
}

// Two top-level nodes; a child of the first is filed (attrsOfParent) under the second's parent
// attributes, which the file holds further down.
TEST(Reader, ReferenceToAnElementFurtherDownTheFile) {
    const uuid first = ::fenmo::uuidFromLiteral("00000000-0000-4000-8000-000000000001");
    const uuid second = ::fenmo::uuidFromLiteral("00000000-0000-4000-8000-000000000002");
    Model model = Model::create();
    uuid childId;
    {
        tn::TreeNode::Builder builder(model);
        auto children = std::make_unique<tn::ParentAttributes::Builder>();
        auto child = std::make_unique<tn::TreeNode::Builder>();
        auto place = std::make_unique<tn::ChildAttributes::Builder>();
        place->setName(u"moved").setIndexOne(4);
        child->setChildAttrs(std::move(place));
        children->addChildren(std::move(child));
        builder.setParentAttrs(std::move(children));
        tn::TreeNode a = builder.createTreeNode(first);
        tn::TreeNode::Builder other(model);
        other.setParentAttrs(std::make_unique<tn::ParentAttributes::Builder>());
        tn::TreeNode b = other.createTreeNode(second);
        tn::ChildAttributes attributes = a->getParentAttrs()->getChildren()[0]->getChildAttrs();
        attributes->setAttrsOfParent(b->getParentAttrs());
        childId = attributes->getUuid();
    }
    const std::string text = ::fenmo::xml::writeModel(model);
    ASSERT_LT(text.find(::fenmo::toString(first)), text.find(::fenmo::toString(second)));
    Model loaded = ::fenmo::xml::readModel(text, "forward.xml", copyOptions());
    EXPECT_TRUE(::fenmo::compareModels(model, loaded).empty());
    auto b = ::fenmo::handleCast<tn::TreeNode>(loaded->findElement(second));
    ASSERT_TRUE(b);
    tn::ChildAttributes found = b->getParentAttrs()->findChildByName(u"moved");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->getUuid(), childId);
    EXPECT_EQ(::fenmo::xml::writeModel(loaded).size(), text.size());
}

// A file of many megabytes: loaded whole it equals the model and reports its progress; with a bad
// value in its last element it is refused at that value's line and column.
TEST(Reader, LargeFileLoadsAndIsRefusedNearItsEnd) {
    ScratchDir dir;
    const std::string path = (dir / "large.xml").string();
    Model model = Model::create();
    {  // 150 buses of 200 signals
        auto named = [](const std::u16string& name, int index) {
            auto node = std::make_unique<tn::TreeNode::Builder>();
            auto place = std::make_unique<tn::ChildAttributes::Builder>();
            place->setName(name + ::fenmo::widenNumber(index)).setIndexOne(index);
            node->setChildAttrs(std::move(place));
            return node;
        };
        tn::TreeNode::Builder rootBuilder(model);
        auto buses = std::make_unique<tn::ParentAttributes::Builder>();
        for (int b = 1; b <= 150; ++b) {
            auto bus = named(u"bus", b);
            auto signals = std::make_unique<tn::ParentAttributes::Builder>();
            for (int i = 1; i <= 200; ++i) {
                auto node = named(u"signal", i);
                auto signal = std::make_unique<tn::SignalAttributes::Builder>();
                signal->setDataType(std::u16string(u"double")).setComplexity(tn::Complexity::REAL);
                node->setSignalAttrs(std::move(signal));
                signals->addChildren(std::move(node));
            }
            bus->setParentAttrs(std::move(signals));
            buses->addChildren(std::move(bus));
        }
        rootBuilder.setParentAttrs(std::move(buses));
        rootBuilder.createTreeNode(uuid());
    }
    ::fenmo::xml::saveModel(model, path);
    const std::string text = readAll(path);
    ASSERT_GT(text.size(), std::size_t{8} << 20) << "larger than the reader's step of letting go";

    std::vector<std::pair<std::size_t, std::size_t>> progress;
    Model loaded = ::fenmo::xml::loadModel(
        path, {.newIdentity = true,
               .progress = [&](std::size_t done, std::size_t total) { progress.emplace_back(done, total); }});
    EXPECT_TRUE(::fenmo::compareModels(model, loaded).empty());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(loaded->elementCount(), loaded->elementCount()));
    for (std::size_t i = 1; i + 1 < progress.size(); ++i) EXPECT_LT(progress[i - 1].first, progress[i].first);
    loaded = Model();

    const std::size_t last = text.rfind("indexOne=\"") + 10;
    std::string bad = text;
    bad.insert(last, "x");
    writeAll(path, bad);
    const uuid id = model->getId();
    model = Model();
    try {
        Model refused = ::fenmo::xml::loadModel(path);
        ADD_FAILURE() << "loaded";
    } catch (const ::fenmo::MessageIdException& error) {
        EXPECT_EQ(error.key(), "InvalidFile");
        EXPECT_NE(std::string(error.what()).find(path + ":" + placeAt(bad, last) + ": expected a 32-bit"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(::fenmo::Model::Impl::findModel(id)) << "no model stays open";
}

}  // namespace
}  // namespace persisttest
