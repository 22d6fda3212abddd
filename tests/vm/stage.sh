#!/bin/sh
# The kernel-pointer stage, in a guest of tools/vm: udev, the modules an
# absolute pointer needs, then the scenarios in the sandbox with the guest's
# own /dev. Artefacts go to the shared folder.
set -e
/lib/systemd/systemd-udevd --daemon
modprobe uinput
modprobe evdev
udevadm trigger --action=add
udevadm settle --timeout=30
python3 tests/e2e/sandbox.py --build "${1:-build}" --guest --artifacts /vm-out/artifacts -- \
    python3 -m pytest -p no:cacheprovider -q -rs tests/vm
