// Failures the model checker found, each kept as the shortest operation list it shrank to (hex, 8 bytes an
// operation, decoded with the default weights), replayed with the defect family that covers it switched on.
// A failure that is not fixed yet is skipped with the reason; remove the skip once it is.

#include "core/Driver.hpp"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace checker
