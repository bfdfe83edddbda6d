// Wide parents edited at random, one step at a time, with nested levels committed or abandoned and whole
// steps abandoned: every state comes back exactly through abandon, undo and redo, reports name the
// children a step found and left, and a step of one edit keeps a few bytes, not the parent's children.

#include "tree/TreeSupport.hpp"

#include <random>

namespace treetest {
namespace {

using Ids = std::vector<std::string>;

Ids childIds(const TreeNode& node) {
    Ids ids;
    for (const TreeNode& child : node->getParentAttrs()->getChildren()) ids.push_back(idOf(child));
    return ids;
}

Ids entryIds(const Value& list) {
    Ids ids;
    for (const Value& entry : list.getEntries()) ids.push_back(idOf(entry.getElement()));
    return ids;
}

class Session {
public:
    explicit Session(unsigned seed) : m_random(seed) {
        for (int r = 0; r < 2; ++r) {
            auto parent = std::make_unique<ParentAttributes::Builder>();
            // Wide enough for the children to fill several levels of their sequences.
            for (int k = 0; k < 300; ++k) parent->addChildren(childNode(nextName(), nextIndex()));
            m_roots.push_back(createRoot(m_model, std::move(parent)));
        }
        for (const TreeNode& root : m_roots)
            for (const ModelElement& element : subtrees({root})) m_all.push_back(element);
    }

    Model& model() { return m_model; }
    const TreeNode& root(std::size_t i) const { return m_roots[i]; }
    // The elements alive in the model, described; ones made by abandoned steps are gone for good.
    std::string state() const {
        std::vector<ModelElement> alive;
        for (const ModelElement& element : m_all)
            if (element) alive.push_back(element);
        return describe(alive) + "\nelements " + std::to_string(m_model->elementCount());
    }
    std::size_t pick(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(m_random);
    }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }

    // One random edit; refused ones must change nothing.
    void edit() {
        const TreeNode& root = m_roots[pick(m_roots.size())];
        ParentAttributes parent = root->getParentAttrs();
        const auto& children = parent->getChildren();
        if (children.empty() || chance(0.15)) return append(parent);
        TreeNode child = children[pick(children.size())];
        ChildAttributes attributes = child->getChildAttrs();
        switch (pick(9)) {
            case 0:
                attributes->setName(nextName());
                break;
            case 1:
                attributes->setIndexOne(nextIndex());
                break;
            case 2:
                attributes->setParent(TreeNode());
                m_detached.push_back(child);
                break;
            case 3:
                if (!m_detached.empty()) {
                    std::size_t i = pick(m_detached.size());
                    if (m_detached[i] && !m_detached[i]->container().get())
                        m_detached[i]->getChildAttrs()->setParent(m_roots[pick(m_roots.size())]);
                }
                break;
            case 4:
                attributes->setParent(m_roots[pick(m_roots.size())]);
                break;
            case 5:
                child->destroy();
                break;
            case 6: {
                const std::string before = state();
                const TreeNode& other = children[pick(children.size())];
                if (other.get() != child.get()) {
                    failsWith("UniquenessConstraint",
                              [&] { attributes->setName(other->getChildAttrs()->getName()); });
                    EXPECT_EQ(state(), before) << "a refused rename changed the tree";
                }
                break;
            }
            case 7:
                // Rarely, everything at once: the children or the map cleared through reflection.
                if (chance(0.1))
                    Reflection().unset(parent, chance(0.5) ? schema::ParentAttributes::children()
                                                           : schema::ParentAttributes::attrsOfChildren());
                break;
            default: {
                // Renamed twice within the step: the second key of one child moves twice.
                attributes->setName(nextName());
                attributes->setName(nextName());
            }
        }
    }

    void append(const ParentAttributes& parent) {
        TreeNode node = parent->createIntoChildren(childNode(nextName(), nextIndex()).get(), uuid());
        for (const ModelElement& element : subtrees({node})) m_all.push_back(element);
    }

private:
    std::u16string nextName() { return u"n" + ::fenmo::widenNumber(m_next++); }
    int nextIndex() { return static_cast<int>(m_next++); }

    std::mt19937 m_random;
    Model m_model = Model::create();
    std::vector<TreeNode> m_roots;
    std::vector<TreeNode> m_detached;
    std::vector<ModelElement> m_all;
    long m_next = 1;
};

TEST(WideHistory, RandomStepsComeBackThroughAbandonUndoAndRedo) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Session session(seed);
        Model& model = session.model();
        ReportLog log(model);
        const std::size_t built = model->undoStepCount();
        std::vector<std::string> states{session.state()};

