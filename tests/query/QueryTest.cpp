// Typed queries against a brute-force filter over randomly built and edited models, the order and
// visibility rules of evaluation, the keyed plan, the instance form, and the static constrainables.

#include "QuerySupport.hpp"

#include <fenmo/ChangeReport.hpp>

#include <atomic>
#include <barrier>
#include <thread>

namespace querytest {
namespace {

using q::Query;
using q::SearchClassMatchMode;

// A condition that does not type-check is not a condition at all: these must not compile.
template <class C, class V>
concept Comparable = requires(const C& c, const V& v) {
    c == v;
};
static_assert(Comparable<decltype(SignalAttributes::dataType()), const char16_t*>);
static_assert(!Comparable<decltype(SignalAttributes::dataType()), int>);
static_assert(Comparable<decltype(ChildAttributes::indexOne()), int>);
static_assert(!Comparable<decltype(ChildAttributes::indexOne()), const char16_t*>);
static_assert(!Comparable<decltype(ChildAttributes::indexOne()), bool>);
static_assert(Comparable<decltype(SignalAttributes::complexity()), Complexity>);
static_assert(!Comparable<decltype(SignalAttributes::complexity()), DimsMode>);
static_assert(!Comparable<decltype(SignalAttributes::complexity()), int>);
static_assert(Comparable<decltype(PropagationAttributes::isMessage()), bool>);
static_assert(!Comparable<decltype(PropagationAttributes::isMessage()), int>);
template <class C>
concept HasIsSet = requires(const C& c) {
    c.isSet();
};
static_assert(HasIsSet<decltype(SignalAttributes::dataType())>);
static_assert(!HasIsSet<decltype(ChildAttributes::name())>);  // mandatory: always set
template <class C>
concept HasStartsWith = requires(const C& c) {
    c.startsWith(u"x");
};
static_assert(HasStartsWith<decltype(ChildAttributes::name())>);
static_assert(!HasStartsWith<decltype(ChildAttributes::indexOne())>);
// Conditions on different classes do not combine.
template <class A, class B>
concept Joinable = requires(const A& a, const B& b) {
    a&& b;
};
static_assert(Joinable<q::Condition<TreeNode>, q::Condition<TreeNode>>);
static_assert(!Joinable<q::Condition<TreeNode>, q::Condition<SignalAttributes>>);

// One typed query and the brute-force filter it must agree with.
struct Case {
    std::string name;
    std::function<std::vector<ModelElement>(const Model&)> query;
    std::function<std::set<const ModelElement::Impl*>(RandomTree&)> expected;
};

template <class C, class F>
Case makeCase(std::string name, const q::Condition<C>& condition, F keep) {
    Query<C> query(condition);
    return {std::move(name), [query](const Model& m) { return query.select(m); },
            [keep](RandomTree& tree) { return identities(bruteForce<C>(tree, keep)); }};
}

std::vector<Case> cases(const ParentAttributes& someParent) {
    using S = SignalAttributes;
    using N = TreeNode;
    using C = ChildAttributes;
    std::vector<Case> out;
    out.push_back(makeCase<S>(
        "dataType == double and sampleTime set", S::dataType() == u"double" && S::sampleTime().isSet(),
        [](const S& s) { return text(s->getDataType()) == u"double" && s->hasSampleTime(); }));
    out.push_back(makeCase<S>("complexity == REAL or not dataType startswith in",
                              S::complexity() == Complexity::REAL || !S::dataType().startsWith(u"in"),
                              [](const S& s) {
                                  return s->getComplexity() == Complexity::REAL ||
                                         !(s->hasDataType() && s->getDataType()->starts_with(u"in"));
                              }));
    out.push_back(makeCase<S>("dataType != double (unset never matches)", S::dataType() != u"double",
                              [](const S& s) { return s->hasDataType() && *s->getDataType() != u"double"; }));
    out.push_back(makeCase<S>("dataType < f", S::dataType() < u"f",
                              [](const S& s) { return s->hasDataType() && *s->getDataType() < u"f"; }));
    out.push_back(makeCase<S>(
        "complexity unset or >= COMPLEX", S::complexity().isUnset() || S::complexity() >= Complexity::COMPLEX,
        [](const S& s) { return !s->hasComplexity() || *s->getComplexity() == Complexity::COMPLEX; }));
    out.push_back(makeCase<N>(
        "childAttrs.name startswith s1", N::childAttrs().where(C::name().startsWith(u"s1")),
        [](const N& n) { return n->getChildAttrs() && n->getChildAttrs()->getName().starts_with(u"s1"); }));
    out.push_back(makeCase<N>(
        "single signal, index >= 2",
        N::signalAttrs().where(S::dataType() == u"single") && N::childAttrs().where(C::indexOne() >= 2),
        [](const N& n) {
            return n->getSignalAttrs() && text(n->getSignalAttrs()->getDataType()) == u"single" &&
                   n->getChildAttrs() && n->getChildAttrs()->getIndexOne() >= 2;
        }));
    out.push_back(makeCase<N>(
        "some child has a signal",
        N::parentAttrs().where(ParentAttributes::children().some(N::signalAttrs().isSet())), [](const N& n) {
            if (!n->getParentAttrs()) return false;
            for (const N& c : n->getParentAttrs()->getChildren())
                if (c->getSignalAttrs()) return true;
            return false;
        }));
    out.push_back(makeCase<N>(
        "every child is a double signal",
        N::parentAttrs().where(
            ParentAttributes::children().every(N::signalAttrs().where(S::dataType() == u"double"))),
        [](const N& n) {
            if (!n->getParentAttrs()) return false;
            for (const N& c : n->getParentAttrs()->getChildren())
                if (!c->getSignalAttrs() || text(c->getSignalAttrs()->getDataType()) != u"double")
                    return false;
            return true;
        }));
    out.push_back(makeCase<N>(
        "at least two children whose name contains 1",
        N::parentAttrs().where(
            ParentAttributes::children().count(N::childAttrs().where(C::name().contains(u"1"))) >= 2),
        [](const N& n) {
            if (!n->getParentAttrs()) return false;
            int count = 0;
            for (const N& c : n->getParentAttrs()->getChildren())
                count += c->getChildAttrs()->getName().find(u"1") != std::u16string::npos;
            return count >= 2;
        }));
    out.push_back(makeCase<ParentAttributes>("no child is a bus",
                                             ParentAttributes::children().none(N::parentAttrs().isSet()),
                                             [](const ParentAttributes& p) {
                                                 for (const N& c : p->getChildren())
                                                     if (c->getParentAttrs()) return false;
                                                 return true;
                                             }));
    out.push_back(makeCase<C>("name matches s[0-9]+ and indexOne < 4",
                              C::name().matches(u"s[0-9]+") && C::indexOne() < 4, [](const C& c) {
                                  const std::u16string& n = c->getName();
                                  bool digits = n.size() > 1 && n[0] == u's' &&
                                                std::all_of(n.begin() + 1, n.end(), [](char16_t d) {
                                                    return d >= u'0' && d <= u'9';
                                                });
                                  return digits && c->getIndexOne() < 4;
                              }));
    out.push_back(makeCase<C>(
        "parent with more than three children",
        C::attrsOfParent().where(ParentAttributes::attrsOfChildren().size() > 3), [](const C& c) {
            return c->getAttrsOfParent() && c->getAttrsOfParent()->getAttrsOfChildren().size() > 3;
        }));
    out.push_back(makeCase<N>("leaf-like: no signal but child attributes",
                              N::signalAttrs().isUnset() && N::childAttrs().isSet(),
                              [](const N& n) { return !n->getSignalAttrs() && n->getChildAttrs(); }));
    // Answered through the parent's keyed map, not a scan.
    out.push_back(
        makeCase<C>("s2 under one parent (keyed)", C::attrsOfParent() == someParent && C::name() == u"s2",
                    [someParent](const C& c) {
                        return c->getAttrsOfParent().get() == someParent.get() && c->getName() == u"s2";
                    }));
    out.push_back(makeCase<N>("the node of s1 under one parent (keyed, through the slot)",
                              N::childAttrs().where(C::attrsOfParent() == someParent && C::indexOne() == 1),
                              [someParent](const N& n) {
                                  return n->getChildAttrs() &&
                                         n->getChildAttrs()->getAttrsOfParent().get() == someParent.get() &&
                                         n->getChildAttrs()->getIndexOne() == 1;
                              }));
    out.push_back(makeCase<N>("not (a or b) == not a and not b",
                              !(N::signalAttrs().isSet() || N::parentAttrs().isSet()),
                              [](const N& n) { return !n->getSignalAttrs() && !n->getParentAttrs(); }));
    return out;
}

TEST(QueryTest, TypedConstraintsAgreeWithBruteForceOverRandomEditedModels) {
    for (unsigned seed : {1u, 7u, 42u, 2024u, 99991u}) {
        RandomTree tree(seed);
        for (int i = 0; i < 150; ++i) tree.add();
        for (int round = 0; round < 4; ++round) {
            for (int i = 0; i < 60; ++i) tree.edit();
            const ParentAttributes someParent = tree.randomParentAttributes();
            for (const Case& c : cases(someParent)) {
                SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + ": " +
                             c.name);
                std::vector<ModelElement> found = c.query(tree.model());
                std::set<const ModelElement::Impl*> got = identities(found);
                EXPECT_EQ(got.size(), found.size()) << "an element came twice";
                EXPECT_EQ(got, c.expected(tree));
                // Evaluating again gives the same elements in the same order.
                EXPECT_EQ(found, c.query(tree.model()));
            }
        }
    }
}

// A condition part that counts the elements it is asked about.
class CountingNode final : public q::detail::Node {
public:
    explicit CountingNode(int& tested) : Node(Kind::True), m_tested(tested) {}
    bool test(const ModelElement::Impl&, q::detail::EvalContext&) const override {
        ++m_tested;
        return true;
    }
    std::u16string describe() const override { return u"counted"; }
    void paths(std::vector<std::vector<const q::detail::PropertyAccess*>>&,
               std::vector<const q::detail::PropertyAccess*>&) const override {}

private:
    int& m_tested;
};

TEST(QueryTest, EqualityWithAParentAndAChildNameIsALookUpNotAScan) {
    RandomTree tree(21);
    for (int i = 0; i < 300; ++i) tree.add();
    const ParentAttributes parent = tree.root()->getParentAttrs();
    ASSERT_GE(parent->getChildren().size(), 3u);
    int tested = 0;
    auto counted = [&](const q::Condition<ChildAttributes>& c) {
        return q::Condition<ChildAttributes>(
            q::detail::allOf(c.node(), std::make_shared<CountingNode>(tested)));
    };
    Query<ChildAttributes> byName(
        counted(ChildAttributes::attrsOfParent() == parent && ChildAttributes::name() == u"s2"));
    std::vector<ChildAttributes> found = byName.evaluate(tree.model());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].get(), parent->findChildByName(u"s2").get());
    EXPECT_EQ(tested, 1) << "only the child the map names is tested";

    // By index (the map's other key), and a name the parent does not have: nothing is scanned.
    tested = 0;
    EXPECT_EQ(Query<ChildAttributes>(
                  counted(ChildAttributes::indexOne() == 3 && ChildAttributes::attrsOfParent() == parent))
                  .count(tree.model()),
              1u);
    EXPECT_EQ(tested, 1);
    tested = 0;
    EXPECT_EQ(Query<ChildAttributes>(
                  counted(ChildAttributes::attrsOfParent() == parent && ChildAttributes::name() == u"zz"))
                  .count(tree.model()),
              0u);
    EXPECT_EQ(tested, 0);

    // Through the node's childAttrs slot: the node that holds the child found.
    tested = 0;
    Query<TreeNode> node(q::Condition<TreeNode>(q::detail::allOf(
        TreeNode::childAttrs()
            .where(ChildAttributes::attrsOfParent() == parent && ChildAttributes::name() == u"s2")
            .node(),
        std::make_shared<CountingNode>(tested))));
    EXPECT_EQ(node.evaluate(tree.model()),
              std::vector<TreeNode>{::fenmo::handleCast<TreeNode>(found[0]->container())});
    EXPECT_EQ(tested, 1);

    // Without the parent the same name is a scan of the class.
    tested = 0;
    const std::size_t all =
        Query<ChildAttributes>(counted(ChildAttributes::name() == u"s2")).count(tree.model());
    EXPECT_GT(all, 1u);
    EXPECT_EQ(static_cast<std::size_t>(tested), all);
}

