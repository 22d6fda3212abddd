#!/bin/bash
# Installs the dependencies, builds, and runs every test:
#   1. the normal build: unit tests, end-to-end scenarios, and the scenarios
#      that need a real kernel, in one emulated boot (tools/vm);
#   2. AddressSanitizer and UndefinedBehaviorSanitizer: the same again;
#   3. ThreadSanitizer: the unit tests and the service's threaded scenarios;
#   4. each fuzz target for FUZZ_SECONDS (default 30) from the seed corpus.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "tools/test.sh: run this as root (it installs packages and the tests use namespaces):" \
       "su -c tools/test.sh, or sudo tools/test.sh" >&2
  exit 1
fi
cd "$(dirname "$0")/.."
bash tools/deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure

# The runtime options of both sanitizer builds are compiled in
# (tools/sanitizer_defaults.cpp).
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize -j "$jobs" --timeout 900 --output-on-failure -LE vm

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE_THREAD=ON
cmake --build build-tsan -j "$jobs"
ctest --test-dir build-tsan -j "$jobs" --timeout 900 --output-on-failure -L unit
ctest --test-dir build-tsan -j "$jobs" --timeout 900 --output-on-failure \
      -R '^e2e_(service_serial|service_startup|service_pointer|zuraze|edgetab|faults)$'

bash tools/fuzz.sh "${FUZZ_SECONDS:-30}"
