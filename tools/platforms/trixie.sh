#!/bin/bash
# Debian 13 (trixie): a fresh root made with mmdebstrap from Debian's archive,
# in which
#   1. the amd64 packages built here install with apt, and the main job runs
#      from them (Xvfb, the board simulator, the demo whiteboard);
#   2. the suite builds natively (Debian 13's compiler and libraries) and its
#      unit tests pass.
#     sudo tools/platforms/trixie.sh [BUILD]
# BUILD (default build) holds the packages (cpack -G DEB); the root, the logs
# and the screenshot go to BUILD/trixie. The base root is kept there as a
# tarball, so a second run downloads only the packages' dependencies and the
# build's.
set -euo pipefail
cd "$(dirname "$0")/../.."
source=$PWD
build=$(realpath "${1:-build}")
work=$build/trixie
mirror=http://deb.debian.org/debian
# What the main job's scripts need beside the packages: the test sandbox
# (python3, unshare and mount from util-linux, ip) and the virtual display.
base_packages=python3,python3-xlib,xvfb,imagemagick,iproute2,mount,ca-certificates
build_packages=(g++ cmake ninja-build pkg-config libgtk2.0-dev libx11-dev libxtst-dev
                libxrandr-dev libgtest-dev libgmock-dev libbenchmark-dev)

debs=()
for name in whiteboard-drivers whiteboard-demo; do
  found=$(ls "$build"/${name}_*_amd64.deb 2>/dev/null | head -n1)
  [ -n "$found" ] || { echo "trixie.sh: no $name package in $build (cpack -G DEB)" >&2; exit 1; }
  debs+=("$found")
done

mkdir -p "$work"
base=$work/base-$(echo "$base_packages" | md5sum | cut -c1-8).tar
if [ ! -s "$base" ]; then
  rm -f "$work"/base-*.tar
  mmdebstrap --variant=apt --format=tar --include="$base_packages" trixie "$base.part" "$mirror"
  mv "$base.part" "$base"
fi
root=$work/root
rm -rf "$root" "$work/out"
mkdir -p "$root" "$work/out"
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/src" "$root/out" "$root/debs"
cp "${debs[@]}" "$root/debs/"

# Runs a command in the root, in private mount and process namespaces: the
# mounts made for it vanish with it, and nothing it starts outlives it.
in_root() {
  unshare --mount --pid --fork --kill-child --propagation private /bin/bash -c '
    set -e
    root=$1 src=$2 out=$3; shift 3
    # A mount of its own, so that the sandbox inside can make / private.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs tmpfs "$root/tmp"
    mount --bind -o ro "$src" "$root/src"
    mount --bind "$out" "$root/out"
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
         LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"' \
    in_root "$root" "$source" "$work/out" "$@"
}

echo "== Debian 13: $(sed -n 's/^PRETTY_NAME=//p' "$root/etc/os-release")"
echo "== installing ${debs[*]##*/} with apt"
in_root apt-get update -q >"$work/apt.log" 2>&1
in_root sh -c 'apt-get install -y /debs/*.deb' >>"$work/apt.log" 2>&1 ||
  { tail -n 30 "$work/apt.log"; exit 1; }
tail -n 8 "$work/apt.log"
in_root dpkg-query -W -f='${Package} ${Version} ${Architecture}\n' whiteboard-drivers whiteboard-demo

echo "== the main job, from the installed packages"
in_root /usr/bin/python3 /src/tests/e2e/sandbox.py --build /out --no-install -- \
    /usr/bin/python3 /src/tools/demo.py --installed | tee "$work/main-job.log"
grep -qx "main job: OK" "$work/main-job.log"
echo "screenshot: $work/out/demo-screenshot.png"

echo "== native build with $(in_root sh -c 'apt-get install -y -q '"${build_packages[*]}"' >/dev/null 2>&1 && g++ --version | head -n1')"
in_root sh -c 'cmake -S /src -B /out/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
               cmake --build /out/native -j "$(nproc)"' >"$work/native-build.log" 2>&1 ||
  { tail -n 40 "$work/native-build.log"; exit 1; }
warnings=$(grep -Ec "warning:|CMake Warning|CMake Deprecation" "$work/native-build.log" || true)
echo "compiler and CMake warnings: $warnings (log: $work/native-build.log)"
grep -EA3 "warning:|CMake Warning|CMake Deprecation" "$work/native-build.log" | head -n 60 || true
in_root ctest --test-dir /out/native -L unit -j "$(nproc)" --output-on-failure \
    >"$work/native-unit.log" 2>&1 || { tail -n 60 "$work/native-unit.log"; exit 1; }
tail -n 3 "$work/native-unit.log"
[ "$warnings" -eq 0 ]
