// Failures the model checker found, each kept as the shortest operation list it shrank to (hex, 8 bytes an
// operation, decoded with the default weights), replayed with the defect family that covers it switched on.
// A failure that is not fixed yet is skipped with the reason; remove the skip once it is.

#include "core/Driver.hpp"

#include <arvelle/treeNode/All.hpp>

#include <fenmo/ChangeReport.hpp>
#include <fenmo/ModelImpl.hpp>

#include <gtest/gtest.h>

#include <memory>

namespace checker {
namespace {

// Replays `hex` with `defects` also run into, and expects no disagreement.
void expectAgreement(const std::string& hex, std::uint32_t defects) {
    Options options;
    options.defects |= defects;
    options.log = true;
    const Result r = run(fromHex(hex), options);
    std::string log;
    for (const std::string& line : r.log) log += line + "\n";
    EXPECT_FALSE(r.failed) << r.message << "\n" << log;
}

// [0] build a ParentAttributes with three child nodes
// [1] createInto inheritedParentAttrs of the first child node (#4): a new ParentAttributes #11
// [2] undo
// The undo report lists #11 as destroyed and #4.inheritedParentAttrs as changed, but from none to none: the
// old value, the destroyed #11, is given as no value. The same happens to every slot or attrsOfParent whose
// element is destroyed by the change reported (a destroy, an undone creation), so a listener cannot tell
// which element left which node.
TEST(CheckerRegression, ReportNamesTheDestroyedElementASlotHeld) {
    GTEST_SKIP() << "not fixed: change reports give a destroyed element held by a slot as no value";
    expectAgreement("15b59ffd21a17c8c1de99d62b04882ace547751137756a11", kReportsDropDestroyed);
}

// Found while writing the checker, whose listener first kept the reports it was given: the old value of a
// collection in a report is a view of the undo step's snapshot, so a report kept past the listener call
// reads freed memory once that step is dropped (here by the step bound; also by clearHistory, or by a new
// edit that clears the redo steps). ASan reports a heap-use-after-free on the last line.
TEST(CheckerRegression, KeptReportOutlivesTheStepItViews) {
    GTEST_SKIP() << "not fixed: a kept report's old collection values view snapshots the history frees";
    namespace tn = ::tav::fenmo::treeNode;
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::TreeNode::Builder builder(model);
    auto parent = std::make_unique<tn::ParentAttributes::Builder>();
    parent->addChildren(std::make_unique<tn::TreeNode::Builder>());
    parent->addChildren(std::make_unique<tn::TreeNode::Builder>());
    builder.setParentAttrs(std::move(parent));
    tn::ParentAttributes children = builder.createTreeNode(::fenmo::uuid())->getParentAttrs();
    std::vector<::fenmo::ChangeReport> kept;
    ::fenmo::ListenerToken token =
        model->addListener([&](const ::fenmo::ChangeReport& r) { kept.push_back(r); });
    model->setHistoryLimits(1, SIZE_MAX);

    children->getChildrenMutable().erase(0);  // old value of children: two nodes, in the step's snapshot
    children->getChildrenMutable().erase(0);  // a second step: the first is dropped
    ASSERT_EQ(kept.size(), 2u);
    const ::fenmo::PropertyChange& change = kept[0].modified().at(0).properties.at(0);
    EXPECT_EQ(change.oldValue.getEntries().size(), 2u);
}

}  // namespace
}  // namespace checker
