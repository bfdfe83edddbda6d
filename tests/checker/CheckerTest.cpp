// The model checker: long random operation sequences run against the library and, side by side, against a
// plain reference model (core/Reference.hpp), compared after every operation (core/Driver.hpp).
//
// A failure prints its seed, the shortest operation list found that still fails, and the command that
// replays it:
//   CHECKER_OPS=<hex> CHECKER_LOG=1 build/tests/checker_tests --gtest_filter=Checker.Replay
// A whole seeded run replays the same way:
//   CHECKER_SEED=<seed> CHECKER_STEPS=<n> CHECKER_LOG=1 build/tests/checker_tests
//   --gtest_filter=Checker.Replay
// Other settings: CHECKER_SEEDS (seeds per test), CHECKER_SEED_BASE (first seed), CHECKER_DEFECTS (defect
// families to run into: all, none, or names such as Cycles,DeadWrites), CHECKER_WEIGHTS (Name=weight,...).

#include "core/Driver.hpp"
#include "core/Real.hpp"

#include <fenmo/Text.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

namespace checker {
namespace {

std::size_t setting(const char* name, std::size_t fallback) {
    const char* value = std::getenv(name);
    return value && *value ? static_cast<std::size_t>(std::strtoull(value, nullptr, 10)) : fallback;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Seeds per test and operations per seed: the suite runs four such tests (and again under the sanitizers,
// with fewer operations).
std::size_t seedsPerTest() {
    return setting("CHECKER_SEEDS", kSanitized ? 4 : 16);
}
std::size_t stepsPerSeed() {
    return setting("CHECKER_STEPS", kSanitized ? 1000 : 4000);
}

std::string logText(const Result& r) {
    std::string out;
    for (const std::string& line : r.log) out += line + "\n";
    return out;
}

// Runs `operations`, adding its counts to `total`; on failure shrinks them and answers everything needed to
// reproduce it.
std::string check(const std::vector<std::uint8_t>& operations, const Options& options,
                  const std::string& origin, Result& total) {
    Result r = run(operations, options);
    addCounts(total, r);
    if (!r.failed) return "";
    const std::vector<std::uint8_t> shortest = shrink(operations, r, options, 400);
    Options logged = options;
    logged.log = true;
    const Result replayed = run(shortest, logged);
    return origin + ": " + r.message + "\n\nshortest failing sequence (" +
           std::to_string(shortest.size() / kOperationSize) +
           " operations, failing with: " + replayed.message + "):\n" + logText(replayed) +
           "\nreplay:\n  CHECKER_OPS=" + toHex(shortest) +
           " CHECKER_DEFECTS=" + defectNames(options.defects) +
           " CHECKER_LOG=1 build/tests/checker_tests --gtest_filter=Checker.Replay\n";
}

TEST(Checker, ReferenceKnowsTheRegisteredProperties) {
    // The reference's own account of the classes must be the library's: names, indices and value kinds.
    for (int k = 0; k < kKindCount; ++k) {
        const Kind kind = static_cast<Kind>(k);
        const ClassInfo& info = scalarClass(kind);
        for (std::size_t i = 0; i < info.properties.size(); ++i) {
            const auto& p = propertyOf(kind, static_cast<int>(i + 1));
            EXPECT_EQ(p->getName(), info.properties[i].name) << kindName(kind) << " index " << i + 1;
            const bool isEnum = ::fenmo::internal::isEnumType(p->getType());
            EXPECT_EQ(isEnum, info.properties[i].kind == ScalarKind::Enum) << ::fenmo::toUtf8(p->getName());
            // A value of the reference's kind is accepted by the property's conversion.
            const OptionalScalar zero = zeroOf(info.properties[i].kind);
            EXPECT_NO_THROW(valueOf(kind, static_cast<int>(i + 1), zero).getType());
        }
    }
    for (std::size_t i = 0; i < nodeSlots().size(); ++i) {
        const auto& p = propertyOf(Kind::TreeNode, static_cast<int>(i + 1));
        EXPECT_EQ(p->getName(), nodeSlots()[i].name);
        EXPECT_EQ(p->getType().get(), metaClassOf(nodeSlots()[i].kind).get())
            << ::fenmo::toUtf8(p->getName());
    }
}

class CheckerSeeds : public ::testing::TestWithParam<int> {};

TEST_P(CheckerSeeds, RandomSequencesAgreeWithTheReference) {
    const Options options = optionsFromEnvironment();
    const std::size_t seeds = seedsPerTest(), steps = stepsPerSeed();
    const std::size_t base = setting("CHECKER_SEED_BASE", 1) + static_cast<std::size_t>(GetParam()) * seeds;
    Result total;
    for (std::size_t seed = base; seed < base + seeds; ++seed) {
        const std::vector<std::uint8_t> ops = randomOperations(seed, steps);
        const std::string failure = check(ops, options, "seed " + std::to_string(seed), total);
        ASSERT_TRUE(failure.empty()) << failure << "  or the whole run: CHECKER_SEED=" << seed
                                     << " CHECKER_STEPS=" << steps << "\n";
    }
    std::cout << "checker: seeds " << base << ".." << base + seeds - 1 << ", " << total.operations
              << " operations (" << total.skipped
              << " not run, defect families off: " << defectNames(kAllDefects & ~options.defects) << ")\n"
              << countsTable(total);
}

INSTANTIATE_TEST_SUITE_P(Blocks, CheckerSeeds, ::testing::Range(0, 4));

// Replays CHECKER_OPS (hex) or a seeded run (CHECKER_SEED, CHECKER_STEPS); skipped when neither is given.
TEST(Checker, Replay) {
    std::vector<std::uint8_t> ops;
    if (const char* hex = std::getenv("CHECKER_OPS"))
        ops = fromHex(hex);
    else if (std::getenv("CHECKER_SEED"))
        ops = randomOperations(setting("CHECKER_SEED", 1), stepsPerSeed());
    else
        GTEST_SKIP() << "set CHECKER_OPS or CHECKER_SEED to replay a run";
    Options options = optionsFromEnvironment();
    options.log = std::getenv("CHECKER_LOG") != nullptr;
    const Result r = run(ops, options);
    std::cout << logText(r);
    EXPECT_FALSE(r.failed) << r.message;
}

// The checker's own machinery: a change the reference was not told about (here, made by every Listener
// operation once a child attributes object lives) is found where it happens, the failure shrinks to the few
// operations it needs, and its hex replays it.
TEST(Checker, FindsShrinksAndReplaysAChangeTheReferenceWasNotTold) {
    Options options;
    options.tamperKind = "Listener";
    const std::vector<std::uint8_t> ops = randomOperations(7, 2000);
    const Result r = run(ops, options);
    ASSERT_TRUE(r.failed);
    EXPECT_EQ(r.category, "state during Listener") << r.message;

    const std::vector<std::uint8_t> shortest = shrink(ops, r, options, 400);
    // What makes a child attributes object (one or two operations), and one Listener operation.
    EXPECT_GE(shortest.size(), 2 * kOperationSize);
    EXPECT_LE(shortest.size(), 3 * kOperationSize) << toHex(shortest);
    const Result again = run(fromHex(toHex(shortest)), options);
    EXPECT_TRUE(again.failed);
    EXPECT_EQ(again.category, r.category);

    options.tamperKind.clear();
    EXPECT_FALSE(run(shortest, options).failed)
        << "the sequence passes when nothing is changed behind its back";
}

}  // namespace
}  // namespace checker
