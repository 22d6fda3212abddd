"""Bad input from outside the programs: a damaged configuration file, a
damaged message file and forged ids in the process registry, against every
program that reads them. Each program keeps running on what it can read (its
defaults for the rest), shows its windows, signals no process that is not the
one registered, and leaves alone the bytes of the file it does not own.

Processes that a forged id points at are small stand-ins that print every
signal they get (gui.FAKE_PROGRAM), named "sleep" so that they are plainly
nobody's tool or service."""
import os
import random
import re
import sys
import time
import zlib
from dataclasses import dataclass

import pytest

from gui import FAKE_PROGRAM, GRACE, MSG_FILE, WAIT, signals_of, wait_until
from plugin_sandbox import require_sandbox
from plugin_service import CONFIG_FILE, SERVICE_PROGRAMS
from plugin_tools import BAREEDGE, DUPWARN, EDGETAB, ZURAZE
from steps_dialogs import ICON_PIXELS, Dialog, click
from steps_keys import (KEY_ORIENT, TOUCH_KEYS, nothing_started, register_zuraze, start_with_keys,
                        words_then_sync)
from steps_service import CALIBRATION, ELECTROMAGNETIC, RELOADED, TOUCH, seen, tap, wait_events
from steps_tools import (T_CMD_ORIENT, Zuraze, board_point, captured_point, key_point,
                         open_key_window, target_centres, target_colour, touch_key, touch_target,
                         wait_colours, wait_states)

SCREEN = pytest.mark.screen(1000, 800)
INT_MAX = 2**31 - 1


def junk(seed, size, banned=b""):
    """Reproducible random bytes without the banned ones."""
    rng = random.Random(seed)
    allowed = [b for b in range(256) if b not in banned]
    return bytes(rng.choice(allowed) for _ in range(size))


def file_bytes(path=CONFIG_FILE):
    with open(path, "rb") as f:
        return f.read()


def put_bytes(data, path=CONFIG_FILE):
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, 0o777)


def entry(key):
    """The value of the first line `key=` of the file, as bytes, or None;
    in the files below that line is in the first section "PID"."""
    found = re.search(rb"(?m)^" + re.escape(key.encode()) + rb"=([^\r\n]*)", file_bytes())
    return None if found is None else found.group(1)


def masked(data, key):
    """data with the value of its first line `key=` blotted out: a program
    may rewrite its own registry entry, and nothing else."""
    return re.sub(rb"(?m)^" + re.escape(key.encode()) + rb"=[^\r\n]*", b"#", data, count=1)


def assert_only_own_entry_changed(before, after, key):
    want, got = masked(before, key), masked(after, key)
    first = next((i for i, (a, b) in enumerate(zip(want, got)) if a != b), min(len(want), len(got)))
    assert got == want, (f"bytes beside the entry {key!r} changed: {len(before)} bytes before, "
                         f"{len(after)} after, the first difference {first} bytes into the file")


# ------------------------------------------------------------ damaged configuration files

ANOTHER_CALIBRATION = [(0, 0), (0, 4000), (4000, 0), (4000, 4000)]
NEGATIVE_CALIBRATION = [(-3000, -2000), (-3000, 5000), (5000, -2000), (5000, 5000)]
HUGE_CALIBRATION = [(-2000000000, -2000000000), (-2000000000, 2000000000),
                    (2000000000, -2000000000), (2000000000, 2000000000)]
BEYOND_INT_CALIBRATION = [(-99999999999, -99999999999), (-99999999999, 99999999999),
                          (99999999999, -99999999999), (99999999999, 99999999999)]
TAPS = [(2000, 1800), (3000, 900)]
ORIGIN = [(0, 0), (0, 0)]

PID_HEAD = b"[PID]\nQuilld=0\nZuraze=-1\nEdgetab=-1\n"
EDGE_KEYS = b"[HOTKEY]\nkeyX0=3900\nkeyY0=3900\n[QMEdgetab]\nQMkeyX0=3900\nQMkeyY0=3900\n"


