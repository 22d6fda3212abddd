#!/bin/bash
# How much of the code under each fuzz target its corpus reaches: builds the
# targets with source-based coverage, replays the seed corpus and everything
# tools/fuzz.sh found (build-fuzz/fuzz-work), and reports line and branch
# coverage of the sources each target is meant to exercise.
#
#   tools/fuzz_coverage.sh [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(packet_loop_fuzz tool_capture_fuzz inifile_fuzz readmsg_fuzz)

declare -A sources=(
    [packet_loop_fuzz]="QMRVBoard/packet_loop.cpp QMRVBoard/keys.cpp QMRVBoard/mapping.cpp
                        QMRVBoard/pointer.cpp QMRVBoard/tables.cpp Share/protocol/board_packet.cpp"
    [tool_capture_fuzz]="calibration/capture.cpp Edgetab/capture.cpp Share/protocol/DataPro.cpp"
    [inifile_fuzz]="Share/store/inifile.cpp"
    [readmsg_fuzz]="Share/store/inifile.cpp"
)

out=build-fuzzcov
cmake -S . -B $out -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DFUZZ=ON -DFUZZ_COVERAGE=ON \
      -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build $out --target fuzzers >/dev/null
for target in "${targets[@]}"; do
    rm -f $out/$target.profraw
    mkdir -p build-fuzz/fuzz-work/$target
    LLVM_PROFILE_FILE=$PWD/$out/$target.profraw \
        /usr/bin/python3 tests/e2e/sandbox.py --build $out --no-install -- \
        $out/fuzz/$target -runs=0 -close_fd_mask=1 -max_len=20000 \
        build-fuzz/fuzz-work/$target fuzz/corpus/$target >/dev/null 2>&1
    llvm-profdata merge -o $out/$target.profdata $out/$target.profraw
    echo "== $target"
    # shellcheck disable=SC2086
    llvm-cov report $out/fuzz/$target -instr-profile=$out/$target.profdata \
        ${sources[$target]} | awk '/^Filename/ {on = 1; next} on && NF >= 13 {
            printf "  %-28s lines %6s %-8s branches %5s %s\n", $1, $8, $10, $11, $13 }'
done
