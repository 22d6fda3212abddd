#!/bin/bash
# Builds the fuzz targets with clang and runs each inside the test sandbox for
# a bounded time, starting from the seed corpus in fuzz/corpus. New inputs go
# to build-fuzz/fuzz-work; crashes are saved in build-fuzz/fuzz-crashes.
#
#   tools/fuzz.sh [seconds per target] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(packet_loop_fuzz tool_capture_fuzz inifile_fuzz readmsg_fuzz)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DFUZZ=ON -DBUILD_TESTING=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target fuzzers

work=$PWD/build-fuzz/fuzz-work
crashes=$PWD/build-fuzz/fuzz-crashes
mkdir -p "$crashes"
status=0
for target in "${targets[@]}"; do
    mkdir -p "$work/$target"
    log=$work/$target.log
    # The store's file limit is 16383 bytes: inputs must be able to pass it.
    max_len=4096
    [ "$target" = inifile_fuzz ] && max_len=20000
    # -close_fd_mask=1: the packet loop's trace lines would drown the stats.
    if ! /usr/bin/python3 tests/e2e/sandbox.py --build build-fuzz --no-install -- \
        "build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=$max_len \
        -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$crashes/$target-" \
        "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
        status=1
        echo "$target: FAILED, see $log and $crashes"
        tail -n 40 "$log"
        continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
    echo "$target: $runs executions in ${seconds} s, $cov, corpus $(ls "$work/$target" | wc -l) inputs, no crash"
done
exit $status
