// The commands: the demo's story with undo and redo, the schema listing, and the command line.

#include "Cli.hpp"
#include "Demo.hpp"
#include "SchemaPrinter.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <vector>

namespace arvelle::tools {
namespace {

TEST(Demo, UndoingEveryEditGivesBackTheTreeAsBuiltAndRedoingTheEditedOne) {
    Demo demo;
    const Style plain(false);
    const std::string built = demo.tree(plain);
    for (const Demo::Edit& edit : Demo::story()) EXPECT_FALSE(demo.apply(edit).empty()) << edit.title;
    const std::string edited = demo.tree(plain);
    ASSERT_NE(edited, built);

    EXPECT_EQ(demo.undoAll(), Demo::story().size()) << "the build is not an undo step";
    EXPECT_EQ(demo.tree(plain), built);
    EXPECT_EQ(demo.redoAll(), Demo::story().size());
    EXPECT_EQ(demo.tree(plain), edited);
}

TEST(Demo, TheExampleIsBuiltInOneCommit) {
    Demo demo;
    EXPECT_EQ(demo.builtElements(), demo.model()->elementCount());
    EXPECT_FALSE(demo.model()->canUndo());
    EXPECT_TRUE(findNode(demo.root(), u"Inputs/Radar/BeatSpectrum")->getSignalAttrs()->getComplexity() ==
                tn::Complexity::COMPLEX);
}

TEST(Demo, EachEditChangesWhatItsTitleSays) {
    Demo demo;
    std::vector<Demo::Edit> story = Demo::story();
    demo.apply(story[0]);
    EXPECT_TRUE(findNode(demo.root(), u"Outputs/Engaged"));
    demo.apply(story[1]);
    EXPECT_TRUE(findNode(demo.root(), u"State/LongAccel"));
    EXPECT_FALSE(findNode(demo.root(), u"Inputs/Vehicle/LongAccel"));
    demo.apply(story[2]);
    EXPECT_EQ(nodeIndex(findNode(demo.root(), u"State/Mode")), 2);
    EXPECT_EQ(nodeIndex(findNode(demo.root(), u"State/TargetSpeed")), 1);
    demo.apply(story[3]);
    EXPECT_TRUE(findNode(demo.root(), u"Inputs/Radar/TargetDist")->getSignalAttrs()->getDataType() ==
                std::u16string(u"double"));
    ::fenmo::ChangeReport destroyed = demo.apply(story[4]);
    EXPECT_FALSE(findNode(demo.root(), u"Diagnostics"));
    EXPECT_EQ(destroyed.destroyed().size(), 20u);  // 6 nodes with 14 attribute objects
}

// The lines of the treeNode package, up to the next package.
std::vector<std::string> treeNodeSection(const std::string& schema) {
    std::vector<std::string> lines;
    std::istringstream in(schema);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.find("package ") != std::string::npos)
            inside = line.find("package treeNode") != std::string::npos;
        else if (inside)
            lines.push_back(line);
    }
    return lines;
}

TEST(Schema, ListsTheTenClassesAndTheirFiftyNineProperties) {
    std::string schema = printSchema(Style(false));
    std::vector<std::string> lines = treeNodeSection(schema);
    const std::regex classLine(R"(^    class \w+ : ModelElement  [0-9a-f-]{36}  tav\.fenmo\.treeNode\.\w+$)");
    const std::regex propertyLine(
        R"(^ +(\d+)?  \w+ +\w+ +(optional|single|sequence|set|map) +[-a-z]{10}  [0-9a-f-]{36})");
    std::size_t classes = 0, properties = 0;
    for (const std::string& line : lines) {
        classes += std::regex_search(line, classLine);
        properties += std::regex_search(line, propertyLine);
    }
    EXPECT_EQ(classes, 10u);
    EXPECT_EQ(properties, 59u);
    EXPECT_NE(
        schema.find("treeNode     10 classes, 59 properties, 2 operations, 7 enumerations, 19 literals"),
        std::string::npos)
        << schema;
}

