#!/bin/sh
# The kernel-pointer stage, in a guest of tools/vm: udev, the modules an
# absolute pointer needs, then the scenarios in the sandbox with the guest's
# own /dev. Artefacts go to the shared folder.
set -e
sh tools/vm/guest-setup.sh
python3 tests/e2e/sandbox.py --build "${1:-build}" --guest --artifacts /vm-out/artifacts -- \
    python3 -m pytest -p no:cacheprovider -q -rs tests/vm