def calibration(points, dot_num=None):
    lines = [] if dot_num is False else [f"dotNum={len(points) if dot_num is None else dot_num}"]
    for i, (x, y) in enumerate(points):
        lines += [f"dotX{i}={x}", f"dotY{i}={y}"]
    return ("[coordinate]\n" + "\n".join(lines) + "\n").encode()


def over_the_limit():
    """20 KiB: well past the 16383 bytes the store reads."""
    head = calibration(CALIBRATION) + PID_HEAD
    padding = b"".join(b"; padding line %05d of a file that grew too large\n" % i
                       for i in range(500))
    return (head + padding)[:20 * 1024]


@dataclass
class ConfigCase:
    name: str
    data: bytes
    pixels: list    # where TAPS land; None: anywhere on the screen
    readable: bool  # the store sees the registry at the top of the file


CONFIG_CASES = {c.name: c for c in [
    # Junk the parser must walk over; no '[' in it, so no section hides the calibration.
    ConfigCase("binary-junk", PID_HEAD + junk(1, 3000, b"\0\xff[") + b"\n"
               + calibration(CALIBRATION) + EDGE_KEYS, [(500, 400), (750, 208)], True),
    # The text ends at the first NUL: what follows is invisible, and must stay.
    ConfigCase("nul-bytes", PID_HEAD + b"\0" + junk(2, 1000, b"\xff") + b"\n"
               + calibration(CALIBRATION) + EDGE_KEYS, ORIGIN, True),
    # The text ends at 0xFF as well.
    ConfigCase("byte-ff", PID_HEAD + b"\xff\xff\n" + calibration(CALIBRATION) + EDGE_KEYS,
               ORIGIN, True),
    ConfigCase("over-16383-bytes", over_the_limit(), ORIGIN, False),
    ConfigCase("dotNum-missing", PID_HEAD + calibration(CALIBRATION, dot_num=False), ORIGIN, True),
    ConfigCase("dotNum-3", PID_HEAD + calibration(CALIBRATION, dot_num=3), ORIGIN, True),
    ConfigCase("dotNum-21", PID_HEAD + calibration(CALIBRATION * 6, dot_num=21), ORIGIN, True),
    ConfigCase("dotNum-negative", PID_HEAD + calibration(CALIBRATION, dot_num=-4), ORIGIN, True),
    ConfigCase("dotNum-beyond-int", PID_HEAD + calibration(CALIBRATION * 6, dot_num=99999999999),
               ORIGIN, True),
    ConfigCase("negative-coordinates", PID_HEAD + calibration(NEGATIVE_CALIBRATION),
               [(600, 427), (700, 345)], True),
    ConfigCase("huge-coordinates", PID_HEAD + calibration(HUGE_CALIBRATION),
               [(500, 400), (500, 400)], True),
    ConfigCase("coordinates-beyond-int", PID_HEAD + calibration(BEYOND_INT_CALIBRATION), None,
               True),
    # Every corner the same: nothing to interpolate.
    ConfigCase("all-points-equal", PID_HEAD + calibration([(2000, 2000)] * 4), ORIGIN, True),
    # The first of two sections answers.
    ConfigCase("duplicate-sections", PID_HEAD + calibration(CALIBRATION)
               + b"[PID]\nQuilld=77\nZuraze=78\nEdgetab=79\n" + calibration(ANOTHER_CALIBRATION)
               + EDGE_KEYS + b"[coordinate]\ndotNum=9\n", [(500, 400), (750, 208)], True),
]}
# The cases about the file as a whole, for every program; the rest are about
# the calibration, which only the service reads.
FILE_CASES = ["binary-junk", "nul-bytes", "byte-ff", "over-16383-bytes", "duplicate-sections"]


