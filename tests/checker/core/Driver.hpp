#pragma once
// The model checker's driver: decodes a sequence of operations from bytes, runs each on the real model
// and on the reference, and checks after every step that both agree.
//
// An operation is 8 bytes: the first picks the kind of operation (by weight), the other seven pick its
// targets and values (and seed a small generator when an operation needs more choices, as builders do).
// Dropping whole 8-byte operations keeps the rest decodable, which is what shrinking does.
//
// Replaying: a failure prints its operations as hex; run them again, with the operation log, by
//   CHECKER_OPS=<hex> CHECKER_LOG=1 build/tests/checker_tests --gtest_filter=Checker.Replay
// or a whole seeded run by CHECKER_SEED=<seed> CHECKER_STEPS=<n> (same filter). CHECKER_TRACE=1 prints
// each operation before it runs, for failures that crash. tests/checker/CheckerTest.cpp lists the rest.

#include "core/Reference.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace checker {

constexpr std::size_t kOperationSize = 8;

// Defect families that are fixed on this branch and so are checked by default; the others are skipped.
extern const std::uint32_t kDefaultDefects;

struct Options {
    std::uint32_t defects = kDefaultDefects;  // defect families to run into (the others are not run)
    bool log = false;                         // keep a description of every operation
    bool trace = false;                       // print each operation before it runs (for crashes)
    std::size_t maxElements = 150;            // above this, creations give way to destruction
    // Every so many operations the model is saved, loaded into a new model and checked (0: never).
    std::size_t saveLoadEvery = 16;
    // The names of operation kinds and their weights ("SetParent=0,Undo=10"); empty: the defaults.
    std::string weights;
    // For the checker's own tests: operations of this kind ("Listener", say) also rename a live child
    // attributes object in the real model without telling the reference.
    std::string tamperKind;
};

// Options from the environment: CHECKER_DEFECTS ("all", "none" or names), CHECKER_WEIGHTS, CHECKER_TRACE,
// CHECKER_SAVE_LOAD_EVERY.
Options optionsFromEnvironment();

struct Result {
    bool failed = false;
    std::size_t failedAt = 0;  // the operation during which the failure was found
    std::string category;      // what failed, and during which kind of operation (shrinking keeps it)
    std::string message;
    std::vector<std::string> log;  // the operations run, with Options::log
    std::size_t operations = 0;    // operations run
    std::size_t skipped = 0;       // operations not run because they touch a defect family switched off
    // Per kind of operation: how many were done, refused, and not run.
    struct Counts {
        std::size_t done = 0, refused = 0, notRun = 0;
    };
    std::map<std::string, Counts> counts;
};
// Adds the counts of `r` to `total`; a table of them.
void addCounts(Result& total, const Result& r);
std::string countsTable(const Result& r);

Result run(const std::vector<std::uint8_t>& operations, const Options& options);
Result run(const std::uint8_t* data, std::size_t size, const Options& options);

// `count` operations from a seeded generator.
std::vector<std::uint8_t> randomOperations(std::uint64_t seed, std::size_t count);

// The shortest sequence found that still fails the same way: the failing prefix, then operations dropped
// (halves, quarters, ... single ones) while it keeps failing, within `maxRuns` runs.
std::vector<std::uint8_t> shrink(const std::vector<std::uint8_t>& operations, const Result& failure,
                                 const Options& options, std::size_t maxRuns);

std::string toHex(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> fromHex(const std::string& text);

// The names of the operation kinds with their default weights, for documentation and CHECKER_WEIGHTS.
std::string weightTable();

}  // namespace checker