TEST(QueryTest, ResultsComeInCreationOrderWithAndWithoutSubclasses) {
    RandomTree tree(3);
    std::vector<TreeNode> created{tree.root()};
    for (int i = 0; i < 40; ++i) created.push_back(tree.add());
    EXPECT_EQ(Query<TreeNode>().evaluate(tree.model()), created);
    EXPECT_EQ(Query<TreeNode>(SearchClassMatchMode::ClassOnly).evaluate(tree.model()), created);

    // ModelElement with subclasses: every live element; only the class itself: none (it is abstract).
    Query<ModelElement> everything;
    EXPECT_EQ(everything.count(tree.model()), tree.model()->elementCount());
    EXPECT_EQ(Query<ModelElement>(SearchClassMatchMode::ClassOnly).count(tree.model()), 0u);

    // A destroyed node leaves its place; undoing the destruction brings it back at the end.
    TreeNode victim = created[5];
    const bool hadSubtree =
        static_cast<bool>(victim->getParentAttrs()) && !victim->getParentAttrs()->getChildren().empty();
    victim->destroy();
    std::vector<TreeNode> after = Query<TreeNode>().evaluate(tree.model());
    EXPECT_EQ(std::find(after.begin(), after.end(), victim), after.end());
    tree.model()->undo();
    after = Query<TreeNode>().evaluate(tree.model());
    ASSERT_FALSE(after.empty());
    if (!hadSubtree) {
        EXPECT_EQ(after.back(), victim);
    }
    EXPECT_EQ(after.size(), created.size());
}

