"""Fault injection: the suite under the abuse a real desk gives it. The board
is pulled out and pushed back mid-stroke, the service is flooded with its
steering signals, the tools are killed at every stage, the configuration
file is written by a tool and by a service that is started and stopped over
and over, and the service itself is killed with the pen down.

After each scenario the same four things must hold:
- the service maps a stroke to the exact pixel its calibration says;
- no button stays held: every press of a button has its release, in the
  pointer events recorded and in the X server's own button state;
- the process-id registry is right;
- no stored key was lost: the configuration file is seeded with a
  calibration, edge-key sections and an unrelated section, and compared
  afterwards (byte for byte where nothing but the registry may change).

Every scenario has the service reading the port, so strokes are sent with
redundancy and repeated until one is pressed and released (the service may
be between two reader runs); scenario 4 keeps exact packet counts for the
tools by letting no root process but the tool read the board."""
import fcntl
import os
import random
import re
import signal
import subprocess
import sys
import threading
import time
from dataclasses import dataclass

import pytest
from Xlib import X, display

from gui import WAIT, signals_of, wait_until
from plugin_service import (CONFIG_FILE, LOCK_FILES, QUILLD, QUILLD_COMPACT, SERVICE_PROGRAMS,
                            section_text)
from steps_service import (CALIBRATION, COMPACT_RESTARTED, MAPPED, MIDDLE, MIDDLE_PIXEL, RELOADED,
                           RESTARTED, seen)
from steps_tools import (KEYS, board_point, captured_point, key_point, open_key_window,
                         start_calibration, target_centres, touch_key, touch_target)

SCREEN = pytest.mark.screen(1000, 800)
QUILLD_LOCK = LOCK_FILES[0]

# Under CALIBRATION on 1000 by 800: board point -> pixel.
PIXEL = dict(MAPPED)
CORNER, OTHER = (3600, 3300), (1000, 2400)
CORNER_PIXEL, OTHER_PIXEL = PIXEL[CORNER], PIXEL[OTHER]
# A second calibration whose top-left point is the board's middle and whose
# bottom-right point is CORNER: the middle lands on the first target, the
# corner where it did. A sample mapped with a mix of both tables would land
# elsewhere.
MIDDLE_AT_TOP_LEFT = [MIDDLE, (2000, 3300), (3600, 1800), CORNER]

# What every scenario starts from: a calibration, edge keys of both lines far
# away from every stroke, and a section of someone else's.
SEED_CALIBRATION = "[coordinate]\ndotNum=4\n" + "".join(
    f"dotX{i}={x}\ndotY{i}={y}\n" for i, (x, y) in enumerate(CALIBRATION))
SEED = ("[PID]\nQuilld=-1\nZuraze=-1\nEdgetab=-1\n"
        + SEED_CALIBRATION
        + "[HOTKEY]\nkeyX0=4000\nkeyY0=4000\nkeyX13=3900\nkeyY13=4000\n"
        + "[QMEdgetab]\nQMkeyX5=4000\nQMkeyY5=4000\n"
        + "[Whiteboard]\nlastPage=17\npenColour=-3\nname=board one\n")


# ---------------------------------------------------------------- the configuration file

def with_registry(text, **ids):
    """text with the values of the given keys of section PID replaced."""
    out, section, left = [], None, dict(ids)
    for line in text.splitlines(keepends=True):
        if line.startswith("["):
            section = line[1:].split("]", 1)[0]
        elif section == "PID" and "=" in line:
            key = line.split("=", 1)[0]
            if key in left:
                line = f"{key}={left.pop(key)}\n"
        out.append(line)
    assert not left, f"no such registry keys in the seed: {left}"
    return "".join(out)


def parse_ini(text):
    """[(section, [(key, value), ...]), ...] in file order, duplicates kept."""
    sections = []
    for line in re.split(r"\r?\n", text or ""):
        if line.startswith("["):
            sections.append((line[1:].split("]", 1)[0], []))
        elif "=" in line and sections:
            key, value = line.split("=", 1)
            sections[-1][1].append((key, value))
    return sections


def section_dict(text, name):
    """The keys of section name, checking that neither the section nor a key
    of it appears twice."""
    found = [body for section, body in parse_ini(text) if section == name]
    assert len(found) == 1, f"section {name} appears {len(found)} times:\n{text}"
    keys = [k for k, _ in found[0]]
    assert len(keys) == len(set(keys)), f"a key of {name} appears twice: {keys}"
    return dict(found[0])


