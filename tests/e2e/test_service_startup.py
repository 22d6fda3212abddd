"""The service starting and stopping: its registry entry, its lock, the X
display it needs, and the tools it stops when it starts."""
import errno
import fcntl
import os
import shutil
import signal
import subprocess

import pytest

from plugin_sandbox import own_file_at
from plugin_service import QUILLD
from plugin_tools import DUPWARN
from steps_service import started_up
from waiting import GRACE, WAIT, wait_until
from xfixture import Xvfb

LOCK_FILE = "/tmp/Quilld.mux"
LOCK_MESSAGE = f"LOG_ERR Can not lock {LOCK_FILE}:{os.strerror(errno.EWOULDBLOCK)}"
STOPPING_SIGNALS = [signal.SIGTERM, signal.SIGINT]


def lock_is_free():
    fd = os.open(LOCK_FILE, os.O_RDONLY)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return True
    except BlockingIOError:
        return False
    finally:
        os.close(fd)


def env_without_display():
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    return env


# A stand-in for the warning program: a real executable, so that argument
# zero arrives as the service passed it (a script would only see its path).
DUPWARN_STUB = r"""
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    sigset_t blocked;
    struct sigaction chld;
    int nblocked = 0;
    sigprocmask(SIG_BLOCK, NULL, &blocked);
    for (int s = 1; s < NSIG; ++s) nblocked += sigismember(&blocked, s) == 1;
    sigaction(SIGCHLD, NULL, &chld);
    FILE* f = fopen("@RECORD@", "w");
    if (!f) return 2;
    fprintf(f, "%s\n%d\n%d\n%d\n%d\n", argv[0], argc, (int)getpid(), nblocked,
            chld.sa_handler == SIG_DFL);
    fclose(f);
    return 7;
}
"""
DUPWARN_STUB_STATUS = 7


def install_dupwarn_stub(path, record):
    result = subprocess.run(["cc", "-x", "c", "-o", path, "-"],
                            input=DUPWARN_STUB.replace("@RECORD@", record),
                            capture_output=True, text=True)
    assert result.returncode == 0, f"cannot build the Dupwarn stand-in: {result.stderr}"


# ---------------------------------------------------------------- registry and lock

@pytest.mark.parametrize("stop_signal", STOPPING_SIGNALS, ids=lambda s: s.name)
def test_registry_holds_pid_while_running_and_stop_frees_entry_and_lock(
        config, quilld, board, stop_signal):
    service = quilld()
    assert started_up(service, board)
    assert f"pid={service.pid}\n" in service.lines()
    assert wait_until(lambda: config.registry("Quilld") == service.pid)

    assert service.stop(stop_signal) == 0
    assert config.registry("Quilld") == -1
    assert lock_is_free()

    successor = quilld()
    assert started_up(successor, board)
    assert successor.wait_exit(GRACE) is None, successor.output()
    assert wait_until(lambda: config.registry("Quilld") == successor.pid)


def test_second_instance_reports_the_lock_and_exits_1_without_dupwarn(config, quilld, board):
    first = quilld()
    assert started_up(first, board)
    assert wait_until(lambda: config.registry("Quilld") == first.pid)

    with own_file_at(DUPWARN):
        second = quilld()
        assert second.wait_exit(WAIT) == 1
    assert second.output() == "Board Service running\n" + LOCK_MESSAGE
    assert first.wait_exit(GRACE) is None, "the first instance must keep running"
    assert config.registry("Quilld") == first.pid


def test_second_instance_turns_into_dupwarn(config, quilld, board, tmp_path):
    first = quilld()
    assert started_up(first, board)
    assert wait_until(lambda: config.registry("Quilld") == first.pid)

    record = str(tmp_path / "dupwarn-started")
    with own_file_at(DUPWARN):
        install_dupwarn_stub(DUPWARN, record)
        second = quilld()
        assert second.wait_exit(WAIT) == DUPWARN_STUB_STATUS
    assert second.output() == "Board Service running\n" + LOCK_MESSAGE

    with open(record) as f:
        argv0, argc, pid, blocked, sigchld_default = f.read().split("\n")[:5]
    assert (argv0, argc, int(pid)) == ("Dupwarn", "1", second.pid)
    assert (blocked, sigchld_default) == ("0", "1"), "Dupwarn must start as a fresh program"
    assert first.wait_exit(GRACE) is None
    assert config.registry("Quilld") == first.pid


# ---------------------------------------------------------------- the X display

def test_start_without_display_explains_and_exits_1(config, start_program):
    service = start_program([QUILLD], env=env_without_display(), expect_stderr=True)
    assert service.wait_exit(WAIT) == 1
    assert service.lines() == ["Board Service running\n", f"pid={service.pid}\n",
                               "env_display == NULL exit 1\n"]
    assert service.stderr() == "Slatrix Server must run under X window"
    assert config.registry("Quilld") == -1


# No X server listens on display 57 of the sandbox: neither on TCP nor locally.
@pytest.mark.parametrize("display", ["127.0.0.1:57", ":57"], ids=["tcp", "local"])
def test_start_with_unreachable_display_exits_0_silently(config, start_program, display):
    service = start_program([QUILLD], env=dict(env_without_display(), DISPLAY=display))
    assert service.wait_exit(WAIT) == 0
    assert service.lines() == ["Board Service running\n", f"pid={service.pid}\n"]
    assert config.registry("Quilld") == -1


def stop_by_signal(service, board):
    service.send(signal.SIGTERM)


def touch_the_board(service, board):
    board.contact(2000, 1800, count=10)