TEST(Schema, ShowsIndicesKindsFlagsAndOpposites) {
    std::string schema = printSchema(Style(false));
    // A derived property has no index, and the index after it goes on from the stored ones.
    EXPECT_TRUE(std::regex_search(schema, std::regex(R"(\n {10}parent +TreeNode +single +-oud--mq-- )")));
    EXPECT_TRUE(std::regex_search(
        schema,
        std::regex(
            R"(\n {7}3  attrsOfParent +ParentAttributes +single .* opposite ParentAttributes\.attrsOfChildren\n)")));
    EXPECT_TRUE(
        std::regex_search(schema, std::regex(R"(\n {7}1  children +TreeNode +sequence  co----mq-- )")));
    // Bus type element attributes are set by builders only: no public mutator.
    EXPECT_TRUE(std::regex_search(
        schema, std::regex(R"(\n {7}5  dataType +String +optional  -ou----q-n  4ea1d010-)")));
    EXPECT_TRUE(
        std::regex_search(schema, std::regex(R"(op addChild\(child: TreeNode\)  not public  deccec89-)")));
    EXPECT_TRUE(std::regex_search(
        schema,
        std::regex(R"(enum QueueType : Integer .*\n +0  Q_TYPE_FIFO +022dc3bf-.*\n +1  Q_TYPE_LIFO )")));
}

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

Outcome run(std::vector<const char*> args, bool terminal = false) {
    args.insert(args.begin(), "arvelle");
    std::ostringstream out, err;
    int code = runCli(static_cast<int>(args.size()), args.data(), out, err, terminal);
    return {code, out.str(), err.str()};
}

bool oneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

TEST(CommandLine, RefusesUnknownCommandsAndBadArgumentsWithOneLineAndCodeTwo) {
    for (std::vector<const char*> args :
         std::vector<std::vector<const char*>>{{"frobnicate"},
                                               {},
                                               {"demo", "--bogus"},
                                               {"schema", "extra"},
                                               {"--color", "sometimes", "demo"}}) {
        Outcome result = run(args);
        EXPECT_EQ(result.code, kExitUsage) << result.err;
        EXPECT_TRUE(oneLine(result.err)) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(run({"frobnicate"}).err, "arvelle: unknown command 'frobnicate' (see 'arvelle --help')\n");
}

TEST(CommandLine, HelpExplainsTheProgramAndEachCommand) {
    Outcome help = run({"--help"});
    EXPECT_EQ(help.code, kExitOk);
    EXPECT_NE(help.out.find("demo"), std::string::npos);
    EXPECT_NE(help.out.find("schema"), std::string::npos);
    EXPECT_NE(help.out.find("--color"), std::string::npos);
    Outcome demo = run({"demo", "--help"});
    EXPECT_EQ(demo.code, kExitOk);
    EXPECT_NE(demo.out.find("undoes all edits"), std::string::npos) << demo.out;
    Outcome schema = run({"schema", "--help"});
    EXPECT_EQ(schema.code, kExitOk);
    EXPECT_NE(schema.out.find("enumerations with"), std::string::npos) << schema.out;
}

TEST(CommandLine, ColoursOnlyATerminalUnlessTold) {
    auto coloured = [](const Outcome& r) { return r.out.find('\x1b') != std::string::npos; };
    Outcome toFile = run({"schema"});
    EXPECT_EQ(toFile.code, kExitOk);
    EXPECT_NE(toFile.out.find("package treeNode"), std::string::npos);
    EXPECT_FALSE(coloured(toFile));
    EXPECT_TRUE(coloured(run({"schema"}, true)));
    EXPECT_FALSE(coloured(run({"--color", "never", "schema"}, true)));
    EXPECT_TRUE(coloured(run({"schema", "--color=ALWAYS"})));
}

TEST(CommandLine, DemoPrintsTheTreeTheEditsAndTheChecksOfUndoAndRedo) {
    Outcome demo = run({"demo"});
    EXPECT_EQ(demo.code, kExitOk) << demo.err;
    EXPECT_EQ(demo.err, "");
    EXPECT_NE(demo.out.find("5. Destroy the Diagnostics bus"), std::string::npos);
    EXPECT_NE(demo.out.find("✓ the same tree as built"), std::string::npos);
    EXPECT_NE(demo.out.find("✓ the same tree as after the last edit"), std::string::npos);
    EXPECT_EQ(demo.out.find("✗"), std::string::npos);
}

}  // namespace
}  // namespace arvelle::tools