def service_cases():
    for program in SERVICE_PROGRAMS:
        for name, case in CONFIG_CASES.items():
            # The compact build maps through the same code: the file-level
            # cases and the extremes are enough for it.
            if program.id == "compact" and name not in FILE_CASES + [
                    "dotNum-beyond-int", "coordinates-beyond-int"]:
                continue
            yield pytest.param(program.values[0], case, id=f"{program.id}-{name}")


def within_screen(event, width=1000, height=800):
    return 0 <= event[1] <= width and 0 <= event[2] <= height


@SCREEN
@pytest.mark.parametrize("program,case", service_cases())
def test_service_on_a_damaged_configuration_maps_what_it_can_read_and_keeps_the_file(
        quilld, board, config, pointer, program, case):
    put_bytes(case.data)
    board.ident = TOUCH
    service = quilld(program=program)
    assert service.wait_pid_line(WAIT), service.output()
    assert board.wait_greetings(1, WAIT), service.output()
    assert service.wait_line(RELOADED, WAIT), service.output()
    time.sleep(0.4)  # the loop pauses after the identification

    for point in TAPS:
        tap(board, point)
    events = seen(wait_events(pointer, 4 * len(TAPS)))
    assert [e[0] for e in events] == ["motion", "press", "motion", "release"] * len(TAPS), events
    if case.pixels is None:
        assert all(within_screen(e) for e in events), events
        # Each press and release lands where the pointer was moved.
        assert all(events[i][1:3] == events[i - 1][1:3] for i in (1, 3, 5, 7)), events
    else:
        assert events == [e for pixel in case.pixels for e in
                          [("motion", *pixel, 0), ("press", *pixel, 1),
                           ("motion", *pixel, 0), ("release", *pixel, 1)]]
    # No more than the 20 points the tables hold are ever read.
    assert not any(line.startswith("orient......20:") for line in service.lines())
    if case.readable:
        assert entry("Quilld") == b"%d" % service.pid
    assert service.wait_exit(0) is None, service.output()
    assert service.stop() == 0

    if case.readable:
        assert_only_own_entry_changed(case.data, file_bytes(), "Quilld")
    else:
        assert file_bytes() == case.data, "a file over the limit must be left as it was"


ZURAZE_FILE_CASES = [
    # (case, what the user does)
    pytest.param("binary-junk", "calibrate", id="binary-junk"),
    pytest.param("nul-bytes", "escape", id="nul-bytes"),
    pytest.param("byte-ff", "escape", id="byte-ff"),
    pytest.param("over-16383-bytes", "refused", id="over-16383-bytes"),
    pytest.param("duplicate-sections", "calibrate", id="duplicate-sections"),
]


def with_values(data, values):
    """data with the first line of each key given its new value."""
    for key, value in values.items():
        data, n = re.subn(rb"(?m)^" + key.encode() + rb"=[^\r\n]*",
                          f"{key}={value}".encode(), data, count=1)
        assert n == 1, key
    return data


@pytest.mark.parametrize("name,use", ZURAZE_FILE_CASES)
def test_zuraze_on_a_damaged_configuration(window_manager, config, xserver, desktop,
                                           board, start_program, artifacts, name, use):
    case = CONFIG_CASES[name]
    put_bytes(case.data)
    tool = Zuraze(start_program([ZURAZE], env=xserver.env()), desktop)
    settings = tool.wait_settings()
    if case.readable:
        assert entry("Zuraze") == b"%d" % tool.pid

    if use == "refused":
        # Nothing readable: the service counts as not running.
        tool.press("OK")
        box = tool.wait_box([settings])
        assert box is not None, tool.program.output()
        desktop.keys(box, "Escape")
        assert tool.program.wait_exit(WAIT) == 0
        assert file_bytes() == case.data
        assert board.greetings() == 0
        return

    tool.choose(1)
    tool.press("OK")
    window = tool.wait_calibration_window()
    assert board.wait_greetings(1, WAIT), tool.program.output()
    centres = target_centres(4)
    if use == "escape":
        touch_target(board, board_point(*centres[0]))
        assert wait_colours(desktop, centres, ["green", "red", "grey", "grey"]), \
            [target_colour(desktop, c) for c in centres]
        desktop.screenshot(artifacts, "calibration.png")
        desktop.keys(window, "Escape")
        assert tool.program.wait_exit(WAIT) == 0
        assert_only_own_entry_changed(case.data, file_bytes(), "Zuraze")
        return

    strokes = [touch_target(board, board_point(*c)) for c in centres]
    assert tool.program.wait_exit(WAIT) == 0, tool.program.output()
    stored = {"dotNum": 4}
    for i, stroke in enumerate(strokes):
        stored[f"dotX{i}"], stored[f"dotY{i}"] = captured_point(stroke)
    # Each key keeps its place in the first section; nothing else moves.
    assert_only_own_entry_changed(with_values(case.data, stored), file_bytes(), "Zuraze")


