// The commands: the demo's story with undo and redo, the schema listing, and the command line.

#include "Cli.hpp"
#include "Demo.hpp"
#include "SchemaPrinter.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <vector>

namespace arvelle::tools {
namespace {

TEST(Demo, UndoingEveryEditGivesBackTheTreeAsBuiltAndRedoingTheEditedOne) {
    Demo demo;
    const Style plain(false);
    const std::string built = demo.tree(plain);
    for (const Demo::Edit& edit : Demo::story()) demo.apply(edit);
    const std::string edited = demo.tree(plain);
    ASSERT_NE(edited, built);
    EXPECT_EQ(demo.undoAll(), Demo::story().size()) << "the build is not an undo step";
    EXPECT_EQ(demo.tree(plain), built);
    EXPECT_EQ(demo.redoAll(), Demo::story().size());
    EXPECT_EQ(demo.tree(plain), edited);
}

TEST(Schema, ListsTheTenClassesAndTheirFiftyNineProperties) {
    const std::string schema = printSchema(Style(false));
    const std::regex classLine(R"(^    class \w+ : ModelElement  [0-9a-f-]{36}  tav\.fenmo\.treeNode\.\w+$)");
    const std::regex propertyLine(
        R"(^ +(\d+)?  \w+ +\w+ +(optional|single|sequence|set|map) +[-a-z]{10}  [0-9a-f-]{36})");
    std::size_t classes = 0, properties = 0;
    std::istringstream in(schema);
    bool inTreeNode = false;
    for (std::string line; std::getline(in, line);) {
        if (line.find("package ") != std::string::npos)
            inTreeNode = line.find("package treeNode") != std::string::npos;
        classes += inTreeNode && std::regex_search(line, classLine);
        properties += inTreeNode && std::regex_search(line, propertyLine);
    }
    EXPECT_EQ(classes, 10u);
    EXPECT_EQ(properties, 59u);
    EXPECT_NE(
        schema.find("treeNode     10 classes, 59 properties, 2 operations, 7 enumerations, 19 literals"),
        std::string::npos);
}

struct Outcome {
    int code;
    std::string out, err;
};

Outcome run(std::vector<const char*> args, bool terminal = false) {
    args.insert(args.begin(), "arvelle");
    std::ostringstream out, err;
    int code = runCli(static_cast<int>(args.size()), args.data(), out, err, terminal);
    return {code, out.str(), err.str()};
}

TEST(CommandLine, RefusesBadCommandsAndArgumentsWithOneLineAndCodeTwo) {
    using Args = std::vector<const char*>;
    const std::vector<Args> bad{
        {"frobnicate"}, {}, {"demo", "--bogus"}, {"schema", "extra"}, {"--color", "sometimes", "demo"}};
    for (const Args& args : bad) {
        Outcome result = run(args);
        EXPECT_EQ(result.code, 2);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_TRUE(result.err.ends_with('\n')) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(run({"frobnicate"}).err, "arvelle: unknown command 'frobnicate' (see 'arvelle --help')\n");
}

TEST(CommandLine, ColoursOnlyATerminalUnlessToldAndTheDemoChecksItsUndoAndRedo) {
    auto coloured = [](const Outcome& r) { return r.out.find('\x1b') != std::string::npos; };
    Outcome toFile = run({"schema"});
    EXPECT_EQ(toFile.code, kExitOk);
    EXPECT_FALSE(coloured(toFile));
    EXPECT_TRUE(coloured(run({"schema"}, true)));
    EXPECT_FALSE(coloured(run({"--color", "never", "schema"}, true)));
    EXPECT_TRUE(coloured(run({"schema", "--color=ALWAYS"})));

    Outcome demo = run({"demo"});
    EXPECT_EQ(demo.code, kExitOk) << demo.err;
    EXPECT_NE(demo.out.find("✓ the same tree as built"), std::string::npos) << demo.out;
    EXPECT_NE(demo.out.find("✓ the same tree as after the last edit"), std::string::npos);
}

}  // namespace
}  // namespace arvelle::tools
