#pragma once
// Random models for the query tests: a tree built and edited by a seeded generator (nodes added and
// destroyed, signal values set and unset, children renamed, steps undone and redone), and the
// elements of a class found by brute force, for comparison with query results.

#include <arvelle/treeNode/All.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/query/Query.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace querytest {

using ::fenmo::Model;
using ::fenmo::ModelElement;
using namespace tav::fenmo::treeNode;
namespace q = ::fenmo::query;

class RandomTree {
public:
    explicit RandomTree(unsigned seed) : m_rng(seed), m_model(Model::create()) {
        TreeNode::Builder root(m_model);
        root.setParentAttrs(std::make_unique<ParentAttributes::Builder>());
        m_root = root.createTreeNode(::fenmo::uuid());
        m_buses.push_back(m_root);
    }

    const Model& model() const { return m_model; }
    const TreeNode& root() const { return m_root; }
    std::mt19937& rng() { return m_rng; }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    bool chance(int percent) { return pick(100) < percent; }

    // A bus or leaf under a random live bus, named s<k> with k one more than the parent's last index.
    TreeNode add() {
        TreeNode parent = liveBus();
        ParentAttributes attributes = parent->getParentAttrs();
        int k = 1;
        for (const TreeNode& child : attributes->getChildren())
            if (child && child->getChildAttrs()) k = std::max(k, child->getChildAttrs()->getIndexOne() + 1);
        const bool bus = chance(25);
        TreeNode::Builder node;
        auto child = std::make_unique<ChildAttributes::Builder>();
        child->setName(u"s" + ::fenmo::widenNumber(k)).setIndexOne(k);
        node.setChildAttrs(std::move(child));
        if (bus) node.setParentAttrs(std::make_unique<ParentAttributes::Builder>());
        if (!bus || chance(20)) {
            auto signal = std::make_unique<SignalAttributes::Builder>();
            randomSignal(*signal);
            node.setSignalAttrs(std::move(signal));
        }
        TreeNode created = attributes->createIntoChildren(&node, ::fenmo::uuid());
        if (bus) m_buses.push_back(created);
        m_all.push_back(created);
        return created;
    }

    // One random edit, as an undoable step of its own (or an undo or redo).
    void edit() {
        const int what = pick(100);
        if (what < 30) {
            add();
        } else if (what < 50) {
            if (SignalAttributes s = randomSignal()) {
                const int field = pick(3);
                if (field == 0)
                    s->setDataType(randomType());
                else if (field == 1)
                    s->setSampleTime(chance(50) ? boost::optional<std::u16string>(u"0.1") : boost::none);
                else
                    s->setComplexity(chance(30) ? boost::none
                                                : boost::optional<Complexity>(Complexity(pick(3))));
            }
        } else if (what < 60) {
            TreeNode n = randomNode();
            if (n && n->getChildAttrs())
                n->getChildAttrs()->setName(u"r" + ::fenmo::widenNumber(++m_renames));
        } else if (what < 70) {
            TreeNode n = randomNode();
            if (n && n.get() != m_root.get()) n->destroy();
        } else if (what < 75) {
            // A signal given to a node that has none, or taken away.
            TreeNode n = randomNode();
            if (n && n.get() != m_root.get()) {
                if (n->getSignalAttrs())
                    n->setSignalAttrs(SignalAttributes());
                else {
                    SignalAttributes::Builder b(m_model);
                    randomSignal(b);
                    n->setSignalAttrs(b.createSignalAttributes(::fenmo::uuid()));
                }
            }
        } else if (what < 88) {
            if (m_model->canUndo()) m_model->undo();
        } else {
            if (m_model->canRedo()) m_model->redo();
        }
    }

    // The live elements of class C, found by brute force.
    template <class C>
    std::vector<C> all() const {
        std::vector<C> out;
        for (const ModelElement& e : m_model->elements())
            if (C c = ::fenmo::handleCast<C>(e); c && e->getMetaClass().get() == C::metaClass().get())
                out.push_back(c);
        return out;
    }

    TreeNode randomNode() {
        std::vector<TreeNode> live = all<TreeNode>();
        return live.empty() ? TreeNode()
                            : live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
    }
    ParentAttributes randomParentAttributes() {
        std::vector<ParentAttributes> live = all<ParentAttributes>();
        return live.empty() ? ParentAttributes()
                            : live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
    }

    boost::optional<std::u16string> randomType() {
        static const char16_t* const types[] = {u"double", u"single", u"int8", u"boolean"};
        if (chance(15)) return boost::none;
        return std::u16string(types[pick(4)]);
    }

private:
    TreeNode liveBus() {
        std::vector<TreeNode> live;
        for (const TreeNode& b : m_buses)
            if (b && b->getParentAttrs()) live.push_back(b);
        return live.empty() ? m_root : live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
    }
    SignalAttributes randomSignal() {
        std::vector<SignalAttributes> live = all<SignalAttributes>();
        return live.empty() ? SignalAttributes()
                            : live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
    }
    template <class B>
    void randomSignal(B& b) {
        b.setDataType(randomType());
        if (chance(50)) b.setSampleTime(std::u16string(u"-1"));
        if (chance(60)) b.setComplexity(Complexity(pick(3)));
        if (chance(30)) b.setDims(std::u16string(chance(50) ? u"1" : u"[2 3]"));
    }

    std::mt19937 m_rng;
    Model m_model;
    TreeNode m_root;
    std::vector<TreeNode> m_buses;
    std::vector<TreeNode> m_all;
    int m_renames = 0;
};

// The elements as a set of identities, to compare results regardless of order.
template <class C>
std::set<const ModelElement::Impl*> identities(const std::vector<C>& elements) {
    std::set<const ModelElement::Impl*> out;
    for (const C& e : elements) out.insert(e.get());
    return out;
}

template <class C, class F>
std::vector<C> bruteForce(const RandomTree& tree, F&& keep) {
    std::vector<C> out;
    for (const C& e : tree.all<C>())
        if (keep(e)) out.push_back(e);
    return out;
}

inline std::u16string text(const boost::optional<std::u16string>& v) {
    return v ? *v : u"";
}

}  // namespace querytest
