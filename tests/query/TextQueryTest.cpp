// The text form: the same results as the typed conditions it stands for, its description read back,
// its errors (one message with the column, nothing evaluated), and the arvelle query command.

#include "QuerySupport.hpp"

#include "Cli.hpp"

#include <fenmo/query/TextQuery.hpp>

#include <cstdio>
#include <sstream>

namespace querytest {
namespace {

using q::Query;
using q::SearchClassMatchMode;

struct Pair {
    const char16_t* text;
    std::function<std::vector<ModelElement>(const Model&)> typed;
};

template <class C>
std::function<std::vector<ModelElement>(const Model&)> typed(
    const q::Condition<C>& condition, SearchClassMatchMode mode = SearchClassMatchMode::WithSubclasses) {
    Query<C> query(condition, mode);
    return [query](const Model& m) { return query.select(m); };
}

TEST(TextQueryTest, TextAndTypedConditionsFindTheSameElementsInTheSameOrder) {
    using S = SignalAttributes;
    using N = TreeNode;
    using C = ChildAttributes;
    using P = ParentAttributes;
    const std::vector<Pair> pairs = {
        {u"SignalAttributes where dataType == \"double\" and sampleTime is set",
         typed<S>(S::dataType() == u"double" && S::sampleTime().isSet())},
        {u"TreeNode where childAttrs.name startswith \"s1\"",
         typed<N>(N::childAttrs().where(C::name().startsWith(u"s1")))},
        {u"TreeNode where parentAttrs.children some (signalAttrs is set)",
         typed<N>(N::parentAttrs().where(P::children().some(N::signalAttrs().isSet())))},
        {u"TreeNode where parentAttrs has (children every (signalAttrs.dataType == \"double\"))",
         typed<N>(N::parentAttrs().where(
             P::children().every(N::signalAttrs().where(S::dataType() == u"double"))))},
        {u"TreeNode where parentAttrs.children count (childAttrs.name contains \"1\") >= 2",
         typed<N>(N::parentAttrs().where(
             P::children().count(N::childAttrs().where(C::name().contains(u"1"))) >= 2))},
        {u"ParentAttributes where children none (parentAttrs is set)",
         typed<P>(P::children().none(N::parentAttrs().isSet()))},
        {u"ChildAttributes where name matches \"s[0-9]+\" and indexOne < 4",
         typed<C>(C::name().matches(u"s[0-9]+") && C::indexOne() < 4)},
        {u"ChildAttributes where attrsOfParent.attrsOfChildren size > 3",
         typed<C>(C::attrsOfParent().where(P::attrsOfChildren().size() > 3))},
        {u"SignalAttributes where complexity == REAL or not dataType startswith \"in\"",
         typed<S>(S::complexity() == Complexity::REAL || !S::dataType().startsWith(u"in"))},
        {u"TreeNode where not (signalAttrs is set or parentAttrs is set)",
         typed<N>(!(N::signalAttrs().isSet() || N::parentAttrs().isSet()))},
        {u"SignalAttributes only where complexity is unset or complexity >= COMPLEX",
         typed<S>(S::complexity().isUnset() || S::complexity() >= Complexity::COMPLEX,
                  SearchClassMatchMode::ClassOnly)},
        {u"SignalAttributes where dataType != \"double\" and dataType <= \"int8\"",
         typed<S>(S::dataType() != u"double" && S::dataType() <= u"int8")},
        {u"TreeNode", typed<N>(N::childAttrs().isSet() || N::childAttrs().isUnset())},
    };
    for (unsigned seed : {4u, 17u, 301u}) {
        RandomTree tree(seed);
        for (int i = 0; i < 120; ++i) tree.add();
        for (int i = 0; i < 150; ++i) tree.edit();
        for (const Pair& pair : pairs) {
            SCOPED_TRACE(::fenmo::toUtf8(pair.text));
            const q::DynamicQuery parsed = q::parseQuery(pair.text);
            const std::vector<ModelElement> expected = pair.typed(tree.model());
            EXPECT_EQ(parsed.select(tree.model()), expected);
            // The description is text of the same form and finds the same.
            EXPECT_EQ(q::parseQuery(parsed.describe()).select(tree.model()), expected)
                << ::fenmo::toUtf8(parsed.describe());
        }
    }
    EXPECT_EQ(Query<TreeNode>(TreeNode::childAttrs().where(ChildAttributes::name() == u"a\"b")).describe(),
              u"TreeNode where childAttrs.name == \"a\\\"b\"");
}

TEST(TextQueryTest, BadTextGivesOneMessageWithItsColumn) {
    struct Bad {
        const char16_t* text;
        std::size_t column;
        const char16_t* reason;
    };
    const std::vector<Bad> bad = {
        {u"", 1, u"expected a class name"},
        {u"Widget where x == 1", 1, u"unknown class 'Widget'"},
        {u"TreeNode where childAttrs.nam == \"x\"", 27, u"'ChildAttributes' has no property 'nam'"},
        {u"SignalAttributes where dataType == 3", 36,
         u"'dataType' is text; expected a text in double quotes"},
        {u"ChildAttributes where indexOne == \"3\"", 35, u"'indexOne' is an integer"},
        {u"PropagationAttributes where isMessage == 1", 42, u"expected true or false"},
        {u"SignalAttributes where complexity == SOFT", 38, u"'SOFT' is not a literal of Complexity"},
        {u"SignalAttributes where dims matches \"([\"", 37, u"invalid regular expression"},
        {u"SignalAttributes where dims == \"open", 32, u"the text has no closing quote"},
        {u"SignalAttributes where dims == \"x\" dataType", 36,
         u"expected 'and', 'or' or the end of the query"},
        {u"SignalAttributes dataType == \"x\"", 18, u"expected 'where' or the end of the query"},
        {u"SignalAttributes where dataType.size == 1", 32, u"'dataType' is text and has no properties"},
        {u"TreeNode where signalAttrs some (dataType is set)", 28, u"'some' needs a collection"},
        {u"TreeNode where signalAttrs == \"x\"", 28, u"'signalAttrs' is an element"},
        {u"PropagationAttributes where groundSource is set", 29,
         u"'PropagationAttributes.groundSource' cannot be queried"},
        {u"TreeNode where isInherited == true", 16, u"'TreeNode.isInherited' cannot be queried"},
        {u"BlockAttributes where tavBlocks is set", 23, u"'BlockAttributes.tavBlocks' cannot be queried"},
        {u"ChildAttributes where name is set", 31, u"'name' always has a value"},
        {u"ChildAttributes where indexOne > 99999999999", 34, u"too large"},
        {u"ChildAttributes where (name == \"a\"", 35, u"expected ')'"},
        {u"ChildAttributes where name == \"a\" or", 37, u"expected a property name"},
        {u"ChildAttributes where name ~ \"a\"", 28, u"unexpected character '~'"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(::fenmo::toUtf8(b.text));
        try {
            (void)q::parseQuery(b.text);
            ADD_FAILURE() << "parsed";
        } catch (const q::QueryTextException& e) {
            EXPECT_EQ(e.catalog(), "fenmo:query");
            EXPECT_EQ(e.key(), "InvalidQueryText");
            EXPECT_EQ(e.column(), b.column) << e.what();
            EXPECT_NE(e.reason().find(b.reason), std::u16string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("column " + std::to_string(b.column)), std::string::npos);
        }
    }
}

TEST(TextQueryTest, TheQueryCommandPrintsMatchesAndTheCountOrTheErrorWithACaret) {
    auto run = [](std::vector<const char*> args, std::string& out, std::string& err) {
        std::ostringstream o, e;
        args.insert(args.begin(), "arvelle");
        int code = arvelle::tools::runCli(static_cast<int>(args.size()), args.data(), o, e, false);
        out = o.str();
        err = e.str();
        return code;
    };
    std::string out, err;
    EXPECT_EQ(run({"query", "TreeNode where childAttrs.name startswith \"Wheel\""}, out, err), 0) << err;
    EXPECT_NE(out.find("CruiseControl/Inputs/Vehicle/WheelSpdFL\n"), std::string::npos) << out;
    EXPECT_NE(out.find("5 matches of TreeNode where childAttrs.name startswith \"Wheel\"\n"),
              std::string::npos)
        << out;
    EXPECT_TRUE(err.empty());

    EXPECT_EQ(run({"query", "SignalAttributes where dataType == \"nothing\""}, out, err), 0);
    EXPECT_NE(out.find("0 matches"), std::string::npos) << out;

    EXPECT_EQ(run({"query", "TreeNode where childAttrs.nam == \"x\""}, out, err), 1);
    EXPECT_TRUE(out.empty()) << out;
    EXPECT_EQ(err,
              "arvelle: 'ChildAttributes' has no property 'nam' (column 27)\n"
              "  TreeNode where childAttrs.nam == \"x\"\n"
              "                            ^\n");
    EXPECT_EQ(run({"query", "TreeNode", "/nonexistent/model.xml"}, out, err), 1);
    EXPECT_FALSE(err.empty());

    // Over a saved file: the demo's model as edited, where one wheel signal has been renamed.
    const std::string file = ::testing::TempDir() + "query_demo.xml";
    ASSERT_EQ(run({"demo", "--save", file.c_str()}, out, err), 0) << err;
    std::string fromExample;
    ASSERT_EQ(run({"query", "SignalAttributes where dataType is set"}, fromExample, err), 0);
    EXPECT_EQ(run({"query", "SignalAttributes where dataType is set", file.c_str()}, out, err), 0) << err;
    EXPECT_NE(out.find(" matches of SignalAttributes where dataType is set\n"), std::string::npos) << out;
    EXPECT_NE(out, fromExample) << "the saved model is the edited one";
    std::remove(file.c_str());
}

}  // namespace
}  // namespace querytest
