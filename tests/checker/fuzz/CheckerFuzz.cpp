// The model checker under libFuzzer: the fuzzer's bytes are the operation sequence (8 bytes an operation,
// decoded as in the test program), so coverage of the libraries guides which sequences it tries. A
// disagreement with the reference aborts, which makes libFuzzer keep the input.
//
// Build and run (clang):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DARVELLE_FUZZ=ON
//   -DCMAKE_BUILD_TYPE=RelWithDebInfo cmake --build build-fuzz --target checker_fuzz
//   build-fuzz/tests/checker_fuzz -max_len=2048 corpus/
// A crash file replays in the test program: CHECKER_OPS=$(xxd -p crash-... | tr -d '\n') ... Checker.Replay

#include "core/Driver.hpp"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const checker::Options options = checker::optionsFromEnvironment();
    const checker::Result r = checker::run(data, size, options);
    if (!r.failed) return 0;
    checker::Options logged = options;
    logged.log = true;
    const checker::Result replayed =
        checker::run(data, std::min(size, (r.failedAt + 1) * checker::kOperationSize), logged);
    for (const std::string& line : replayed.log) std::fprintf(stderr, "%s\n", line.c_str());
    std::fprintf(stderr, "\n%s\n", r.message.c_str());
    std::abort();
}