EDGETAB_FILE_CASES = [
    pytest.param("binary-junk", True, id="binary-junk"),
    pytest.param("nul-bytes", True, id="nul-bytes"),
    pytest.param("byte-ff", True, id="byte-ff"),
    pytest.param("over-16383-bytes", False, id="over-16383-bytes"),
    pytest.param("duplicate-sections", True, id="duplicate-sections"),
]


@pytest.mark.parametrize("name,teaches", EDGETAB_FILE_CASES)
def test_edgetab_on_a_damaged_configuration(window_manager, config, xserver, desktop,
                                            board, start_program, artifacts, name, teaches):
    case = CONFIG_CASES[name]
    put_bytes(case.data)
    tool = start_program([EDGETAB], env=xserver.env())
    if not teaches:
        # Nothing readable: the service counts as not running.
        box = desktop.wait_window(tool.pid)
        assert box is not None, tool.output()
        assert not desktop.is_full_screen(box)
        desktop.keys(box, "Return")
        assert tool.wait_exit(WAIT) == 0
        assert file_bytes() == case.data
        assert board.greetings() == 0
        return

    keys = open_key_window(tool, desktop, board)
    assert entry("Edgetab") == b"%d" % tool.pid
    touch_key(board, key_point(0), 16)
    assert wait_states(keys, 1), keys.states()
    desktop.screenshot(artifacts, "keys.png")
    desktop.keys(keys.window, "Escape")
    assert tool.wait_exit(WAIT) == 0
    assert_only_own_entry_changed(case.data, file_bytes(), "Edgetab")


@pytest.mark.parametrize("program", [DUPWARN, BAREEDGE], ids=["Dupwarn", "Bareedge"])
@pytest.mark.parametrize("name", ["nul-bytes", "over-16383-bytes"])
def test_warning_dialogs_never_touch_a_damaged_configuration(
        window_manager, config, xserver, screen, start_program, program, name):
    case = CONFIG_CASES[name]
    put_bytes(case.data)
    warning = start_program([program], env=xserver.env())
    dialog = shown_warning(screen, warning)
    click(xserver.display, *dialog.ok_button())
    assert warning.wait_exit(WAIT) == 0
    assert file_bytes() == case.data


# ------------------------------------------------------------ damaged message files

def shown_warning(screen, program):
    dialog = Dialog.wait_for(screen, program.pid)
    assert dialog is not None, \
        f"no window (exit status {program.proc.poll()}): {program.output()}{program.stderr()}"
    assert wait_until(lambda: len(dialog.icon_pixels()) >= ICON_PIXELS), "no warning icon drawn"
    return dialog


def raw_title(dpy, window):
    prop = window.get_full_property(dpy.intern_atom("_NET_WM_NAME"),
                                    dpy.intern_atom("UTF8_STRING"))
    return b"" if prop is None else bytes(prop.value)


def shown_text(title, sent):
    """The title must be valid UTF-8 and a beginning of the text sent (cut
    is fine)."""
    try:
        text = title.decode("utf-8")
    except UnicodeDecodeError as e:
        raise AssertionError(f"title {title!r} is not valid UTF-8: {e}") from None
    assert sent.startswith(text), (text, sent[:120])
    return text