TEST(QueryTest, EvaluationSeesTheOpenTransactionAndChangesNothing) {
    RandomTree tree(11);
    for (int i = 0; i < 30; ++i) tree.add();
    int reports = 0;
    ::fenmo::ListenerToken token =
        tree.model()->addListener([&](const ::fenmo::ChangeReport&) { ++reports; });
    const std::size_t steps = tree.model()->undoStepCount();
    Query<SignalAttributes> doubles(SignalAttributes::dataType() == u"double");
    const std::size_t before = doubles.count(tree.model());

    ::fenmo::Transaction transaction = tree.model()->beginEdit();
    std::vector<SignalAttributes> all = tree.all<SignalAttributes>();
    int changed = 0;
    for (const SignalAttributes& s : all)
        if (s->getDataType() != boost::optional<std::u16string>(u"double")) {
            s->setDataType(std::u16string(u"double"));
            ++changed;
        }
    EXPECT_EQ(doubles.count(tree.model()), before + static_cast<std::size_t>(changed));
    EXPECT_EQ(tree.model()->transactionDepth(), 1u);
    // Nodes created and destroyed inside the transaction come and go at once.
    const std::vector<TreeNode> nodesBefore = Query<TreeNode>().evaluate(tree.model());
    TreeNode added = tree.add();
    TreeNode removed = nodesBefore.back();
    removed->destroy();
    std::vector<TreeNode> nodesInside = Query<TreeNode>().evaluate(tree.model());
    EXPECT_EQ(std::count(nodesInside.begin(), nodesInside.end(), added), 1);
    EXPECT_EQ(std::count(nodesInside.begin(), nodesInside.end(), removed), 0);
    transaction.abandon();
    EXPECT_EQ(doubles.count(tree.model()), before);
    // Abandoned: the extent is as it was (the node destroyed was the last one; it comes back at the end).
    EXPECT_EQ(Query<TreeNode>().evaluate(tree.model()), nodesBefore);

    // Outside a transaction: no step, no report, no transaction left open.
    EXPECT_EQ(tree.model()->undoStepCount(), steps);
    EXPECT_EQ(reports, 0);
    EXPECT_FALSE(tree.model()->isInTransaction());
}

