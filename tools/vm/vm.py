#!/usr/bin/python3
"""Runs a command in a real Linux kernel: Debian's stock amd64 kernel under
QEMU's emulation (no KVM needed), with this machine's root shared read-only
over 9p and a tmpfs on top, so the guest sees every installed program and the
source and build trees, and may write anywhere without touching the host.

    sudo /usr/bin/python3 tools/vm/vm.py [--out DIR] [--timeout S] -- COMMAND...

The kernel package is downloaded with apt-get (never installed) and unpacked
into the cache (build/vm-cache). COMMAND runs as root in the guest, in the
source tree, with /dev/uinput, evdev and udev available; DIR (shared
writable, at /vm-out in the guest) receives its output in "console.log" and
whatever it writes there. The exit status is COMMAND's.
"""
import argparse
import glob
import gzip
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
# The modules the guest needs before its root is there, in load order.
EARLY_MODULES = ["virtio_pci", "9pnet_virtio", "9p", "overlay"]
GUEST_OUT = "/vm-out"


def run(*cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def kernel(cache):
    """(vmlinuz, modules directory, version), downloading and unpacking once."""
    found = glob.glob(os.path.join(cache, "kernel/boot/vmlinuz-*"))
    if not found:
        os.makedirs(cache, exist_ok=True)
        depends = subprocess.run(["apt-cache", "depends", "linux-image-amd64"],
                                 capture_output=True, text=True, check=True).stdout
        image = next(line.split(":", 1)[1].strip() for line in depends.splitlines()
                     if line.strip().startswith("Depends: linux-image-"))
        run("apt-get", "download", image, cwd=cache, stderr=subprocess.DEVNULL)
        deb = glob.glob(os.path.join(cache, image + "_*.deb"))[0]
        run("dpkg-deb", "-x", deb, os.path.join(cache, "kernel"))
        os.remove(deb)
        found = glob.glob(os.path.join(cache, "kernel/boot/vmlinuz-*"))
    vmlinuz = found[0]
    version = os.path.basename(vmlinuz)[len("vmlinuz-"):]
    root = os.path.join(cache, "kernel")
    if not os.path.exists(os.path.join(root, "lib/modules", version, "modules.dep")):
        run("depmod", "-b", root, version)
    return vmlinuz, root, version


INIT = r"""#!/bin/sh
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules.order); do insmod "/modules/$m" || echo "insmod $m failed"; done
mkdir -p /lower /upper /newroot
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000 root /lower || exec sh
mount -t tmpfs -o size=2g upper /upper
mkdir -p /upper/data /upper/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work /newroot || exec sh
mkdir -p /newroot/vm-out
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 out /newroot/vm-out
for fs in dev proc sys; do mount --move /$fs /newroot/$fs; done
exec switch_root /newroot /bin/sh /vm-out/boot.sh
"""

# Runs in the guest's own root: the usual mounts, the kernel's modules, then
# the command; its status goes back through the shared directory.
BOOT = r"""#!/bin/sh
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mkdir -p /lib/modules
ln -s {modules}/lib/modules/{version} /lib/modules/{version}
hostname vm
ip link set lo up 2>/dev/null
cd {source}
export HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
sh -c {command} > {out}/console.log 2>&1
echo $? > {out}/status
sync
busybox poweroff -f
"""


def initramfs(cache, modules_root, version):
    """A busybox initramfs that loads the early modules and mounts the root."""
    path = os.path.join(cache, f"initramfs-{version}.gz")
    if os.path.exists(path):
        return path
    with tempfile.TemporaryDirectory() as tree:
        for d in ("bin", "modules", "proc", "sys", "dev"):
            os.makedirs(os.path.join(tree, d))
        shutil.copy("/bin/busybox", os.path.join(tree, "bin/busybox"))
        for applet in ("sh", "mount", "insmod", "mkdir", "cat", "echo", "switch_root"):
            os.symlink("busybox", os.path.join(tree, "bin", applet))
        order = []
        for module in EARLY_MODULES:
            shown = subprocess.run(["modprobe", "-d", modules_root, "-S", version,
                                    "--show-depends", module],
                                   capture_output=True, text=True, check=True).stdout
            for line in shown.splitlines():
                ko = line.split()[1]
                name = os.path.basename(ko)
                if name not in order:
                    order.append(name)
                    shutil.copy(ko, os.path.join(tree, "modules", name))
        with open(os.path.join(tree, "modules.order"), "w") as f:
            f.write("\n".join(order) + "\n")
        with open(os.path.join(tree, "init"), "w") as f:
            f.write(INIT)
        os.chmod(os.path.join(tree, "init"), 0o755)
        files = subprocess.run(["find", "."], cwd=tree, capture_output=True, check=True).stdout
        archive = subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=tree,
                                 input=files, capture_output=True, check=True).stdout
    with open(path, "wb") as f:
        f.write(gzip.compress(archive))
    return path


def boot(command, out, timeout, cache, memory="2048"):
    vmlinuz, modules_root, version = kernel(cache)
    initrd = initramfs(cache, modules_root, version)
    os.makedirs(out, exist_ok=True)
    for name in ("status", "console.log"):
        if os.path.exists(os.path.join(out, name)):
            os.remove(os.path.join(out, name))
    with open(os.path.join(out, "boot.sh"), "w") as f:
        f.write(BOOT.format(modules=modules_root, version=version, source=SOURCE,
                            command=shlex.quote(" ".join(shlex.quote(c) for c in command)),
                            out=GUEST_OUT))
    qemu = ["qemu-system-x86_64", "-accel", "tcg", "-smp", "2", "-m", memory,
            "-kernel", vmlinuz, "-initrd", initrd, "-nographic", "-no-reboot",
            "-append", "console=ttyS0 quiet panic=-1 rdinit=/init",
            "-virtfs", "local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap",
            "-virtfs", f"local,path={out},mount_tag=out,security_model=none"]
    with open(os.path.join(out, "kernel.log"), "w") as log:
        subprocess.run(qemu, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                       timeout=timeout, check=False)
    try:
        with open(os.path.join(out, "status")) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return 125  # the guest never got to run the command


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(SOURCE, "build", "vm-out"))
    parser.add_argument("--cache", default=os.path.join(SOURCE, "build", "vm-cache"))
    parser.add_argument("--timeout", type=float, default=900)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    status = boot(args.command, os.path.abspath(args.out), args.timeout,
                  os.path.abspath(args.cache))
    with open(os.path.join(args.out, "console.log"), errors="replace") as f:
        sys.stdout.write(f.read())
    return status


if __name__ == "__main__":
    sys.exit(main())