@pytest.fixture
def message_file():
    """put(bytes) replaces the installed message file; it comes back afterwards."""
    require_sandbox("message_file")
    original = file_bytes(MSG_FILE)
    yield lambda data: put_bytes(data, MSG_FILE)
    put_bytes(original, MSG_FILE)
    os.chmod(MSG_FILE, 0o644)


def long_text(key):
    return "Ω" * 5000


def multibyte_text(key):
    # 2-byte characters: a cut at 99 bytes falls inside one.
    return "ü" * 70 + f" end of {key}"


def widest_text(case):
    """Whole characters filling all 99 bytes of a text buffer, so that texts
    joined into one buffer can pass its end inside a character. A 3-byte one
    first lets the 4-byte ones fill the 99 bytes."""
    return "\u20ac" * 33 if case == "3-byte-max" else "\u20ac" + "\U0001d11e" * 24


def junk_text(key):
    return b"Junk " + junk(zlib.crc32(key.encode()), 60, b"\n\0\xff")


WIDEST = ("3-byte-max", "4-byte-max")


def message_data(case, keys, shipped):
    """A message file for `case`, holding `keys` first."""
    if case == "5000-chars":
        return f"{keys[0]}={long_text(keys[0])}\n".encode() + shipped
    if case == "long-texts":
        return "".join(f"{k}={multibyte_text(k)}\n" for k in keys).encode() + shipped
    if case in WIDEST:
        return "".join(f"{k}={widest_text(case)}\n" for k in keys).encode() + shipped
    if case == "binary-junk":
        return (b"".join(k.encode() + b"=" + junk_text(k) + b"\n" for k in keys)
                + b"\0" + junk(9, 300))
    raise ValueError(case)


def sent_text(case, key):
    if case == "5000-chars":
        return long_text(key)
    if case == "long-texts":
        return multibyte_text(key)
    if case in WIDEST:
        return widest_text(case)
    return junk_text(key).decode("utf-8", errors="replace")


MESSAGE_CASES = [
    # program, what is shown, bad file, keys first in it
    pytest.param("Zuraze", "calibration", "5000-chars", ["O_TITLE"], id="Zuraze-5000-chars"),
    pytest.param("Zuraze", "error-box", "long-texts",
                 ["O_TITLE", "A_MESG1", "A_MESG2", "O_CHIS", "O_FOUR"], id="Zuraze-long-texts"),
    pytest.param("Zuraze", "about-box", "binary-junk",
                 ["O_TITLE", "A_CPM", "A_ADD", "A_TEL", "A_FAX", "A_WEB", "O_NIGHT"],
                 id="Zuraze-binary-junk"),
    pytest.param("Edgetab", "no-service", "5000-chars", ["S_START"], id="Edgetab-5000-chars"),
    pytest.param("Edgetab", "no-board", "long-texts", ["S_NOT_OPEN", "S_FILE"],
                 id="Edgetab-long-texts"),
    pytest.param("Edgetab", "key-window", "binary-junk", ["O_ORIMSG"], id="Edgetab-binary-junk"),
    pytest.param("Dupwarn", "dialog", "5000-chars", ["B_Wa"], id="Dupwarn-5000-chars"),
    pytest.param("Dupwarn", "dialog", "long-texts", ["B_Wa", "B_AL_STAR"],
                 id="Dupwarn-long-texts"),
    pytest.param("Dupwarn", "dialog", "binary-junk", ["B_Wa", "B_AL_STAR"],
                 id="Dupwarn-binary-junk"),
    pytest.param("Bareedge", "dialog", "5000-chars", ["B_Wa"], id="Bareedge-5000-chars"),
    pytest.param("Bareedge", "dialog", "long-texts", ["B_Wa", "S_HASN_HOT", "S_SETING"],
                 id="Bareedge-long-texts"),
    pytest.param("Bareedge", "dialog", "binary-junk", ["B_Wa", "S_HASN_HOT", "S_SETING"],
                 id="Bareedge-binary-junk"),
    # Every text joined into a box at its longest; a body cut inside a
    # character makes Pango warn on standard error.
    *[pytest.param(program, shown, case, keys, id=f"{program}-{shown}-{case}")
      for case in WIDEST
      for program, shown, keys in [
          ("Bareedge", "dialog", ["B_Wa", "S_HASN_HOT", "S_SETING"]),
          ("Dupwarn", "dialog", ["B_Wa", "B_AL_STAR"]),
          ("Edgetab", "no-board", ["S_NOT_OPEN", "S_FILE"]),
          ("Zuraze", "error-box", ["O_TITLE", "A_MESG1", "A_MESG2"]),
          ("Zuraze", "about-box", ["O_TITLE", "A_CPM", "A_ADD", "A_TEL", "A_FAX", "A_WEB"])]],
]
PROGRAM_PATHS = {"Zuraze": ZURAZE, "Edgetab": EDGETAB, "Dupwarn": DUPWARN, "Bareedge": BAREEDGE}


