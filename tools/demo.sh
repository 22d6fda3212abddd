#!/bin/bash
# The suite's main job on a machine without a board: build, install into a
# private sandbox, and drive the programs with the board simulator.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "tools/demo.sh: run this as root (it installs packages and uses namespaces):" \
       "su -c tools/demo.sh, or sudo tools/demo.sh" >&2
  exit 1
fi
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
exec /usr/bin/python3 tests/e2e/sandbox.py --build build -- /usr/bin/python3 tools/demo.py
