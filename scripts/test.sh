#!/usr/bin/env bash
# Builds the project and runs every test suite; with --sanitize, in a separate build with ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DARVELLE_SANITIZE=ON)
fi
cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