@pytest.mark.parametrize("program,shown,case,keys", MESSAGE_CASES)
def test_damaged_message_file_still_shows_the_windows_with_their_exit_status(
        window_manager, config, xserver, desktop, screen, board, start_program,
        message_file, artifacts, program, shown, case, keys):
    shipped = file_bytes(MSG_FILE)
    message_file(message_data(case, keys, shipped))
    config.write("[PID]\nQuilld=%d\n" % (-1 if shown in ("error-box", "no-service") else 0))
    if shown == "no-board":
        board.unplug()
    proc = start_program([PROGRAM_PATHS[program]], env=xserver.env())

    if program in ("Dupwarn", "Bareedge"):
        dialog = shown_warning(screen, proc)
        desktop.screenshot(artifacts, f"{program}.png")
        shown_text(raw_title(screen, dialog.window), sent_text(case, "B_Wa"))
        click(xserver.display, *dialog.ok_button())
        assert proc.wait_exit(WAIT) == 0
        return

    if program == "Zuraze":
        tool = Zuraze(proc, desktop)
        settings = desktop.wait_window(proc.pid)
        assert settings is not None, proc.output()
        tool.settings = settings
        shown_text(raw_title(screen, settings), sent_text(case, "O_TITLE"))
        assert wait_until(lambda: len(tool.radio_centres()) == 3), "radio buttons not drawn"
        if shown == "calibration":
            tool.press("OK")
            window = tool.wait_calibration_window()
            assert board.wait_greetings(1, WAIT)
            desktop.screenshot(artifacts, "calibration.png")
            desktop.keys(window, "Escape")
        elif shown == "error-box":
            tool.press("OK")
            box = tool.wait_box([settings])
            assert box is not None, proc.output()
            desktop.screenshot(artifacts, "error-box.png")
            desktop.keys(box, "Escape")
        else:
            tool.press("About")
            about = tool.wait_box([settings])
            assert about is not None, proc.output()
            desktop.screenshot(artifacts, "about-box.png")
            ax, ay, aw, ah = desktop.geometry(about)
            desktop.click(ax + aw - 30, ay + ah - 18)  # its OK button
            assert wait_until(lambda: [w.id for w in desktop.windows_of(proc.pid) or []]
                              == [settings.id]), "OK closes the about box"
            tool.press("Cancel")
        assert proc.wait_exit(WAIT) == 0
        return

    if shown == "key-window":
        keys_shown = open_key_window(proc, desktop, board)
        desktop.screenshot(artifacts, "keys.png")
        desktop.keys(keys_shown.window, "Escape")
        assert proc.wait_exit(WAIT) == 0
        return
    box = desktop.wait_window(proc.pid)
    assert box is not None, proc.output()
    assert not desktop.is_full_screen(box)
    desktop.screenshot(artifacts, f"{shown}.png")
    assert proc.wait_exit(GRACE) is None, "the box waits for the user"
    desktop.keys(box, "Return")
    if shown == "no-service":
        assert proc.wait_exit(WAIT) == 0
    else:
        assert wait_until(lambda: desktop.windows_of(proc.pid) == [])
        assert proc.wait_exit(GRACE) is None, "idle without a window"
        assert config.registry("Edgetab") == -1