def replace_config(config, text):
    """Puts text in place the way the suite's store does: under an exclusive
    lock on the file, through a new file renamed over the old one, so that a
    reader sees the old text or the new one and never a half-written one."""
    with open(config.path) as current:
        fcntl.flock(current, fcntl.LOCK_EX)
        tmp = config.path + ".test"
        with open(tmp, "w") as f:
            f.write(text)
        os.chmod(tmp, 0o777)
        os.rename(tmp, config.path)


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


# ---------------------------------------------------------------- the service and the pointer

def start_service(quilld, program=QUILLD):
    """A service build started, registered and with its board identified."""
    service = quilld(program=program)
    assert service.wait_pid_line(WAIT), service.output()
    assert service.wait_line(RELOADED, WAIT), service.output()
    return service


def mapped_stroke(board, pointer, point, timeout=2 * WAIT):
    """Strokes at point, repeated until one of them is pressed and released
    (the service may be between two reader runs, or still hold the button of
    a stroke whose lift it never saw): the pixels of that press and release,
    or None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        since = len(pointer.events())
        board.contact(*point, count=10)
        board.lift(*point, count=3)
        release = pointer.wait_release(1, 1.0, since)
        if release is None:
            continue
        events = pointer.events()[since:]
        upto = events.index(release)
        presses = [e for e in events[:upto] if e.kind == "press" and e.button == 1]
        if presses:
            return (presses[-1].x, presses[-1].y), (release.x, release.y)
    return None


def expect_mapped(board, pointer, point, pixel):
    stroke = mapped_stroke(board, pointer, point)
    assert stroke == (pixel, pixel), \
        f"stroke at {point}: {stroke}; last events {seen(pointer.events()[-8:])}"


BUTTON_MASKS = X.Button1Mask | X.Button2Mask | X.Button3Mask | X.Button4Mask | X.Button5Mask


def server_buttons(xserver):
    """The button bits of the X server's pointer state."""
    dpy = display.Display(xserver.display)
    try:
        return dpy.screen().root.query_pointer().mask & BUTTON_MASKS
    finally:
        dpy.close()


def assert_no_button_held(pointer, xserver):
    """Every press recorded has its release before the same button is
    pressed again, none is left down, and the server agrees."""
    down, faults = set(), []
    for i, e in enumerate(pointer.events()):
        if e.kind == "press":
            if e.button in down:
                faults.append(f"event {i}: button {e.button} pressed again at ({e.x}, {e.y})")
            down.add(e.button)
        elif e.kind == "release":
            if e.button not in down:
                faults.append(f"event {i}: button {e.button} released while up")
            down.discard(e.button)
    assert not faults, faults
    assert not down, f"buttons left down: {sorted(down)}"
    assert server_buttons(xserver) == 0, \
        f"the X server holds buttons: mask {server_buttons(xserver):#x}"


def presses_off_target(pointer, since, allowed):
    """Presses of button 1 from event index since on that are on no allowed pixel."""
    return [(e.x, e.y) for e in pointer.events()[since:]
            if e.kind == "press" and e.button == 1 and (e.x, e.y) not in allowed]


class StrokeSender:
    """Sends strokes (contacts at one point, then lifts) on its own thread
    until stopped, whether or not anyone reads and whether or not the board is
    plugged; what it cannot send is dropped, as a board drops it."""

    def __init__(self, board, points, contacts=12, lifts=2, gap=0.05):
        self.board, self.points = board, points
        self.contacts, self.lifts, self.gap = contacts, lifts, gap
        self.sent = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, name="strokes", daemon=True)

    def _run(self):
        i = 0
        while not self._stop.is_set():
            point = self.points[i % len(self.points)]
            i += 1
            try:
                self.board.contact(*point, count=self.contacts)
                self.board.lift(*point, count=self.lifts)
                self.sent += 1
            except (RuntimeError, TimeoutError, OSError):
                pass  # unplugged, or nobody reads
            self._stop.wait(self.gap)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(WAIT)


# ---------------------------------------------------------------- 1. unplugged and replugged

