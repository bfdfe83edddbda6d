// Live queries against re-evaluation after every commit, undo and redo of random edits; what their
// listeners hear; and dropping them.

#include "QuerySupport.hpp"

#include <fenmo/query/LiveQuery.hpp>
#include <fenmo/query/TextQuery.hpp>

#include <memory>

namespace querytest {
namespace {

using q::LiveQuery;
using q::Query;

// Follows a live query's listener: the result as the deltas build it, and what each delta said.
struct Follower {
    std::set<const ModelElement::Impl*> members;
    std::vector<::fenmo::ChangeReport::Cause> causes;
    int emptyDeltas = 0;
    int overlaps = 0;
    int unordered = 0;

    void hear(const LiveQuery::Delta& delta, const std::vector<ModelElement>& now) {
        causes.push_back(delta.cause);
        if (delta.entered.empty() && delta.left.empty()) ++emptyDeltas;
        for (const ModelElement& e : delta.left) overlaps += members.erase(e.get()) == 0;
        for (const ModelElement& e : delta.entered) overlaps += !members.insert(e.get()).second;
        // What entered comes in the order of the result.
        std::size_t last = 0;
        for (const ModelElement& e : delta.entered) {
            std::size_t at = static_cast<std::size_t>(std::find(now.begin(), now.end(), e) - now.begin());
            if (at < last) ++unordered;
            last = at;
        }
    }
};

TEST(LiveQueryTest, LiveResultsEqualReEvaluationAfterEveryCommitUndoAndRedo) {
    using S = SignalAttributes;
    using N = TreeNode;
    using C = ChildAttributes;
    for (unsigned seed : {2u, 13u, 77u, 4242u}) {
        RandomTree tree(seed);
        for (int i = 0; i < 100; ++i) tree.add();
        std::vector<std::unique_ptr<q::AbstractQuery>> queries;
        queries.push_back(std::make_unique<Query<N>>(N::childAttrs().where(C::name() == u"s3") &&
                                                     N::signalAttrs().where(S::dataType() == u"double")));
        queries.push_back(
            std::make_unique<Query<S>>(S::dataType() == u"single" || S::sampleTime().isUnset()));
        queries.push_back(std::make_unique<Query<N>>(N::parentAttrs().where(
            ParentAttributes::children().count(N::signalAttrs().where(S::dataType() == u"double")) >= 2)));
        queries.push_back(std::make_unique<Query<C>>(
            C::attrsOfParent().where(ParentAttributes::attrsOfChildren().size() <= 3) &&
            C::name().startsWith(u"s")));
        queries.push_back(std::make_unique<q::DynamicQuery>(
            q::parseQuery(u"TreeNode where parentAttrs.children every (signalAttrs.complexity == REAL)")));
        queries.push_back(std::make_unique<Query<N>>(N::signalAttrs().isUnset() && N::childAttrs().isSet()));

        std::vector<std::unique_ptr<LiveQuery>> live;
        std::vector<Follower> followers(queries.size());
        std::vector<::fenmo::ListenerToken> tokens;
        for (std::size_t i = 0; i < queries.size(); ++i) {
            live.push_back(std::make_unique<LiveQuery>(tree.model(), *queries[i]));
            EXPECT_TRUE(live[i]->isIncremental());
            followers[i].members = identities(live[i]->results());
            LiveQuery* l = live[i].get();
            Follower* f = &followers[i];
            tokens.push_back(l->addListener([l, f](const LiveQuery::Delta& d) { f->hear(d, l->results()); }));
        }
        auto check = [&](const std::string& when) {
            for (std::size_t i = 0; i < queries.size(); ++i) {
                SCOPED_TRACE("seed " + std::to_string(seed) + " " + when + " query " +
                             ::fenmo::toUtf8(queries[i]->describe()));
                const std::vector<ModelElement> fresh = queries[i]->select(tree.model());
                ASSERT_EQ(live[i]->results(), fresh);
                ASSERT_EQ(followers[i].members, identities(fresh));
            }
        };
        for (int step = 0; step < 250; ++step) {
            tree.edit();
            check("step " + std::to_string(step));
        }
        // Then a run of undos back through the history and redos forward again.
        for (int k = 0; k < 25 && tree.model()->canUndo(); ++k) {
            tree.model()->undo();
            check("undo " + std::to_string(k));
        }
        for (int k = 0; tree.model()->canRedo(); ++k) {
            tree.model()->redo();
            check("redo " + std::to_string(k));
        }
        int heardUndo = 0, heardRedo = 0;
        for (const Follower& f : followers) {
            EXPECT_EQ(f.emptyDeltas, 0);
            EXPECT_EQ(f.overlaps, 0);
            EXPECT_EQ(f.unordered, 0);
            for (auto cause : f.causes) {
                heardUndo += cause == ::fenmo::ChangeReport::Cause::Undo;
                heardRedo += cause == ::fenmo::ChangeReport::Cause::Redo;
            }
        }
        EXPECT_GT(heardUndo, 0);
        EXPECT_GT(heardRedo, 0);
    }
}

TEST(LiveQueryTest, ChangesInsideOneTransactionAreHeardOnceAtTheCommitAndAnAbandonIsNotHeard) {
    RandomTree tree(8);
    for (int i = 0; i < 40; ++i) tree.add();
    LiveQuery live(tree.model(), Query<SignalAttributes>(SignalAttributes::dataType() == u"boolean"));
    std::vector<LiveQuery::Delta> heard;
    ::fenmo::ListenerToken token = live.addListener([&](const LiveQuery::Delta& d) { heard.push_back(d); });
    std::vector<SignalAttributes> signals = tree.all<SignalAttributes>();
    ASSERT_GE(signals.size(), 3u);
    {
        ::fenmo::Transaction t = tree.model()->beginEdit();
        for (const SignalAttributes& s : signals) s->setDataType(std::u16string(u"boolean"));
        EXPECT_TRUE(heard.empty());
        // The live result follows commits; an evaluation inside the transaction sees the change.
        EXPECT_EQ(Query<SignalAttributes>(SignalAttributes::dataType() == u"boolean").count(tree.model()),
                  signals.size());
    }  // abandoned
    EXPECT_TRUE(heard.empty());
    {
        ::fenmo::Transaction t = tree.model()->beginEdit();
        for (const SignalAttributes& s : signals) s->setDataType(std::u16string(u"boolean"));
        t.commit(boost::none);
    }
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(live.size(), signals.size());
    EXPECT_EQ(heard[0].cause, ::fenmo::ChangeReport::Cause::Commit);
    tree.model()->undo();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].cause, ::fenmo::ChangeReport::Cause::Undo);
    EXPECT_EQ(heard[1].left.size() + live.size(), signals.size());
    EXPECT_TRUE(heard[1].entered.empty());

    // A dropped listener token hears nothing more.
    token.reset();
    tree.model()->redo();
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(live.size(), signals.size());
}

TEST(LiveQueryTest, DroppingTheLiveQueryRemovesItsListenerFromTheModel) {
    RandomTree tree(9);
    for (int i = 0; i < 20; ++i) tree.add();
    auto sentinel = std::make_shared<int>(0);
    ::fenmo::ListenerToken token;
    {
        LiveQuery live(tree.model(), Query<TreeNode>(TreeNode::signalAttrs().isSet()));
        token = live.addListener([sentinel](const LiveQuery::Delta&) { ++*sentinel; });
        tree.add();
        EXPECT_GE(*sentinel, 0);
        EXPECT_GT(sentinel.use_count(), 1);
    }
    // Nothing holds the listener any more: the model let go of the live query's state with it.
    EXPECT_EQ(sentinel.use_count(), 1);
    const int before = *sentinel;
    for (int i = 0; i < 10; ++i) tree.add();
    EXPECT_EQ(*sentinel, before);
    token.reset();  // dropping a token that outlived its live query is harmless
    EXPECT_TRUE(tree.model()->takeListenerErrors().empty());
}

}  // namespace
}  // namespace querytest
