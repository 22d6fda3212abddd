#!/usr/bin/python3
"""Host-side check of the sandbox: two sandboxes run at once, each sees only
its own fixed files, lock files, device and UDP port, and the host keeps
exactly what it had.

    sandbox_selftest.py BUILD_DIR
"""
import glob
import hashlib
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
WATCHED = ["/usr/share/RivarAzazuva", "/usr/local/Slatrix_QM_RV_Drivers", "/usr/share/Slatrix",
           "/usr/share/Slatrix_Software", "/dev/ttyUSB0"]

# Runs inside each sandbox: claims every fixed place with its own tag, waits
# until the other sandbox has done the same, then checks nothing changed hands.
SCENARIO = r'''
import os, socket, sys, time
tag = sys.argv[1]
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
other = "b" if tag == "a" else "a"
while not os.path.exists(os.path.join(os.environ["E2E_ARTIFACTS"], other + ".ready")):
    if time.time() > deadline:
        sys.exit("the other sandbox never came up")
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


def main():
    build = os.path.abspath(sys.argv[1])
    artifacts = os.path.join(build, "e2e-artifacts", "sandbox-selftest")
    for stale in glob.glob(os.path.join(artifacts, "*.ready")):
        os.unlink(stale)
    before = snapshot()
    runs = {}
    for tag in ("a", "b"):
        cmd = [sys.executable, os.path.join(HERE, "sandbox.py"), "--build", build,
               "--artifacts", artifacts, "--", sys.executable, "-c", SCENARIO, tag]
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
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
