#!/usr/bin/python3
"""Host-side check of the sandbox: three sandboxes run at once, each sees only
its own fixed files, lock files, device and UDP port, and the host keeps
exactly what it had. Their artifacts directory lies under the host's /tmp, one
runs from a source tree there and one from a build directory there: those stay
reachable inside, while the rest of the host's /tmp is out of sight.

    sandbox_selftest.py BUILD_DIR
"""
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
WATCHED = ["/usr/share/RivarAzazuva", "/usr/local/Slatrix_QM_RV_Drivers", "/usr/share/Slatrix",
           "/usr/share/Slatrix_Software", "/dev/ttyUSB0"]

# Runs inside each sandbox: claims every fixed place with its own tag, waits
# until the other sandbox has done the same, then checks nothing changed hands.
SCENARIO = r'''
import os, socket, sys, time
tag, tags, host_tmp = sys.argv[1], sys.argv[2].split(","), sys.argv[3]
# The host's /tmp: only the directories the sandbox was given are there.
assert os.getcwd() == os.environ["E2E_SOURCE"], os.getcwd()
assert os.path.isfile("tests/e2e/sandbox.py")
assert os.path.isfile(os.path.join(os.environ["E2E_BUILD"], "CMakeCache.txt"))
assert not os.path.exists(os.path.join(host_tmp, "host-only"))
# Nor through the sandbox's stage, where the host's /tmp was held for a moment.
stray = [d for d, _, files in os.walk("/mnt") if "host-only" in files]
assert not stray, stray
given = [os.environ[k] for k in ("E2E_SOURCE", "E2E_BUILD", "E2E_ARTIFACTS")]
tops = {p.split("/")[2] for p in given if p.startswith("/tmp/")}
assert sorted(os.listdir("/tmp")) == sorted(tops), os.listdir("/tmp")
beside = {p[len(host_tmp) + 1:].split("/")[0] for p in given if p.startswith(host_tmp + "/")}
assert sorted(os.listdir(host_tmp)) == sorted(beside), os.listdir(host_tmp)
paths = ["/usr/share/RivarAzazuva/QMRV/config.ini", "/tmp/Quilld.mux", "/tmp/Zuraze.mux",
         "/usr/local/Slatrix_QM_RV_Drivers/run_Orient", "/usr/share/Slatrix/QMRV/.core.slx"]
for p in paths:
    os.makedirs(os.path.dirname(p), exist_ok=True)
    with open(p, "w") as f:
        f.write(tag)
os.symlink("/dev/null", "/dev/ttyUSB0")
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind(("127.0.0.1", 10000))   # fails if the other sandbox's port were visible
with open(os.path.join(os.environ["E2E_ARTIFACTS"], tag + ".ready"), "w"):
    pass
deadline = time.time() + 30
for other in tags:
    while not os.path.exists(os.path.join(os.environ["E2E_ARTIFACTS"], other + ".ready")):
        if time.time() > deadline:
            sys.exit(f"sandbox {other} never came up")
        time.sleep(0.05)
time.sleep(0.5)
for p in paths:
    with open(p) as f:
        assert f.read() == tag, p
print("sandbox", tag, "kept its own files")
'''


def snapshot():
    """Names, kinds and content digests of everything the suite could touch."""
    state = {}
    for root in WATCHED + glob.glob("/tmp/*.mux"):
        if not os.path.lexists(root):
            state[root] = None
            continue
        for dirpath, dirs, files in os.walk(root) if os.path.isdir(root) else [("", [], [root])]:
            for name in dirs + files:
                path = os.path.join(dirpath, name)
                if os.path.isfile(path) and not os.path.islink(path):
                    with open(path, "rb") as f:
                        state[path] = hashlib.sha256(f.read()).hexdigest()
                else:
                    state[path] = "dir" if os.path.isdir(path) else "other"
    state["/tmp/*.mux"] = sorted(glob.glob("/tmp/*.mux"))
    return state


def placements(build, host_tmp):
    """Where each sandbox's source and build directory lie: as given, a source
    tree under the host's /tmp, and a build directory under it."""
    source = os.path.join(host_tmp, "source")
    os.makedirs(os.path.join(source, "tests"))
    shutil.copytree(HERE, os.path.join(source, "tests", "e2e"),
                    ignore=shutil.ignore_patterns("__pycache__"))
    tmp_build = os.path.join(host_tmp, "build")
    os.makedirs(tmp_build)
    shutil.copy(os.path.join(build, "CMakeCache.txt"), tmp_build)
    return {"a": (HERE, build, []),
            "b": (os.path.join(source, "tests", "e2e"), build, []),
            "c": (HERE, tmp_build, ["--no-install"])}


def main():
    build = os.path.abspath(sys.argv[1])
    # Planted beside the sandboxes' directories: no sandbox may see it.
    host_tmp = tempfile.mkdtemp(prefix="sandbox-selftest-", dir="/tmp")
    with open(os.path.join(host_tmp, "host-only"), "w") as f:
        f.write("the host's own file\n")
    artifacts = os.path.join(host_tmp, "artifacts")
    try:
        return check(host_tmp, artifacts, placements(build, host_tmp))
    finally:
        shutil.rmtree(host_tmp)


def check(host_tmp, artifacts, runs_from):
    before = snapshot()
    runs = {}
    for tag, (sandbox_dir, run_build, options) in runs_from.items():
        cmd = [sys.executable, os.path.join(sandbox_dir, "sandbox.py"), "--build", run_build,
               "--artifacts", artifacts, *options, "--", sys.executable, "-c", SCENARIO, tag,
               ",".join(runs_from), host_tmp]
        runs[tag] = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    failed = False
    for tag, proc in runs.items():
        out, _ = proc.communicate(timeout=120)
        print(out, end="")
        if proc.returncode != 0:
            print(f"sandbox {tag} failed with status {proc.returncode}")
            failed = True
    after = snapshot()
    if before != after:
        changed = sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))
        print("host changed:", changed)
        failed = True
    else:
        print("host unchanged:", ", ".join(WATCHED), "/tmp/*.mux")
    # Written inside through the bound artifacts directory, so on the host too.
    missing = [t for t in runs if not os.path.exists(os.path.join(artifacts, t + ".ready"))]
    if missing:
        print("not written through to the host's /tmp:", missing)
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