# Whatever ends a service whose X server has gone, it cleans up on its way out.
@pytest.mark.parametrize("end, status", [(stop_by_signal, 0), (touch_the_board, 1)],
                         ids=["SIGTERM", "touch"])
def test_service_that_lost_its_x_server_still_cleans_up(config, start_program, board, end,
                                                         status):
    def threads():
        return len(os.listdir(f"/proc/{service.pid}/task"))

    with Xvfb() as own_display:
        service = start_program([QUILLD], env=own_display.env())
        assert started_up(service, board)
        assert service.wait_line("signal_usr2 called")
        watching = threads()
    # The screen watch leaves Xlib on its lost connection and ends: no thread
    # is left parked in it.
    assert wait_until(lambda: threads() == watching - 1), (watching, threads())
    end(service, board)
    assert service.wait_exit(WAIT) == status
    assert config.registry("Quilld") == -1
    assert lock_is_free()


# ---------------------------------------------------------------- tools stopped at start

class Processes:
    """Long-sleeping processes under a chosen name (/proc/<pid>/comm), ended
    at teardown."""

    def __init__(self, directory):
        self._dir = directory
        self._procs = []

    def named(self, name, own_group=False):
        path = os.path.join(self._dir, name)
        if not os.path.exists(path):
            shutil.copy("/bin/sleep", path)
        proc = subprocess.Popen([path, "600"], start_new_session=own_group)
        self._procs.append(proc)
        return proc

    def ended(self):
        proc = subprocess.Popen(["/bin/true"])
        proc.wait()
        return proc.pid

    def close(self):
        for proc in self._procs:
            if proc.poll() is None:
                proc.kill()
            proc.wait()


@pytest.fixture
def processes(tmp_path):
    procs = Processes(str(tmp_path))
    yield procs
    procs.close()


def registered_id(case, tool, processes):
    """The id to record for `tool` in each case, and the process that a
    wrong signal would hit (None when there is none)."""
    if case == "live tool":
        proc = processes.named(tool)
        return proc.pid, proc
    if case == "unrelated process":
        proc = processes.named("sleep")
        return proc.pid, proc
    if case == "ended process":
        return processes.ended(), None
    if case == "zero":
        # kill(0) would hit the service's own process group: see the test.
        return 0, None
    if case == "negative":
        # kill(-pgid) would hit the whole group this process leads.
        proc = processes.named(tool, own_group=True)
        return -proc.pid, proc
    raise ValueError(case)


# What the start-up prints for a recorded id, and whether it stops the process.
EXPECTED = {
    "live tool": ("0", True),
    "unrelated process": ("-1", False),
    "ended process": ("-1", False),
    "zero": (None, False),
    "negative": (None, False),
}
TOOLS = [("Zuraze", "reO="), ("Edgetab", "reS=")]


@pytest.mark.parametrize("cases", [
    ("live tool", "unrelated process"),
    ("unrelated process", "live tool"),
    ("ended process", "zero"),
    ("zero", "negative"),
    ("negative", "ended process"),
    ("live tool", "live tool"),
], ids=lambda c: f"Zuraze {c[0]}, Edgetab {c[1]}")
def test_start_stops_running_tools_and_leaves_other_ids_alone(config, start_program, xserver,
                                                              board, processes, cases):
    recorded = {tool: registered_id(case, tool, processes)
                for (tool, _), case in zip(TOOLS, cases)}
    config.write("[PID]\n" + "".join(f"{tool}={pid}\n" for tool, (pid, _) in recorded.items()))

    # In a process group of its own (setsid keeps the process id), so that a
    # stray kill(0) would reach the service itself and not the test runner.
    service = start_program(["setsid", QUILLD], env=xserver.env())
    assert started_up(service, board)
    assert service.wait_exit(GRACE) is None, "the service must not have signalled itself"

    for (tool, prefix), case in zip(TOOLS, cases):
        printed, stopped = EXPECTED[case]
        lines = [line for line in service.lines() if line.startswith(prefix)]
        assert lines == ([f"{prefix}{printed}\n"] if printed else []), f"{tool}: {case}"
        proc = recorded[tool][1]
        if stopped:
            assert proc.wait(WAIT) == -signal.SIGTERM, f"{tool}: {case}"
        elif proc is not None:
            with pytest.raises(subprocess.TimeoutExpired):
                proc.wait(GRACE)


def test_start_without_pid_section_registers_itself_and_signals_nobody(config, quilld, board,
                                                                       processes):
    bystanders = [processes.named("Zuraze"), processes.named("Edgetab")]
    config.write("[coordinate]\ndotNum=0\n")

    service = quilld()
    assert started_up(service, board)
    assert wait_until(lambda: config.registry("Quilld") == service.pid)
    assert config.get("coordinate", "dotNum") == "0"
    assert not [line for line in service.lines() if line.startswith(("reO=", "reS="))]
    for proc in bystanders:
        with pytest.raises(subprocess.TimeoutExpired):
            proc.wait(GRACE)


# ---------------------------------------------------------------- stopping mid-stroke

@pytest.mark.parametrize("stop_signal", STOPPING_SIGNALS, ids=lambda s: s.name)
def test_stop_during_stroke_releases_button_1(config, quilld, board, pointer, stop_signal):
    service = quilld()
    assert started_up(service, board)
    assert service.wait_line("signal_usr2 called")

    board.contact(2000, 1800, count=10)
    assert pointer.wait_press(1, WAIT) is not None
    assert service.stop(stop_signal) == 0
    assert pointer.wait_release(1, WAIT) is not None
    buttons = [(e.kind, e.button) for e in pointer.events() if e.kind != "motion"]
    assert buttons == [("press", 1), ("release", 1)]
