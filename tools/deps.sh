#!/bin/bash
# Installs what building and testing the suite needs (Debian 12; idempotent).
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "tools/deps.sh: run this as root (it installs packages with apt-get):" \
       "su -c tools/deps.sh, or sudo tools/deps.sh" >&2
  exit 1
fi
# clang, libclang-rt-14-dev (libFuzzer and the sanitizer runtimes, only
# recommended by clang) and llvm (llvm-profdata, llvm-cov): the fuzz targets
# and their coverage report. gdb: scenarios that look into a live program.
# dpkg-dev (dpkg-shlibdeps) and file: cpack's dependency and debug-symbol
# steps; lintian: the package scenario checks both packages with it.
# x11-xserver-utils (xrandr): the scenarios that change the screen's monitors.
# qemu-system-x86, busybox-static, cpio, kmod: the guest of tools/vm, whose
# root is this machine's; udev, Xorg with the dummy and libinput drivers and
# libinput-tools, and weston with Xwayland, run in that guest; python3-evdev
# reads the kernel's events for bench/kernel_path.sh.
# The i386 cross compiler and the i386 libraries, beside the amd64 ones
# (multiarch): the suite as 32-bit programs (cmake/i386-toolchain.cmake).
# mmdebstrap: the Debian 13 root of tools/platforms/trixie.sh.
PACKAGES=(g++ cmake ninja-build pkg-config libgtk2.0-dev libx11-dev libxtst-dev
          libgtest-dev libgmock-dev libbenchmark-dev xvfb xdotool x11-utils imagemagick
          python3 python3-pytest python3-xlib iproute2 util-linux mount openbox
          clang libclang-rt-14-dev llvm gdb dpkg-dev file lintian libxrandr-dev x11-xserver-utils
          qemu-system-x86 busybox-static cpio kmod udev xserver-xorg-core xserver-xorg-video-dummy
          xserver-xorg-input-libinput libinput-tools python3-evdev weston xwayland
          g++-i686-linux-gnu libgtk2.0-dev:i386 libx11-dev:i386 libxtst-dev:i386
          libxrandr-dev:i386 libgtest-dev:i386 libgmock-dev:i386 libbenchmark-dev:i386
          mmdebstrap)
# A mirror caught mid-sync fails one index now and then; the others still
# serve, and the install below says if something is really missing.
update() { apt-get update || { sleep 10; apt-get update; } || true; }
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  update
fi
# The guest of tools/vm downloads Debian's kernel even when every package
# here is installed: it needs the package lists, which a trimmed image (or an
# update from an empty source list) leaves without.
compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null || update
# When the mirror lacks an i386 update index, an i386 library comes only at
# its release's version while its amd64 twin is an update; multiarch wants
# both at one version, so both take the release's (name:amd64=V name:i386=V).
aligned_pairs() {
  local codename pkg version
  codename=$(. /etc/os-release; echo "$VERSION_CODENAME")
  for pkg in $(apt-get install -s -t "$codename" "$@" 2>&1 |
               sed -n 's/.*Depends: \([^ ]*\):i386 .*not going to be installed.*/\1/p' | sort -u); do
    version=$(apt-cache policy "$pkg:i386" | sed -n 's/^ *Candidate: //p')
    echo "$pkg:amd64=$version $pkg:i386=$version"
  done
}
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y "${missing[@]}" || { update; apt-get install -y "${missing[@]}"; } ||
    apt-get install -y --allow-downgrades -t "$(. /etc/os-release; echo "$VERSION_CODENAME")" \
      "${missing[@]}" $(aligned_pairs "${missing[@]}")
fi