@SCREEN
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_board_unplugged_and_replugged_20_times_during_strokes(config, quilld, board, pointer,
                                                              xserver, program):
    config.write(SEED)
    service = start_service(quilld, program)
    expect_mapped(board, pointer, MIDDLE, MIDDLE_PIXEL)

    points = [MIDDLE, OTHER, (3000, 900)]
    since = len(pointer.events())
    rng = random.Random(20)
    greeted = 0  # greetings counted before the board now in was plugged in
    with StrokeSender(board, points) as sender:
        for cycle in range(20):
            if cycle % 3 == 0:
                # Pulled out right after the service pressed the button: the
                # lift of that stroke never arrives.
                assert board.wait_greetings(greeted + 1, WAIT), f"cycle {cycle}: not greeted"
                mark = len(pointer.events())
                assert pointer.wait_press(1, WAIT, mark), f"cycle {cycle}: no stroke drawn"
            elif cycle % 3 == 1:
                # Pulled out about when the service reopens the port, greets
                # the board or takes its identification.
                time.sleep(rng.uniform(0.5, 1.1))
            else:
                # Pulled out again at once, while the service still waits.
                time.sleep(rng.uniform(0.0, 0.3))
            board.unplug()
            greeted = board.greetings()
            time.sleep(rng.uniform(0.0, 0.2))
            board.plug()
    assert sender.sent > 0

    assert service.wait_exit(0) is None, service.output()[-2000:]
    for point, pixel in [(MIDDLE, MIDDLE_PIXEL), (OTHER, OTHER_PIXEL)]:
        expect_mapped(board, pointer, point, pixel)
    assert presses_off_target(pointer, since, {PIXEL[p] for p in points}) == []
    assert_no_button_held(pointer, xserver)
    assert config.read() == with_registry(SEED, Quilld=service.pid)


# ---------------------------------------------------------------- 2. a storm of signals

ROUNDS = 4
PER_ROUND = 125  # of each signal: 500 SIGUSR1 and 500 SIGUSR2 in all


