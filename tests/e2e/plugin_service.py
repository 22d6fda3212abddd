"""Fixtures for scenarios with the installed programs: the configuration file
and a running program whose output is followed line by line.

    def test_x(config, quilld, board):
        config.write("[coordinate]\\ndotNum=4\\n...")
        service = quilld()              # started on the xserver fixture's display
        service.wait_line("pid=")
"""
import os
import re
import signal as signals
import subprocess
import threading
import time

import pytest

from plugin_sandbox import require_sandbox

CONFIG_FILE = "/usr/share/RivarAzazuva/QMRV/config.ini"
QUILLD = "/usr/local/Slatrix_QM_RV_Drivers/Quilld"
QUILLD_COMPACT = "/usr/local/Slatrix_QM_RV_Drivers/Quilld-compact"
# Both builds of the service, for scenarios whose behaviour they share.
SERVICE_PROGRAMS = [pytest.param(QUILLD, id="Quilld"),
                    pytest.param(QUILLD_COMPACT, id="compact")]
LOCK_FILES = ["/tmp/Quilld.mux", "/tmp/Zuraze.mux", "/tmp/Edgetab.mux"]


class Config:
    """The shared configuration file, read the way the suite's store reads it."""

    path = CONFIG_FILE

    def write(self, text):
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        with open(self.path, "w") as f:
            f.write(text)
        os.chmod(self.path, 0o777)

    def read(self):
        try:
            with open(self.path) as f:
                return f.read()
        except FileNotFoundError:
            return None

    def get(self, section, key):
        """The value of the first line `key=` in the first section that has it."""
        text = self.read() or ""
        current = None
        for line in re.split(r"[\r\n]", text):
            if line.startswith("["):
                current = line[1:].split("]", 1)[0]
            elif current == section and "=" in line and not line.startswith(";"):
                k, v = line.split("=", 1)
                if k == key:
                    return v
        return None

    def registry(self, program):
        value = self.get("PID", program)
        return None if value is None else int(value)

    def calibration(self, points):
        """A "coordinate" section for a list of board points in target order."""
        lines = [f"dotNum={len(points)}"]
        for i, (x, y) in enumerate(points):
            lines += [f"dotX{i}={x}", f"dotY{i}={y}"]
        return "[coordinate]\n" + "\n".join(lines) + "\n"


def section_text(text, name):
    """Header and body of one section, byte for byte."""
    start = text.index(f"[{name}]")
    end = text.find("\n[", start + 1)
    return text[start:] if end < 0 else text[start:end + 1]


class Program:
    """A started program: its output lines with the time each arrived."""

    def __init__(self, argv, env, expect_stderr=False):
        self.argv = argv
        self.expect_stderr = expect_stderr
        self._lines = []
        self._stderr = []
        self._changed = threading.Condition()
        self.proc = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self._readers = [threading.Thread(target=self._follow, args=(self.proc.stdout, self._lines),
                                          daemon=True),
                         threading.Thread(target=self._follow, args=(self.proc.stderr, self._stderr),
                                          daemon=True)]
        for t in self._readers:
            t.start()

    def _follow(self, stream, into):
        for raw in iter(stream.readline, b""):
            with self._changed:
                into.append((time.monotonic(), raw.decode(errors="replace")))
                self._changed.notify_all()
        with self._changed:
            self._changed.notify_all()

    @property
    def pid(self):
        return self.proc.pid

    def lines(self):
        with self._changed:
            return [text for _, text in self._lines]

    def timed_lines(self):
        with self._changed:
            return list(self._lines)

    def output(self):
        return "".join(self.lines())

    def stderr(self):
        with self._changed:
            return "".join(text for _, text in self._stderr)

    def count(self, text):
        return sum(1 for line in self.lines() if text in line)

    def wait_line(self, pattern, timeout=10, since=0):
        """The first line from index `since` on that contains `pattern` (a
        string, or a compiled regex to search), with its arrival time; None on
        timeout."""
        match = pattern.search if hasattr(pattern, "search") else (lambda s: pattern in s)
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                for t, text in self._lines[since:]:
                    if match(text):
                        return t, text
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return None
                self._changed.wait(remaining)

    def wait_count(self, pattern, n, timeout=10):
        deadline = time.monotonic() + timeout
        with self._changed:
            while self.count(pattern) < n:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return False
                self._changed.wait(remaining)
            return True

    def send(self, sig):
        self.proc.send_signal(sig)

    def wait_pid_line(self, timeout=10):
        """The start-up line with the own process id, in either build's form
        ("pid=%s" or the bare number); None on timeout."""
        return self.wait_line(re.compile(r"^(pid=)?%d$" % self.pid), timeout)

    def wait_exit(self, timeout=10):
        """The exit status, or None when still running after timeout."""
        try:
            status = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        for t in self._readers:
            t.join(5)
        return status

    def stop(self, sig=signals.SIGTERM, timeout=10):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        status = self.wait_exit(timeout)
        if status is None:
            self.proc.kill()
            status = self.wait_exit(timeout)
        return status


# What the sanitizer runtimes print when a sanitizer build finds a fault.
SANITIZER_REPORTS = re.compile(r"ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer|"
                               r"runtime error:|SUMMARY: \w+Sanitizer")


def sanitizer_report(text):
    """Whether a program's standard error holds a sanitizer's fault report,
    which fails a test even where other output on it is expected."""
    return SANITIZER_REPORTS.search(text) is not None


@pytest.fixture
def config():
    """The configuration file, empty at the start of the test; lock files gone."""
    require_sandbox("config")
    cfg = Config()
    cfg.write("")
    for lock in LOCK_FILES:
        if os.path.lexists(lock):
            os.unlink(lock)
    return cfg


@pytest.fixture
def start_program(artifacts):
    """start_program(argv, env=..., expect_stderr=False) -> Program; every
    program still running at the end is stopped, its output saved in the
    artefacts, and an unexpected line on its standard error fails the test."""
    require_sandbox("start_program")
    started = []

    def start(argv, env=None, expect_stderr=False):
        program = Program(argv, env if env is not None else dict(os.environ),
                          expect_stderr=expect_stderr)
        started.append(program)
        return program

    yield start
    problems = []
    for i, program in enumerate(started):
        program.stop()
        name = f"{os.path.basename(program.argv[0])}-{i}"
        with open(os.path.join(artifacts, name + ".out"), "w") as f:
            f.write(program.output())
        if program.stderr():
            with open(os.path.join(artifacts, name + ".err"), "w") as f:
                f.write(program.stderr())
            if not program.expect_stderr or sanitizer_report(program.stderr()):
                problems.append(f"{name} wrote to stderr: {program.stderr()!r}")
    if problems:
        pytest.fail("; ".join(problems), pytrace=False)


@pytest.fixture
def quilld(xserver, config, start_program):
    """quilld(program=QUILLD, **kw) starts an installed service build on the
    xserver's display. start_program comes last so that the programs stop
    before the X server."""

    def start(env=None, program=QUILLD, **kw):
        return start_program([program], env=env if env is not None else xserver.env(), **kw)

    return start