        for (int step = 0; step < 60; ++step) {
            SCOPED_TRACE("step " + std::to_string(step));
            const Ids childrenBefore = childIds(session.root(0));
            const std::size_t reports = log.reports.size();
            {
                ::fenmo::Transaction outer = model->beginTransaction(false);
                for (std::size_t n = 1 + session.pick(4); n > 0; --n) session.edit();
                if (session.chance(0.5)) {
                    const std::string atInner = session.state();
                    ::fenmo::Transaction inner = model->beginTransaction(false);
                    for (std::size_t n = 1 + session.pick(4); n > 0; --n) session.edit();
                    if (session.chance(0.5)) {
                        inner.commit(boost::none);
                    } else {
                        inner = ::fenmo::Transaction();
                        ASSERT_EQ(session.state(), atInner) << "an abandoned inner level left a trace";
                    }
                }
                if (session.chance(0.15)) {
                    outer = ::fenmo::Transaction();
                    ASSERT_EQ(session.state(), states.back()) << "an abandoned step left a trace";
                    continue;
                }
                outer.commit(boost::none);
            }
            if (model->undoStepCount() == built + states.size() - 1) {
                ASSERT_EQ(session.state(), states.back()) << "a step that changed nothing left no step";
                continue;
            }
            ASSERT_EQ(model->undoStepCount(), built + states.size());
            states.push_back(session.state());
            // The report tells the first root's children before and after the step, when they changed.
            ASSERT_EQ(log.reports.size(), reports + 1);
            for (const ::fenmo::ElementChange& change : log.reports.back().modified())
                if (change.element.get() == session.root(0)->getParentAttrs().get())
                    for (const ::fenmo::PropertyChange& property : change.properties)
                        if (property.property.get() == schema::ParentAttributes::children().get()) {
                            EXPECT_EQ(entryIds(property.oldValue), childrenBefore);
                            EXPECT_EQ(entryIds(property.newValue), childIds(session.root(0)));
                        }
        }
        ASSERT_GT(states.size(), 30u);

        for (int round = 0; round < 2; ++round) {
            for (std::size_t i = states.size() - 1; i > 0; --i) {
                model->undo();
                ASSERT_EQ(session.state(), states[i - 1]) << "undoing step " << i << ", round " << round;
            }
            for (std::size_t i = 1; i < states.size(); ++i) {
                model->redo();
                ASSERT_EQ(session.state(), states[i]) << "redoing step " << i << ", round " << round;
            }
        }
        // A new step after undoing half of them drops the other half, and undoes like any other.
        for (std::size_t i = 0; i < states.size() / 2; ++i) model->undo();
        const std::string undone = session.state();
        session.append(session.root(1)->getParentAttrs());
        EXPECT_FALSE(model->canRedo()) << "a new edit drops what was undone";
        model->undo();
        EXPECT_EQ(session.state(), undone);
    }
}

TEST(WideHistory, UndoReportsAndOneEditStepsOfAWideParentStaySmall) {
    Model model = Model::create();
    auto parent = std::make_unique<ParentAttributes::Builder>();
    for (int k = 1; k <= 5000; ++k) parent->addChildren(childNode(u"c" + ::fenmo::widenNumber(k), k));
    TreeNode root = createRoot(model, std::move(parent));
    ParentAttributes attributes = root->getParentAttrs();
    ReportLog log(model);

    // Each step appends, renames or removes one child among 5,000: the history grows by what the step
    // did, not by the size of the parent's sequences.
    const std::size_t before = model->historyBytes();
    const int steps = 300;
    for (int k = 1; k <= steps / 3; ++k) {
        attributes->createIntoChildren(childNode(u"new" + ::fenmo::widenNumber(k), 10000 + k).get(), uuid());
        childNamed(root, u"c" + ::fenmo::widenNumber(k))
            ->getChildAttrs()
            ->setName(u"d" + ::fenmo::widenNumber(k));
        childNamed(root, u"c" + ::fenmo::widenNumber(1000 + k))->getChildAttrs()->setParent(TreeNode());
    }
    const double perStep = double(model->historyBytes() - before) / steps;
    EXPECT_LT(perStep, 1500.0) << "bytes kept per one-edit step";

    // The undo of a removal reports the children without the node as old, with it as new.
    const Ids removed = childIds(root);
    model->undo();
    ASSERT_FALSE(log.reports.empty());
    const ::fenmo::ChangeReport& report = log.reports.back();
    bool told = false;
    for (const ::fenmo::ElementChange& change : report.modified())
        for (const ::fenmo::PropertyChange& property : change.properties)
            if (change.element.get() == attributes.get() &&
                property.property.get() == schema::ParentAttributes::children().get()) {
                EXPECT_EQ(entryIds(property.oldValue), removed);
                EXPECT_EQ(entryIds(property.newValue), childIds(root));
                told = true;
            }
    EXPECT_TRUE(told);
    EXPECT_EQ(childIds(root).size(), removed.size() + 1);
    EXPECT_TRUE(childNamed(root, u"c1100"));
}

}  // namespace
}  // namespace treetest
