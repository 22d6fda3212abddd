"""Stub launchers that record their starts, in place of the installed ones.

The paths are written out here rather than read from Share/store/paths.h, so that a
wrong path in the programs is caught instead of followed.
"""
import os
import re
import shutil
import stat
import subprocess
import tempfile
import time
from dataclasses import dataclass

from plugin_sandbox import require_sandbox

WHITEBOARD_LAUNCHER = "/usr/share/Slatrix_Software/run"
ORIENT_LAUNCHER = "/usr/local/Slatrix_QM_RV_Drivers/run_Orient"
LAUNCHER_PATHS = (WHITEBOARD_LAUNCHER, ORIENT_LAUNCHER)

# The stub is a small program rather than a script: a script never sees its
# argument zero (the kernel hands it its path instead).
_STUB_SOURCE = r"""
#include <limits.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>
int main(int argc, char** argv) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n < 0) return 1;
    self[n] = '\0';
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    FILE* f = fopen(RECORD, "a");
    if (!f) return 1;
    fprintf(f, "%s argv0=%s args=", self, argv[0]);
    for (int i = 1; i < argc; ++i) fprintf(f, i > 1 ? " %s" : "%s", argv[i]);
    fprintf(f, " pid=%d t=%ld.%09ld\n", (int)getpid(), (long)now.tv_sec, now.tv_nsec);
    return fclose(f) != 0;
}
"""


def _build_stub(record_file):
    """Compiles the stub for one record file; the binary's path."""
    workdir = tempfile.mkdtemp(prefix="e2e-stub-", dir="/tmp")
    source = os.path.join(workdir, "stub.c")
    with open(source, "w") as f:
        f.write(_STUB_SOURCE)
    binary = os.path.join(workdir, "stub")
    subprocess.run(["cc", "-O", f'-DRECORD="{record_file}"', "-o", binary, source], check=True)
    return binary

_LINE = re.compile(r"^(?P<path>\S+) argv0=(?P<argv0>.*?) args=(?P<args>.*) "
                   r"pid=(?P<pid>\d+) t=(?P<time>\d+\.\d+)$")


@dataclass(frozen=True)
class LauncherStart:
    path: str        # the stub that ran
    argv0: str
    args: str        # the arguments joined by single spaces, as "$*"
    pid: int
    time: float      # wall-clock seconds


def started(record_file):
    """The starts recorded so far, in order."""
    try:
        with open(record_file) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return []
    starts = []
    for line in lines:
        match = _LINE.match(line)
        if not match:
            raise ValueError(f"{record_file}: unexpected line {line!r}")
        starts.append(LauncherStart(match["path"], match["argv0"], match["args"],
                                    int(match["pid"]), float(match["time"])))
    return starts


@dataclass
class _Original:
    created_dirs: list      # directories made for the stub, outermost first
    link: str = None        # target, if the path was a symbolic link
    data: bytes = None      # content, if it was a file
    mode: int = None


class StubLaunchers:
    def __init__(self, record_file, paths=LAUNCHER_PATHS):
        self.record_file = record_file
        self.paths = tuple(paths)
        self._originals = {}

    def install(self):
        require_sandbox("install_stub_launchers")
        try:
            stub = _build_stub(self.record_file)
            for path in self.paths:
                self._originals[path] = self._save(path)
                if os.path.lexists(path):
                    os.remove(path)
                shutil.copy(stub, path)
                os.chmod(path, 0o755)
        except BaseException:
            self.restore()
            raise
        return self

    @staticmethod
    def _save(path):
        created = []
        parent = os.path.dirname(path)
        while not os.path.isdir(parent):
            created.insert(0, parent)
            parent = os.path.dirname(parent)
        for directory in created:
            os.mkdir(directory)
        original = _Original(created)
        if os.path.islink(path):
            original.link = os.readlink(path)
        elif os.path.exists(path):
            with open(path, "rb") as f:
                original.data = f.read()
            original.mode = stat.S_IMODE(os.stat(path).st_mode)
        return original

    def restore(self):
        """Puts back what was at each path, and removes the directories made for the stubs."""
        failures = []
        while self._originals:
            path, original = self._originals.popitem()
            try:
                self._put_back(path, original)
            except OSError as exc:
                failures.append(f"{path}: {exc}")
        if failures:
            raise OSError("stub launchers not fully restored: " + "; ".join(failures))

    @staticmethod
    def _put_back(path, original):
        if os.path.lexists(path):
            os.remove(path)
        if original.link is not None:
            os.symlink(original.link, path)
        elif original.data is not None:
            with open(path, "wb") as f:
                f.write(original.data)
            os.chmod(path, original.mode)
        for directory in reversed(original.created_dirs):
            os.rmdir(directory)

    def started(self):
        return started(self.record_file)

    def wait_started(self, path, timeout, count=1):
        """The starts of `path` once there are at least `count`, or None."""
        deadline = time.monotonic() + timeout
        while True:
            starts = [s for s in self.started() if s.path == path]
            if len(starts) >= count:
                return starts
            if time.monotonic() > deadline:
                return None
            time.sleep(0.05)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.restore()


def install_stub_launchers(record_file, paths=LAUNCHER_PATHS):
    """Installs recording stubs at `paths`; restore() (or leaving the `with`) undoes it."""
    return StubLaunchers(record_file, paths).install()
