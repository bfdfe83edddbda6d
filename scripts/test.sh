#!/usr/bin/env bash
# Builds the project and runs every test suite; with --sanitize, in a separate build with ASan and UBSan;
# with --fuzz, builds the libFuzzer targets with clang and runs each for a bounded time (FUZZ_SECONDS).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "${1:-}" in
  --sanitize)
    build=build-asan
    options=(-DCMAKE_BUILD_TYPE=Debug -DARVELLE_SANITIZE=ON)
    ;;
  --fuzz)
    seconds="${FUZZ_SECONDS:-60}"
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DARVELLE_FUZZ=ON
    cmake --build build-fuzz --target loader_fuzz checker_fuzz
    # Each run starts from the kept seeds; a crash leaves its input in build-fuzz/ and fails the run.
    # libFuzzer checks every input for leaks itself; the sanitizer's own check at exit runs before the
    # libraries' destructors take the metamodel down, so it would report the metamodel as leaked.
    export LSAN_OPTIONS=leak_check_at_exit=0
    mkdir -p build-fuzz/corpus/loader build-fuzz/corpus/checker
    (cd build-fuzz && tests/loader_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
      corpus/loader ../tests/data/xml-seeds)
    (cd build-fuzz && tests/checker_fuzz -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
      -max_len=2048 corpus/checker)
    exit 0
    ;;
esac
cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