# ------------------------------------------------------------ forged registry entries

@pytest.fixture
def stranger(xserver, start_program):
    """stranger(own_group=False) -> Program: an unrelated process named "sleep"
    that prints each signal it gets; with own_group it leads a process group
    of its own, so that a kill of its negated id would reach it."""

    def start(own_group=False):
        argv = [sys.executable, "-c", FAKE_PROGRAM, "sleep"]
        program = start_program(["setsid", *argv] if own_group else argv)
        assert program.wait_line("ready", WAIT), program.stderr()
        if own_group:
            assert os.getpgid(program.pid) == program.pid
        return program

    return start


def forged(value, stranger):
    """The registry text for a forged value and the stranger it aims at."""
    if value == "stranger":
        s = stranger()
        return str(s.pid), s
    if value == "stranger+text":
        s = stranger()
        return f"{s.pid}abc", s
    if value == "-stranger-group":
        s = stranger(own_group=True)
        return f"-{s.pid}", s
    return value, None


def untouched(strangers):
    time.sleep(GRACE)
    for s in strangers:
        assert s.wait_exit(0) is None, "the unrelated process must live on"
        assert signals_of(s) == [], f"process {s.pid} was signalled"


def delivered(program, prefix):
    """The start-up lines `prefix` that report a signal delivered."""
    return [line for line in program.lines() if line.strip() == f"{prefix}0"]


# (Zuraze, Edgetab) as the service finds them at its start.
SERVICE_START_CASES = [
    pytest.param("stranger", "stranger+text", id="stranger-and-stranger-with-text"),
    pytest.param("-stranger-group", "99999999", id="negated-group-and-99999999"),
    pytest.param("garbage", str(INT_MAX + 1), id="text-and-2147483648"),
]


@pytest.mark.parametrize("zuraze,edgetab", SERVICE_START_CASES)
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_service_start_signals_no_forged_id(config, xserver, board, start_program, stranger,
                                            program, zuraze, edgetab):
    zuraze, zuraze_target = forged(zuraze, stranger)
    edgetab, edgetab_target = forged(edgetab, stranger)
    config.write(f"[PID]\nZuraze={zuraze}\nEdgetab={edgetab}\n")
    # Its own process group: a stray kill(0) would hit the service itself.
    service = start_program(["setsid", program], env=xserver.env())
    assert service.wait_pid_line(WAIT), service.output()
    assert board.wait_greetings(1, WAIT), service.output()
    assert delivered(service, "reO=") == [] and delivered(service, "reS=") == []
    untouched([s for s in (zuraze_target, edgetab_target) if s is not None])
    assert service.wait_exit(0) is None, service.output()
    assert config.registry("Quilld") == service.pid


# (Quilld, Edgetab) as the calibration tool finds them.
ZURAZE_REGISTRY_CASES = [
    pytest.param("stranger", "stranger", id="strangers"),
    pytest.param("-stranger-group", "-stranger-group", id="negated-groups"),
    pytest.param("99999999", str(INT_MAX + 1), id="99999999-and-2147483648"),
    pytest.param("garbage", "-7", id="text-and-minus-7"),
]


