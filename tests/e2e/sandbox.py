#!/usr/bin/python3
"""Run a command inside a private sandbox with the suite installed.

    sandbox.py --build BUILD_DIR [--artifacts DIR] [--no-install] [--private-etc-var] -- COMMAND...

The command runs in its own mount and network namespaces. Inside:
  /usr   an overlay over the host's /usr: the install goes there, and the
         suite's fixed directories under /usr/share and /usr/local are private;
  /tmp   a fresh tmpfs (lock files, X sockets); only the source, build and
         artifacts directories, where they lie under the host's /tmp, are
         bound back at their own paths;
  /dev   a fresh tmpfs with the usual character devices and a new devpts
         instance, so the board simulator can put its pty at /dev/ttyUSB0;
  lo     up, and nothing else: 127.0.0.1:10000 belongs to this sandbox alone;
  /etc, /var  with --private-etc-var, overlays like /usr, so that dpkg can
         install and remove packages without touching the host's database.
The host's files are never written, and sandboxes run side by side without
seeing each other. Test code finds E2E_SANDBOX=1, E2E_SOURCE, E2E_BUILD and
E2E_ARTIFACTS in its environment; the programs under test read none of them.
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.realpath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
STAGE = "/mnt"          # covered by a private tmpfs inside the namespace
HOST_TMP = os.path.join(STAGE, "host-tmp")
HOST_DEVICES = ("null", "zero", "full", "random", "urandom", "tty")


def run(*cmd):
    subprocess.run(cmd, check=True)


def mount(fstype, source, target, options=None):
    cmd = ["mount", "-t", fstype]
    if options:
        cmd += ["-o", options]
    run(*cmd, source, target)


def private_overlay(stage, path):
    """A writable copy of the host's directory path: writes land in the stage."""
    name = path.strip("/")
    upper, work = os.path.join(stage, f"{name}-upper"), os.path.join(stage, f"{name}-work")
    os.makedirs(upper)
    os.makedirs(work)
    mount("overlay", f"sandbox-{name}", path,
          f"lowerdir={path},upperdir={upper},workdir={work}")


def private_dev(stage):
    dev = os.path.join(stage, "dev")
    os.makedirs(dev)
    mount("tmpfs", "sandbox-dev", dev, "mode=755")
    for name in HOST_DEVICES:
        node = os.path.join(dev, name)
        open(node, "w").close()
        run("mount", "--bind", f"/dev/{name}", node)
    os.makedirs(os.path.join(dev, "pts"))
    os.makedirs(os.path.join(dev, "shm"))
    mount("devpts", "sandbox-pts", os.path.join(dev, "pts"),
          "newinstance,ptmxmode=0666,mode=620")
    os.symlink("pts/ptmx", os.path.join(dev, "ptmx"))
    for name, target in (("fd", "/proc/self/fd"), ("stdin", "/proc/self/fd/0"),
                         ("stdout", "/proc/self/fd/1"), ("stderr", "/proc/self/fd/2")):
        os.symlink(target, os.path.join(dev, name))
    run("mount", "--move", dev, "/dev")
    mount("tmpfs", "sandbox-shm", "/dev/shm", "mode=1777")


def under_tmp(paths):
    """The paths that lie under /tmp, without those inside another of them."""
    kept = []
    for path in sorted(set(paths)):
        if os.path.commonpath([path, "/tmp"]) == "/tmp" and path != "/tmp" and \
                not any(os.path.commonpath([path, k]) == k for k in kept):
            kept.append(path)
    return kept


def private_tmp(keep):
    """A fresh /tmp in which only the directories keep (host paths under /tmp)
    are still there, bound from a handle taken before /tmp is covered."""
    if keep:
        os.makedirs(HOST_TMP)
        run("mount", "--rbind", "/tmp", HOST_TMP)
    mount("tmpfs", "sandbox-tmp", "/tmp", "mode=1777")
    for path in keep:
        os.makedirs(path)
        run("mount", "--rbind", os.path.join(HOST_TMP, os.path.relpath(path, "/tmp")), path)
    if keep:
        # The rest of the host's /tmp must stay out of reach.
        run("umount", "--recursive", HOST_TMP)
        os.rmdir(HOST_TMP)


def inside(args):
    run("mount", "--make-rprivate", "/")
    mount("tmpfs", "sandbox-stage", STAGE, "mode=755")
    private_overlay(STAGE, "/usr")
    if args.private_etc_var:
        private_overlay(STAGE, "/etc")
        private_overlay(STAGE, "/var")
    # Install before /tmp is covered, in case the build lives there.
    if not args.no_install:
        subprocess.run(["cmake", "--install", args.build], check=True, stdout=subprocess.DEVNULL)
    private_tmp(under_tmp([SOURCE, args.build, args.artifacts]))
    if not args.guest:
        private_dev(STAGE)
    run("ip", "link", "set", "lo", "up")

    env = dict(os.environ, E2E_SANDBOX="1", E2E_SOURCE=SOURCE,
               E2E_BUILD=args.build, E2E_ARTIFACTS=args.artifacts)
    env.pop("DISPLAY", None)  # the host's display is not reachable from here
    os.chdir(SOURCE)
    os.execvpe(args.command[0], args.command, env)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="CMake build directory to install")
    parser.add_argument("--artifacts", default=None,
                        help="host directory for screenshots and logs (default BUILD/e2e-artifacts)")
    parser.add_argument("--no-install", action="store_true",
                        help="leave the suite uninstalled (unit tests)")
    parser.add_argument("--private-etc-var", action="store_true",
                        help="make /etc and /var private overlays too (package installs)")
    parser.add_argument("--guest", action="store_true",
                        help="in a throwaway guest of tools/vm: keep its /dev (/dev/uinput "
                             "and the input devices it makes) and its network, where udev "
                             "announces those devices")
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    if args.command[:1] == ["--"]:
        args.command = args.command[1:]
    if not args.command:
        parser.error("no command given")
    if args.artifacts is None:
        args.artifacts = os.path.join(args.build, "e2e-artifacts")

    if args.inside:
        inside(args)
        return 0
    if os.geteuid() != 0:
        sys.exit("sandbox.py: needs root (mount and network namespaces)")
    os.makedirs(args.artifacts, exist_ok=True)
    # --kill-child: nothing the scenario started outlives the sandbox.
    cmd = ["unshare", "--mount", *([] if args.guest else ["--net"]), "--pid", "--fork",
           "--kill-child", "--mount-proc",
           sys.executable, os.path.abspath(__file__), "--inside",
           # Real paths: a link under /tmp would not survive the fresh /tmp.
           "--build", os.path.realpath(args.build),
           "--artifacts", os.path.realpath(args.artifacts),
           *(["--no-install"] if args.no_install else []),
           *(["--private-etc-var"] if args.private_etc_var else []),
           *(["--guest"] if args.guest else []), "--", *args.command]
    return subprocess.call(cmd)


if __name__ == "__main__":
    sys.exit(main())
