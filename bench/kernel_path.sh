#!/bin/sh
# The service at the board's full line rate in a real kernel, through its
# kernel device and then through XTest, side by side (Xorg with libinput):
#   sudo /usr/bin/python3 tools/vm/vm.py -- sh bench/kernel_path.sh [build] [seconds]
set -e
build=${1:-build}
seconds=${2:-10}
sh tools/vm/guest-setup.sh
run() {
    python3 tests/e2e/sandbox.py --build "$build" --guest -- \
        python3 bench/line_rate.py --xorg --seconds "$seconds"
}
echo "== through the kernel device"
run
mv /dev/uinput /dev/uinput.away
echo "== through XTest"
run