@SCREEN
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_500_sigusr1_and_500_sigusr2_while_the_board_streams(config, quilld, board, pointer,
                                                             xserver, program):
    config.write(SEED)
    service = start_service(quilld, program)
    assert wait_until(lambda: config.registry("Quilld") == service.pid)
    text_a = with_registry(SEED, Quilld=service.pid)
    text_b = text_a.replace(SEED_CALIBRATION, config.calibration(MIDDLE_AT_TOP_LEFT))
    assert text_b != text_a
    expect_mapped(board, pointer, MIDDLE, MIDDLE_PIXEL)

    restarted = COMPACT_RESTARTED if program == QUILLD_COMPACT else RESTARTED
    greeted = board.greetings()
    since = len(pointer.events())
    calibrations = [text_b, text_a]
    with StrokeSender(board, [MIDDLE, CORNER], contacts=8, gap=0.02):
        # Each round: a burst of SIGUSR1 ends the reader run, then SIGUSR2
        # reloads flood it, the stored calibration flipping between two,
        # while the next reader run starts and maps the streamed strokes.
        for r in range(ROUNDS):
            for _ in range(PER_ROUND):
                os.kill(service.pid, signal.SIGUSR1)
                time.sleep(0.001)
            for i in range(PER_ROUND):
                if i % 12 == 0:
                    replace_config(config, calibrations[(r + i // 12) % 2])
                os.kill(service.pid, signal.SIGUSR2)
                time.sleep(0.01)

    assert service.wait_exit(0) is None, service.output()[-2000:]
    assert service.count(restarted) >= ROUNDS, "each burst ends a reader run"
    assert service.count(RELOADED) >= ROUNDS
    assert board.greetings() >= greeted + 2, "the port is reopened and the board greeted again"
    # Each stroke presses where one of the two calibrations puts its point;
    # a sample mapped with a mix of the two would press elsewhere.
    allowed = {MIDDLE_PIXEL, (100, 80), CORNER_PIXEL}
    assert presses_off_target(pointer, since, allowed) == []

    time.sleep(0.5)  # the last signals are handled
    replace_config(config, text_a)
    mark = len(service.lines())
    service.send(signal.SIGUSR2)
    assert service.wait_line(RELOADED, WAIT, mark)
    time.sleep(0.5)  # the reload takes its tables into use after its line
    expect_mapped(board, pointer, MIDDLE, MIDDLE_PIXEL)
    expect_mapped(board, pointer, CORNER, CORNER_PIXEL)
    assert_no_button_held(pointer, xserver)
    assert config.read() == text_a


# ---------------------------------------------------------------- 3. tools killed at every stage

# (tool, stage at which it is killed, signal): right after the start, during
# its start-up, with its first window up, and (the calibration tool) after OK
# with the board taken.
TOOL_RUNS = [
    ("Zuraze", "at once", signal.SIGKILL),
    ("Edgetab", "at once", signal.SIGTERM),
    ("Zuraze", "window", signal.SIGTERM),
    ("Edgetab", "window", signal.SIGKILL),
    ("Zuraze", "board", signal.SIGKILL),
    ("Edgetab", "starting", signal.SIGKILL),
    ("Zuraze", "starting", signal.SIGTERM),
    ("Edgetab", "window", signal.SIGTERM),
    ("Zuraze", "board", signal.SIGTERM),
    ("Zuraze", "window", signal.SIGKILL),
    ("Edgetab", "at once", signal.SIGKILL),
]


def run_tool_until(stage, tool, zuraze_start, edgetab_start, desktop, board):
    """Starts tool and brings it to stage; the started Program."""
    if tool == "Zuraze":
        if stage == "board":
            return start_calibration(zuraze_start, board, kind=2)[0].program
        started = zuraze_start()
        if stage == "window":
            started.wait_settings()
        program = started.program
    else:
        program = edgetab_start()
        if stage == "window":
            window = desktop.wait_window(program.pid, desktop.is_full_screen)
            assert window is not None, f"no key window: {program.output()}"
    if stage == "starting":
        time.sleep(0.15)
    return program


def registry_ok(config, tool, started):
    """The tool's entry is -1 or the id of one of its instances that is gone."""
    value = config.registry(tool)
    return value == -1 or (value in started and not alive(value)), value


@SCREEN
def test_tools_started_and_killed_repeatedly_while_the_service_runs(
        config, quilld, zuraze, edgetab, fake, desktop, board, pointer, xserver):
    config.write(SEED)
    service = start_service(quilld)
    # Processes under the suite's names that are registered nowhere: nobody
    # may signal them.
    bystanders = [fake(name) for name in ("Quilld", "Zuraze", "Edgetab")]
    started = {"Zuraze": [], "Edgetab": []}

    for n, (tool, stage, sig) in enumerate(TOOL_RUNS):
        what = f"run {n}: {tool} killed by {sig.name} {stage}"
        program = run_tool_until(stage, tool, zuraze, edgetab, desktop, board)
        started[tool].append(program.pid)
        program.send(sig)
        assert program.wait_exit(WAIT) == -sig, f"{what}: {program.output()[-500:]}"

        assert service.wait_exit(0) is None, f"{what}: the service ended"
        assert config.registry("Quilld") == service.pid, what
        for name in started:
            ok, value = registry_ok(config, name, started[name])
            assert ok, f"{what}: {name} registered as {value}"
        # The service has the line back, or gets it within about a second.
        expect_mapped(board, pointer, MIDDLE, MIDDLE_PIXEL)

    for bystander in bystanders:
        assert signals_of(bystander) == [], bystander.argv
        assert bystander.wait_exit(0) is None
    zuraze_id, edgetab_id = config.registry("Zuraze"), config.registry("Edgetab")
    assert config.read() == with_registry(SEED, Quilld=service.pid, Zuraze=zuraze_id,
                                          Edgetab=edgetab_id)

    # A new service finds the dead tools' ids and signals none of them.
    assert service.stop() == 0
    assert config.registry("Quilld") == -1
    successor = start_service(quilld)
    expected = [f"{prefix}-1\n" for prefix, value in (("reO=", zuraze_id), ("reS=", edgetab_id))
                if value > 0]
    assert [line for line in successor.lines() if line.startswith(("reO=", "reS="))] == expected
    expect_mapped(board, pointer, OTHER, OTHER_PIXEL)
    assert_no_button_held(pointer, xserver)
    for bystander in bystanders:
        assert signals_of(bystander) == [], bystander.argv
    assert wait_until(lambda: config.registry("Quilld") == successor.pid)
    assert config.read() == with_registry(SEED, Quilld=successor.pid, Zuraze=zuraze_id,
                                          Edgetab=edgetab_id)


# ---------------------------------------------------------------- 4. writes that overlap

NOBODY = 65534
# The 3 by 3 calibration that makes board units match CALIBRATION: target i
# in column i // 3, row i % 3; its middle point is the middle of the board.
GRID9 = [(x, y) for x in (400, 2000, 3600) for y in (300, 1800, 3300)]


@dataclass
class ServiceRun:
    pid: int
    start: float
    end: float
    stopped: bool       # stopped with SIGTERM; otherwise it ended by itself without DISPLAY
    status: int
    out: str
    err: str
    registered: int     # "Quilld" in the registry once it had ended


class ServiceLoop:
    """Starts and stops the service over and over on its own thread: every
    start writes its id into the registry and every orderly end writes -1.
    Odd starts run on the display and are stopped with SIGTERM as soon as they
    have registered; even ones have no DISPLAY and end by themselves right
    after registering. Each cycle takes a few milliseconds, so its writes
    overlap whatever a tool writes meanwhile.

    The loop runs the service as user nobody, as another desktop user would
    (the file is made writable for every user for that). So its start-up
    cannot stop the root tools under test (it tries, and prints "reO=-1" or
    "reS=-1"), and it cannot open the board's port: the tool under test stays
    the only reader, and its packet counts stay exact. The file's directory
    is opened to every user for the loop's time as well, so that the
    service's writes take the same way as the tools' (a new file renamed over
    the old one) and a write based on a stale read would really replace a
    tool's newer file.

    hold() keeps one started service running and registered, so that a tool
    started or confirmed meanwhile finds a service; release() goes on."""

    def __init__(self, config, display_name):
        self.config = config
        self._env_x = {"PATH": "/usr/bin:/bin", "DISPLAY": display_name}
        self._env_bare = {"PATH": "/usr/bin:/bin"}
        self.runs = []
        self._stop = threading.Event()
        self._hold = threading.Event()
        self._held = None
        self._holding = threading.Condition()
        self._thread = threading.Thread(target=self._loop, name="service-loop", daemon=True)

    def start(self):
        # The lock file belongs to root, as it would on a desktop whose
        # service ran first.
        open(QUILLD_LOCK, "a").close()
        self._dir = os.path.dirname(self.config.path)
        self._dir_mode = os.stat(self._dir).st_mode & 0o7777
        os.chmod(self._dir, 0o777)
        self._thread.start()
        return self

    def _loop(self):
        n = 0
        while not self._stop.is_set():
            self._cycle(on_display=n % 2 == 1 or self._hold.is_set())
            n += 1

    def _cycle(self, on_display):
        start = time.monotonic()
        proc = subprocess.Popen([QUILLD], user=NOBODY, group=NOBODY, extra_groups=[], cwd="/",
                                env=self._env_x if on_display else self._env_bare,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        head = b""
        if on_display:
            while not head.endswith(b"pid=%d\n" % proc.pid):
                line = proc.stdout.readline()
                if not line:
                    break
                head += line
            if self._hold.is_set() and proc.poll() is None:
                with self._holding:
                    self._held = proc.pid
                    self._holding.notify_all()
                    self._holding.wait_for(lambda: not self._hold.is_set())
                    self._held = None
            proc.send_signal(signal.SIGTERM)
        try:
            out, err = proc.communicate(timeout=WAIT)
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
        end = time.monotonic()
        # Nothing else writes "Quilld" meanwhile: its last word must be -1.
        self.runs.append(ServiceRun(proc.pid, start, end, on_display, proc.returncode,
                                    (head + out).decode(errors="replace"),
                                    err.decode(errors="replace"), self._registered()))

    def _registered(self):
        """ "Quilld" of the registry, read under a shared lock as the suite reads."""
        with open(self.config.path) as f:
            fcntl.flock(f, fcntl.LOCK_SH)
            text = f.read()
        values = [v for section, body in parse_ini(text) if section == "PID"
                  for k, v in body if k == "Quilld"]
        return int(values[0]) if len(values) == 1 and re.fullmatch(r"-?\d+", values[0]) else None

    def hold(self):
        """The id of a service that runs and is registered until release()."""
        with self._holding:
            self._hold.set()
            assert self._holding.wait_for(lambda: self._held is not None, WAIT), \
                "the service loop holds no service"
            pid = self._held
        assert wait_until(lambda: self.config.registry("Quilld") == pid), \
            "the held service is not registered"
        return pid

    def release(self):
        with self._holding:
            self._hold.clear()
            self._holding.notify_all()

    def stop(self):
        self._stop.set()
        self.release()
        self._thread.join(2 * WAIT)
        os.chmod(self._dir, self._dir_mode)

    def summary(self):
        counts = {}
        for r in self.runs:
            left = {-1: "-1", r.pid: "its id"}.get(r.registered, r.registered)
            what = (f"{'SIGTERM' if r.stopped else 'no DISPLAY'} -> status {r.status}, "
                    f"registry {left}")
            counts[what] = counts.get(what, 0) + 1
        return ", ".join(f"{n} x {what}" for what, n in sorted(counts.items()))

    def save(self, path):
        with open(path, "w") as f:
            for r in self.runs:
                f.write(f"{r}\n")

    def overlapping(self, start, end):
        return [r for r in self.runs if r.start < end and r.end > start]

    def faults(self):
        """Every run that did not end as the service must: status 0 after
        SIGTERM, status 1 with its two messages without DISPLAY, and "Quilld"
        reading -1 afterwards."""
        bad = []
        for r in self.runs:
            if r.stopped:
                ok = r.status == 0 and r.err == ""
            else:
                # A tool may signal it while it ends: its lines may follow.
                ok = (r.status == 1 and r.err == "Slatrix Server must run under X window"
                      and "env_display == NULL exit 1" in r.out.splitlines())
            if not ok or r.registered != -1:
                bad.append(r)
        return bad


def store_window(program, first_line):
    """From the arrival of the first line containing first_line to the exit."""
    starts = [t for t, text in program.timed_lines() if first_line in text]
    assert starts, f"no line {first_line!r}: {program.output()[-1000:]}"
    return starts[0], program.timed_lines()[-1][0] + 0.05


@SCREEN
def test_tools_store_while_the_service_is_started_and_stopped_in_a_loop(
        config, quilld, zuraze, edgetab, desktop, board, pointer, xserver, artifacts):
    config.write(SEED)
    loop = ServiceLoop(config, xserver.display).start()
    try:
        # The calibration tool: 9 targets, each touched at its GRID9 point.
        loop.hold()
        calibration = start_calibration(zuraze, board, kind=2)[0].program
        loop.release()
        for point in GRID9:
            board.contact(*point, count=16)
            board.lift(*point)
        assert calibration.wait_exit(WAIT) == 0, calibration.output()[-2000:]
        calibration_store = store_window(calibration, "存储的数据")

        # The edge-key tool: all 28 keys.
        loop.hold()
        teaching = edgetab()
        assert desktop.wait_window(teaching.pid, desktop.is_full_screen), teaching.output()
        loop.release()
        sent = [touch_key(board, key_point(i), 16) for i in range(KEYS)]
        assert teaching.wait_exit(WAIT) == 0, teaching.output()[-2000:]
        keys_store = store_window(teaching, "......keyX0:")
    finally:
        loop.stop()
        loop.save(os.path.join(artifacts, "service-loop.txt"))

    # Both stores really overlapped the loop's writes.
    overlapping = loop.overlapping(*calibration_store), loop.overlapping(*keys_store)
    assert all(overlapping), (f"{len(loop.runs)} service runs, none during a store: "
                              f"{calibration_store}, {keys_store}")

    # Nothing lost: every key written last is there, the others untouched.
    text = config.read()
    assert [name for name, _ in parse_ini(text)] == \
        ["PID", "coordinate", "HOTKEY", "QMEdgetab", "Whiteboard"], text
    assert section_dict(text, "coordinate") == dict(
        [("dotNum", "9")] + [(f"dot{a}{i}", str(p[j])) for i, p in enumerate(GRID9)
                             for j, a in enumerate("XY")])
    hotkeys = {}
    for i, stroke in enumerate(sent):
        hotkeys[f"keyX{i}"], hotkeys[f"keyY{i}"] = map(str, captured_point(stroke))
    assert section_dict(text, "HOTKEY") == hotkeys
    assert section_dict(text, "QMEdgetab") == {f"QMkey{a}{i}": "0" for i in range(KEYS)
                                               for a in "XY"}
    assert section_text(text, "Whiteboard") == section_text(SEED, "Whiteboard")
    registry = section_dict(text, "PID")
    assert {k: registry[k] for k in ("Zuraze", "Edgetab")} == {"Zuraze": "-1", "Edgetab": "-1"}

    # Both service builds map through the stored calibration.
    for program in (QUILLD, QUILLD_COMPACT):
        service = start_service(quilld, program)
        expect_mapped(board, pointer, MIDDLE, MIDDLE_PIXEL)
        expect_mapped(board, pointer, CORNER, CORNER_PIXEL)
        assert service.stop() == 0
    assert_no_button_held(pointer, xserver)

    faults = loop.faults()
    assert not faults, (f"{len(faults)} of {len(loop.runs)} service runs ended badly "
                        f"({loop.summary()}); the first: {faults[0]}")
    assert registry["Quilld"] == "-1", f"the last service run left {registry['Quilld']}"


# ---------------------------------------------------------------- 5. killed mid-stroke

@SCREEN
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_service_killed_mid_stroke_and_restarted(config, quilld, board, pointer, xserver,
                                                 program):
    config.write(SEED)
    first = start_service(quilld, program)
    assert wait_until(lambda: config.registry("Quilld") == first.pid)
    board.contact(*MIDDLE, count=10)
    assert pointer.wait_press(1, WAIT) is not None

    first.send(signal.SIGKILL)
    assert first.wait_exit(WAIT) == -signal.SIGKILL
    assert os.path.exists(QUILLD_LOCK), "the lock file stays behind"
    assert config.registry("Quilld") == first.pid, "the dead service's id stays behind"

    # The pen stays down while the service comes back, then lifts.
    board.contact(*MIDDLE, count=5)
    second = start_service(quilld, program)
    assert wait_until(lambda: config.registry("Quilld") == second.pid)
    since = len(pointer.events())
    board.contact(*MIDDLE, count=10)
    board.lift(*MIDDLE, count=3)
    assert pointer.wait_release(1, WAIT, since) is not None, seen(pointer.events()[since:])
    assert_no_button_held(pointer, xserver)

    expect_mapped(board, pointer, OTHER, OTHER_PIXEL)
    expect_mapped(board, pointer, MIDDLE, MIDDLE_PIXEL)
    assert_no_button_held(pointer, xserver)
    assert second.wait_exit(0) is None
    assert not [line for line in second.lines() if line.startswith(("reO=", "reS="))]
    assert config.read() == with_registry(SEED, Quilld=second.pid)


# ---------------------------------------------------------------- 6. a stroke cut short

@SCREEN
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_a_stroke_cut_by_an_unplug_or_sigusr1_leaves_no_button_held(config, quilld, board, pointer,
                                                                      xserver, program):
    config.write(SEED)
    service = start_service(quilld, program)
    expect_mapped(board, pointer, MIDDLE, MIDDLE_PIXEL)
    for cut in ("unplug", "SIGUSR1"):
        since = len(pointer.events())
        board.contact(*MIDDLE, count=10)  # the pen stays down
        assert pointer.wait_press(1, WAIT, since), cut
        greeted = board.greetings()
        if cut == "unplug":
            board.unplug()
        else:
            service.send(signal.SIGUSR1)
        assert wait_until(lambda: server_buttons(xserver) == 0, 0.5), f"{cut}: button 1 still held"
        # Released by the run that ended, not by the next one, which greets first.
        assert board.greetings() == greeted, cut
        board.plug()
        expect_mapped(board, pointer, OTHER, OTHER_PIXEL)
    assert_no_button_held(pointer, xserver)
    assert config.read() == with_registry(SEED, Quilld=service.pid)


# ---------------------------------------------------------------- 7. a lock held by someone else

# Any user who can read the configuration file can lock it, for as long as
# they like; run as nobody, as another desktop user would.
LOCK_HOLDER = r"""
import ctypes, fcntl, sys, time
ctypes.CDLL(None).prctl(15, b"lockhog", 0, 0, 0)   # PR_SET_NAME
f = open(sys.argv[1])
fcntl.flock(f, fcntl.LOCK_EX if sys.argv[2] == "exclusive" else fcntl.LOCK_SH)
print("held", flush=True)
time.sleep(3600)
"""


@pytest.fixture
def lock_hog(config):
    """lock_hog(mode) -> pid of a process of user nobody holding the
    configuration file's lock (exclusive or shared) until the test ends."""
    hogs = []

    def hold(mode):
        os.chmod(config.path, 0o777)
        hog = subprocess.Popen([sys.executable, "-c", LOCK_HOLDER, config.path, mode], user=NOBODY,
                               group=NOBODY, extra_groups=[], stdout=subprocess.PIPE)
        hogs.append(hog)
        assert hog.stdout.readline() == b"held\n"
        return hog.pid

    yield hold
    for hog in hogs:
        hog.kill()
        hog.wait()


def refused_writes(program, holder):
    """The lines on standard error, checked to be the refusal naming holder."""
    lines = program.stderr().splitlines()
    expected = f"Cannot write {CONFIG_FILE}: locked by process {holder} (lockhog)"
    assert lines and all(line == expected for line in lines), program.stderr()
    return len(lines)


@SCREEN
@pytest.mark.parametrize("mode", ["exclusive", "shared"])
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_a_lock_held_for_ever_neither_stops_nor_freezes_the_service(
        config, quilld, board, pointer, xserver, lock_hog, program, mode):
    config.write(SEED)
    holder = lock_hog(mode)
    service = quilld(program=program, expect_stderr=True)
    assert service.wait_pid_line(WAIT), service.output()
    assert service.wait_line(RELOADED, WAIT), service.output()
    expect_mapped(board, pointer, MIDDLE, MIDDLE_PIXEL)
    mark = len(service.lines())
    service.send(signal.SIGUSR2)
    assert service.wait_line(RELOADED, WAIT, mark), "the reload is not frozen"
    expect_mapped(board, pointer, CORNER, CORNER_PIXEL)

    sig = signal.SIGTERM if program == QUILLD else signal.SIGINT
    service.send(sig)
    assert service.wait_exit(3) == 0, f"{sig.name} did not end the service within 3 s"
    assert_no_button_held(pointer, xserver)
    assert refused_writes(service, holder) >= 1
    assert config.read() == SEED, "a write got past the lock"


# ---------------------------------------------------------------- 8. a store that cannot be made

# A section of someone else's that brings the file to just under a page:
# the tools' registry entries still fit, their stored sets (9 points where
# the seed has 4, or 56 new keys) do not.
PAGE_FILLER = "[Notes]\ntext=" + "n" * (4096 - 48 - len(SEED) - len("[Notes]\ntext=\n")) + "\n"


class StoreFailure:
    """Makes every store of the configuration file fail in one way a desk
    meets: another process holding its lock, a full disk, a read-only file."""

    def __init__(self, kind, config, lock_hog):
        self.kind, self.config, self.lock_hog = kind, config, lock_hog
        self.holder, self._mounts = None, []

    def __enter__(self):
        path, folder = self.config.path, os.path.dirname(self.config.path)
        if self.kind == "locked":
            self.holder = self.lock_hog("exclusive")
        elif self.kind == "disk full":
            # The folder on a small file system of its own, filled to the brim.
            keep = subprocess.run(["mktemp", "-d"], capture_output=True, text=True,
                                  check=True).stdout.strip()
            subprocess.run(["cp", "-a", folder + "/.", keep], check=True)
            self._mount("-t", "tmpfs", "-o", "size=64m", "full", folder)
            subprocess.run(["cp", "-a", keep + "/.", folder], check=True)
            subprocess.run(["dd", "if=/dev/zero", f"of={folder}/filler", "bs=64k"],
                           capture_output=True)
        elif self.kind == "read-only":
            self._mount("--bind", path, path)
            subprocess.run(["mount", "-o", "remount,ro,bind", path], check=True)
        return self

    def _mount(self, *args):
        subprocess.run(["mount", *args], check=True)
        self._mounts.append(args[-1])

    def __exit__(self, *exc):
        for target in reversed(self._mounts):
            subprocess.run(["umount", "-l", target], check=True)


def finish_with_a_failed_store(tool, config, zuraze, edgetab, desktop, board, expect_stderr):
    """Runs tool to the end of a calibration or a teaching; the program and
    the window that is up when its store has failed."""
    if tool == "Zuraze":
        started, window = start_calibration(lambda: zuraze(expect_stderr=expect_stderr), board,
                                            kind=2)
        program = started.program
        for centre in target_centres(9):
            touch_target(board, board_point(*centre))
    else:
        program = edgetab(expect_stderr=expect_stderr)
        open_key_window(program, desktop, board)
        for i in range(KEYS):
            touch_key(board, key_point(i), 16)
    box = desktop.wait_window(program.pid, desktop.is_dialog)
    assert box is not None, f"no error box: {program.output()[-2000:]}"
    return program, box


@pytest.mark.parametrize("tool", ["Zuraze", "Edgetab"])
@pytest.mark.parametrize("kind", ["locked", "disk full", "read-only"])
def test_a_tool_that_cannot_store_says_so_and_keeps_the_old_set(
        config, zuraze, edgetab, fake, desktop, board, lock_hog, artifacts, tool, kind):
    service = fake("Quilld")
    seed = with_registry(SEED, Quilld=service.pid) + PAGE_FILLER
    config.write(seed)
    with StoreFailure(kind, config, lock_hog) as failure:
        program, box = finish_with_a_failed_store(tool, config, zuraze, edgetab, desktop, board,
                                                  expect_stderr=kind == "locked")
        desktop.screenshot(artifacts, f"{tool}-{kind.replace(' ', '-')}.png")
        desktop.keys(box, "Return")
        assert program.wait_exit(WAIT) == 1, program.output()[-2000:]
        assert config.read() == seed, "part of the new set was stored"
    assert "SIGUSR2" not in signals_of(service), "the service was told to reload"
    assert not os.path.exists(f"/tmp/{tool}.mux")
    if kind == "locked":
        refused_writes(program, failure.holder)