TEST(QueryTest, InstanceFormBindsTheQueryToItsConstrainables) {
    RandomTree tree(5);
    for (int i = 0; i < 40; ++i) tree.add();
    q::InstanceQuery query;
    TreeNode::Constrainables node({query, SearchClassMatchMode::WithSubclasses});
    EXPECT_EQ(query.getSearchClass().get(), TreeNode::metaClass().get());
    query.where(node.signalAttrs.where(SignalAttributes::dataType() == u"double") && node.childAttrs.isSet());
    std::set<const ModelElement::Impl*> expected =
        identities(bruteForce<TreeNode>(tree, [](const TreeNode& n) {
            return n->getSignalAttrs() && text(n->getSignalAttrs()->getDataType()) == u"double" &&
                   n->getChildAttrs();
        }));
    EXPECT_EQ(identities(query.select(tree.model())), expected);

    // Equality with an element: exactly that one; with an empty handle: none.
    TreeNode one = tree.randomNode();
    q::InstanceQuery byElement;
    TreeNode::Constrainables it({byElement, SearchClassMatchMode::ClassOnly});
    byElement.where(it == one);
    EXPECT_EQ(byElement.select(tree.model()), std::vector<ModelElement>{one});
    auto none = (it == TreeNode());
    EXPECT_EQ(none.element(), nullptr);
    q::InstanceQuery empty;
    TreeNode::Constrainables nothing({empty, SearchClassMatchMode::ClassOnly});
    empty.where(nothing == TreeNode());
    EXPECT_EQ(empty.count(tree.model()), 0u);

    // A condition about another query's instance is refused, and leaves the query as it was.
    EXPECT_THROW(query.where(it == one), ::fenmo::InvalidValueException);
    EXPECT_EQ(identities(query.select(tree.model())), expected);
    EXPECT_THROW((void)(node.childAttrs.isSet() && it.childAttrs.isSet()), ::fenmo::InvalidValueException);
    q::InstanceQuery unbound;
    EXPECT_THROW(unbound.where(node.childAttrs.isSet()), ::fenmo::InvalidValueException);

    // Members stand in index order for the properties of the class.
    EXPECT_EQ(node.parentAttrs.property().get(), schema::TreeNode::parentAttrs().get());
    EXPECT_EQ(node.platformAttrs.property().get(), schema::TreeNode::platformAttrs().get());
    EXPECT_EQ(node.parentAttrs.attachment().instance(), &node);
}

