#!/bin/bash
# Installs the dependencies, builds, and runs every test: the normal build's
# unit and end-to-end tests, then the unit tests under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp \
UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize -j "$jobs" -L unit --timeout 300 --output-on-failure
