#!/bin/bash
# Installs the dependencies, builds, and runs every test:
#   1. the normal build: unit tests, end-to-end scenarios, and the scenarios
#      that need a real kernel, in one emulated boot (tools/vm);
#   2. AddressSanitizer and UndefinedBehaviorSanitizer: the same again;
#   3. ThreadSanitizer: the unit tests and the service's threaded scenarios;
#   4. each fuzz target for FUZZ_SECONDS (default 30) from the seed corpus;
#   5. the 32-bit build (cmake/i386-toolchain.cmake): its unit tests, in the
#      guest of tools/vm, as this machine's kernel runs no 32-bit programs.
# tools/test.sh --platforms runs instead the stages for the other platforms,
# each longer than the rest: the 32-bit build's unit tests and its end-to-end
# scenarios in the guest, and Debian 13 (tools/platforms/trixie.sh).
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "tools/test.sh: run this as root (it installs packages and the tests use namespaces):" \
       "su -c tools/test.sh, or sudo tools/test.sh" >&2
  exit 1
fi
cd "$(dirname "$0")/.."
bash tools/deps.sh
jobs=$(nproc)

# Prints how long each stage took, for the stages that take minutes.
stage() {
  local started=$SECONDS
  "$@"
  echo "stage took $((SECONDS - started)) s: $*"
}

i386_build() {
  cmake -S . -B build-i386 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE=cmake/i386-toolchain.cmake
  cmake --build build-i386 -j "$jobs"
}

# i386_in_guest unit|scenarios
i386_in_guest() {
  /usr/bin/python3 tools/vm/vm.py --out "build-i386/vm-out-$1" --cache build/vm-cache \
      --timeout 3000 -- sh tests/vm/i386.sh "$PWD/build-i386" "$1"
}

if [ "${1:-}" = --platforms ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j "$jobs"
  (cd build && cpack -G DEB)
  stage i386_build
  (cd build-i386 && cpack -G DEB)
  stage i386_in_guest unit
  stage i386_in_guest scenarios
  stage bash tools/platforms/trixie.sh build
  exit 0
fi

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
# The service's threaded scenarios wait on X and the board far more than they
# compute, so they run beside the fuzzing and the 32-bit stages, which do the
# opposite; their output follows those stages'.
ctest --test-dir build-tsan -j "$jobs" --timeout 900 --output-on-failure \
      -R '^e2e_(service_serial|service_startup|service_pointer|zuraze|edgetab|faults)$' \
      > build-tsan/scenarios.log 2>&1 &
tsan_scenarios=$!
# A later stage that fails ends the run: these scenarios with it.
trap 'kill "$tsan_scenarios" 2>/dev/null || true' EXIT

bash tools/fuzz.sh "${FUZZ_SECONDS:-30}"

stage i386_build
stage i386_in_guest unit

tsan_status=0
wait "$tsan_scenarios" || tsan_status=$?
cat build-tsan/scenarios.log
exit "$tsan_status"