TEST(QueryTest, StaticConstrainablesAreBuiltOnceAndBoundToTheirOwnProperty) {
    EXPECT_EQ(&SignalAttributes::dataType(), &SignalAttributes::dataType());
    EXPECT_EQ(SignalAttributes::dataType().property().get(), schema::SignalAttributes::dataType().get());
    EXPECT_NE(SignalAttributes::dataType().property().get(),
              BusTypeElementAttributes::dataType().property().get());
    EXPECT_EQ(&TreeNode::Uuid(), &TreeNode::Uuid());
    static_assert(std::is_empty_v<q::MetaclassAttachment<TreeNode>>);
    static_assert(sizeof(BlockAttributes::Constrainables) == sizeof(ModelElement::Constrainables));
    static_assert(std::is_same_v<
                  decltype(PropagationAttributes::tavBusSrcOPort()),
                  q::ConstrainableWithAttachment<int, q::MetaclassAttachment<PropagationAttributes>, 1>&>);
    static_assert(
        std::is_same_v<
            decltype(ChildAttributes::name()),
            q::ConstrainableWithAttachment<std::u16string, q::MetaclassAttachment<ChildAttributes>, 0>&>);
    static_assert(
        std::is_same_v<
            decltype(ParentAttributes::children()),
            q::ConstrainableCollectionWithAttachment<TreeNode, q::MetaclassAttachment<ParentAttributes>>&>);

    // First use from several threads at once: one object, bound to its property, for every caller.
    constexpr int kThreads = 8;
    std::barrier start(kThreads);
    std::vector<const void*> seen(kThreads);
    std::vector<const void*> properties(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            auto& c = MessageQueueAttributes::queueCapacity();
            seen[static_cast<std::size_t>(i)] = &c;
            properties[static_cast<std::size_t>(i)] = c.property().get();
        });
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(seen[static_cast<std::size_t>(i)], seen[0]);
        EXPECT_EQ(properties[static_cast<std::size_t>(i)],
                  schema::MessageQueueAttributes::queueCapacity().get());
    }
}

TEST(QueryTest, BadConditionsAreRefusedBeforeAnythingIsEvaluated) {
    EXPECT_THROW(SignalAttributes::dataType().matches(u"(unclosed"), ::fenmo::InvalidValueException);
    EXPECT_THROW(Query<TreeNode>().count(Model()), ::fenmo::InvalidValueException);
    // A query over an empty model finds nothing and needs no extent.
    EXPECT_EQ(Query<TreeNode>(TreeNode::childAttrs().isSet()).count(Model::create()), 0u);
}

}  // namespace
}  // namespace querytest
