#!/bin/bash
# Installs what building and testing the suite needs (Debian 12; idempotent).
set -euo pipefail
PACKAGES=(g++ cmake ninja-build pkg-config libgtk2.0-dev libx11-dev libxtst-dev
          libgtest-dev libgmock-dev libbenchmark-dev xvfb xdotool x11-utils imagemagick
          python3 python3-pytest python3-xlib iproute2 util-linux openbox)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y "${missing[@]}" || { apt-get update && apt-get install -y "${missing[@]}"; }
fi