@pytest.mark.parametrize("quilld_entry,edgetab_entry", ZURAZE_REGISTRY_CASES)
def test_zuraze_signals_no_forged_id_from_start_to_exit(window_manager, config, xserver,
                                                        desktop, board, start_program, stranger,
                                                        quilld_entry, edgetab_entry):
    quilld_entry, quilld_target = forged(quilld_entry, stranger)
    edgetab_entry, edgetab_target = forged(edgetab_entry, stranger)
    config.write(f"[PID]\nQuilld={quilld_entry}\nEdgetab={edgetab_entry}\n")
    tool = Zuraze(start_program(["setsid", ZURAZE], env=xserver.env()), desktop)
    tool.wait_settings()
    # Only exactly -1 means that no service runs: every other value proceeds.
    tool.press("OK")
    window = tool.wait_calibration_window()
    assert board.wait_greetings(1, WAIT), tool.program.output()
    centres = target_centres(9)
    touch_target(board, board_point(*centres[0]))   # a target done: the service is told
    assert wait_colours(desktop, centres[:2], ["green", "red"])
    board.key(T_CMD_ORIENT)                           # aborted: the service is told to reload
    assert wait_until(lambda: config.registry("Zuraze") == -1), tool.program.output()
    desktop.keys(window, "Escape")
    assert tool.program.wait_exit(WAIT) == 0
    assert delivered(tool.program, "reS=") == []
    untouched([s for s in (quilld_target, edgetab_target) if s is not None])


# (Quilld, Zuraze) as the edge-key tool finds them; a negative service id is refused.
EDGETAB_REGISTRY_CASES = [
    pytest.param("stranger", "stranger", True, id="strangers"),
    pytest.param("99999999", "-stranger-group", True, id="99999999-and-negated-group"),
    pytest.param(str(INT_MAX + 1), "garbage", True, id="2147483648-and-text"),
    pytest.param("-stranger-group", "99999999", False, id="negated-group-refused"),
]


@pytest.mark.parametrize("quilld_entry,zuraze_entry,runs", EDGETAB_REGISTRY_CASES)
def test_edgetab_signals_no_forged_id_from_start_to_exit(window_manager, config, xserver,
                                                         desktop, board, start_program, stranger,
                                                         quilld_entry, zuraze_entry, runs):
    quilld_entry, quilld_target = forged(quilld_entry, stranger)
    zuraze_entry, zuraze_target = forged(zuraze_entry, stranger)
    config.write(f"[PID]\nQuilld={quilld_entry}\nZuraze={zuraze_entry}\n")
    # The electromagnetic line tells the service after every key as well.
    board.ident = ELECTROMAGNETIC
    tool = start_program(["setsid", EDGETAB], env=xserver.env())
    if runs:
        keys = open_key_window(tool, desktop, board)
        touch_key(board, key_point(0), 16)
        assert wait_states(keys, 1), keys.states()
        desktop.keys(keys.window, "Escape")
    else:
        box = desktop.wait_window(tool.pid)
        assert box is not None, tool.output()
        desktop.keys(box, "Return")
    assert tool.wait_exit(WAIT) == 0
    assert config.registry("Edgetab") == -1
    untouched([s for s in (quilld_target, zuraze_target) if s is not None])


# The touch line's calibration edge key interrupts only a registered calibration tool.
KEY_REGISTRY_CASES = [
    pytest.param(["stranger", "-stranger-group", "garbage"], id="stranger-negated-group-text"),
    pytest.param(["99999999", str(INT_MAX + 1), "-7"], id="99999999-2147483648-minus-7"),
]


@SCREEN
@pytest.mark.parametrize("entries", KEY_REGISTRY_CASES)
def test_touch_calibration_key_signals_no_forged_id(quilld, board, config, udp, launchers,
                                                     stranger, entries):
    service = start_with_keys(quilld, board, config, TOUCH)
    targets = []
    for text in entries:
        value, target = forged(text, stranger)
        targets += [target] if target else []
        register_zuraze(config, service, value)
        udp.clear()
        tap(board, TOUCH_KEYS[KEY_ORIENT])
        words_then_sync(board, udp, [])   # the tap has been handled
    assert nothing_started(launchers), launchers.started()
    untouched(targets)
    assert service.wait_exit(0) is None, service.output()
