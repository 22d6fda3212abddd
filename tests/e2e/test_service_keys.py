"""The board's keys steer the whiteboard application: edge keys and hardware
keys send command words over UDP or start the launchers, and the
electromagnetic pen's buttons click and send their words.

The service is the only reader of the port, so every packet is handled once
and in order: a hardware key sent last ("save\\n") marks that everything
before it has been handled, and a stroke does the same for the pointer.
"""
import signal
import subprocess
import time

import pytest

import protocol_tables
from board_sim import line_of_head
from launchers import ORIENT_LAUNCHER, WHITEBOARD_LAUNCHER
from steps_keys import (EM_KEYS, KEY_ORIENT, KEY_START, SYNC_WORD, TOUCH_KEYS, nothing_started,
                        register_zuraze, start_with_keys, words_then_sync)
from steps_service import (ELECTROMAGNETIC, TOUCH, press, release, seen, stroke_events, tap,
                           wait_events)
from waiting import WAIT, wait_until

SCREEN = pytest.mark.screen(1000, 800)

WORDS = [key.word for key in protocol_tables.edge_keys()]


# A stroke off every key, and where it lands.
AWAY, AWAY_PIXEL = (3000, 900), (750, 208)


def buttons_then_sync(board, pointer):
    """The button events up to and including a marker stroke off every key."""
    tap(board, AWAY)
    marker = pointer.wait_for(lambda e: seen([e]) == [release(AWAY_PIXEL)], WAIT)
    assert marker is not None, f"the marker stroke never ended: {seen(pointer.events())}"
    return [e for e in seen(pointer.events()) if e[0] != "motion"]


MARKER_BUTTONS = [press(AWAY_PIXEL), release(AWAY_PIXEL)]


def expect_started(launchers, path, argv0):
    """Exactly one start, of `path` with argument zero `argv0` and no arguments."""
    assert launchers.wait_started(path, WAIT) is not None, \
        f"{path} not started; starts: {launchers.started()}"
    time.sleep(0.5)  # room for a second start to show up
    assert [(s.path, s.argv0, s.args) for s in launchers.started()] == [(path, argv0, "")]


def comm(pid):
    with open(f"/proc/{pid}/comm") as f:
        return f.read().strip()


# Takes the name it is given and waits; SIGINT ends it even when the test
# run was started with SIGINT ignored (as a shell's background job is).
_NAMED_SLEEPER = """
import ctypes, signal, sys, time
signal.signal(signal.SIGINT, signal.SIG_DFL)
ctypes.CDLL(None).prctl(15, ctypes.c_char_p(sys.argv[1].encode()), 0, 0, 0)  # PR_SET_NAME
time.sleep(60)
"""


@pytest.fixture
def named_process():
    """start(name) -> a live process whose name (/proc/<pid>/comm) is `name`."""
    procs = []

    def start_named(name):
        proc = subprocess.Popen(["/usr/bin/python3", "-c", _NAMED_SLEEPER, name])
        procs.append(proc)
        named = wait_until(lambda: proc.poll() is not None or comm(proc.pid) == name, WAIT, 0.01)
        assert named and proc.poll() is None, f"process {proc.pid} runs as {comm(proc.pid)!r}"
        return proc

    yield start_named
    for proc in procs:
        if proc.poll() is None:
            proc.kill()
        proc.wait()


# ---------------------------------------------------------------- edge keys

WATCHING = [
    pytest.param(TOUCH, id="touch-C8DD"),
    pytest.param((0xC8, 0xDA), id="touch-C8DA"),
    pytest.param(ELECTROMAGNETIC, id="em80-E8CE"),
    pytest.param((0xE5, 0xED), id="em50-E5ED"),
    pytest.param((0xEC, 0xCE), id="em120-ECCE"),
]


def key_table(ident):
    return TOUCH_KEYS if line_of_head(ident[0]) == "touch" else EM_KEYS


def near(position, offset):
    return (position[0] + offset[0], position[1] + offset[1])


# Entry and offset from its taught position (30 units either way still hits).
EDGE_WORDS = [
    pytest.param(0, (0, 0), id="new-page"),
    pytest.param(15, (30, -30), id="save-opposite-edge"),
    pytest.param(20, (-30, 30), id="red-pen-opposite-edge"),
    pytest.param(11, (30, 30), id="user-key-2"),
    pytest.param(9, (-30, -30), id="eraser"),
]


@SCREEN
@pytest.mark.parametrize("ident", WATCHING)
@pytest.mark.parametrize("entry,offset", EDGE_WORDS)
def test_edge_key_contact_sends_its_word_and_moves_no_pointer(
        quilld, board, config, pointer, udp, ident, entry, offset):
    start_with_keys(quilld, board, config, ident)
    tap(board, near(key_table(ident)[entry], offset))
    assert buttons_then_sync(board, pointer) == MARKER_BUTTONS
    words_then_sync(board, udp, [WORDS[entry % 14]])


@SCREEN
@pytest.mark.parametrize("ident", WATCHING)
def test_edge_key_held_sends_one_word_until_a_lift_rearms_it(quilld, board, config, pointer,
                                                             udp, ident):
    start_with_keys(quilld, board, config, ident)
    new_page = key_table(ident)[0]
    board.contact(*new_page, count=20)
    words_then_sync(board, udp, [WORDS[0]])
    board.lift(*new_page)
    board.contact(*new_page)
    words_then_sync(board, udp, [WORDS[0], SYNC_WORD, WORDS[0]])
    board.lift(*new_page)
    assert buttons_then_sync(board, pointer) == MARKER_BUTTONS


# Contacts that must reach the pointer: beyond the reach of a key, on the
# other line's table, or on a board whose identification says keys are not watched.
POINTER_CONTACTS = [
    pytest.param(TOUCH, near(TOUCH_KEYS[5], (31, 0)), id="touch-31-beyond-a-key"),
    pytest.param(ELECTROMAGNETIC, near(EM_KEYS[19], (0, -31)), id="em-31-beyond-a-key"),
    pytest.param(TOUCH, EM_KEYS[0], id="touch-on-em-table-position"),
    pytest.param(ELECTROMAGNETIC, TOUCH_KEYS[0], id="em-on-touch-table-position"),
    pytest.param((0xC8, 0xCC), TOUCH_KEYS[0], id="touch-C8CC-not-watched"),
    pytest.param((0xC8, 0xCA), TOUCH_KEYS[6], id="touch-C8CA-not-watched"),
    pytest.param((0xE8, 0xDD), EM_KEYS[0], id="em80-E8DD-not-watched"),
    pytest.param((0xE6, 0xEF), EM_KEYS[6], id="em60-E6EF-not-watched"),
]


@SCREEN
@pytest.mark.parametrize("ident,point", POINTER_CONTACTS)
def test_contact_off_every_watched_edge_key_moves_the_pointer_and_sends_nothing(
        quilld, board, config, pointer, udp, ident, point):
    start_with_keys(quilld, board, config, ident)
    tap(board, point)
    assert [kind for kind, *_ in buttons_then_sync(board, pointer)] == ["press", "release"] * 2
    words_then_sync(board, udp, [])


# ---------------------------------------------------------------- hardware keys

KEY_LINES = [
    pytest.param(TOUCH, id="touch-C8DD"),
    pytest.param((0xC8, 0xCC), id="touch-C8CC"),
    pytest.param(ELECTROMAGNETIC, id="em80-E8CE"),
    pytest.param((0xE8, 0xDD), id="em80-E8DD"),
    pytest.param((0xE5, 0xEF), id="em50-E5EF"),
    pytest.param((0xEA, 0xED), id="em100-EAED"),
]

# Every word by at least two of its codes, the same pen word never twice in a
# row (that would be a double press).
HARDWARE_WORDS = [
    (0xA9, b"anew\n"), (0xD2, b"rpen\n"), (0xDB, b"save\n"), (0xC6, b"bpen\n"),
    (0xDC, b"prev\n"), (0xC4, b"lpen\n"), (0xFD, b"next\n"), (0xD4, b"gpen\n"),
    (0xAD, b"cust\n"), (0xD5, b"eare\n"), (0xF7, b"cusp\n"), (0xFE, b"mous\n"),
    (0xC5, b"rpen\n"), (0xFA, b"anew\n"), (0xFF, b"bpen\n"), (0xD3, b"lpen\n"),
    (0xC3, b"gpen\n"), (0xC2, b"eare\n"), (0xD6, b"cust\n"), (0xAE, b"cusp\n"),
    (0xC1, b"mous\n"), (0xAB, b"prev\n"), (0xAC, b"next\n"), (0xDF, b"bpen\n"),
    (0xF2, b"rpen\n"), (0xF3, b"lpen\n"), (0xF4, b"gpen\n"), (0xF6, b"cust\n"),
]


@pytest.mark.parametrize("ident", KEY_LINES)
def test_hardware_keys_send_their_words(quilld, board, config, udp, ident):
    start_with_keys(quilld, board, config, ident)
    for code, _ in HARDWARE_WORDS:
        board.key(code)
    words_then_sync(board, udp, [word for _, word in HARDWARE_WORDS])


# Release codes and tool codes that carry no command.
IGNORED_CODES = [0xB2, 0xB1, 0xBE, 0xD1, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0x00, 0x52]


@SCREEN
@pytest.mark.parametrize("ident", KEY_LINES)
def test_release_and_tool_codes_do_nothing(quilld, board, config, pointer, udp, launchers,
                                           ident):
    start_with_keys(quilld, board, config, ident)
    for code in IGNORED_CODES:
        board.key(code)
    words_then_sync(board, udp, [])
    assert buttons_then_sync(board, pointer) == MARKER_BUTTONS
    assert nothing_started(launchers), launchers.started()


# Key presses at a pace, and the words they send.
REPEATS = [
    pytest.param(0xC5, 3, 0.1, [b"rpen\n", b"rped\n", b"rpen\n"], id="red-pen-thrice-quickly"),
    pytest.param(0xA9, 2, 0.1, [b"anew\n", b"anew\n"], id="new-page-never-doubles"),
    pytest.param(0xC5, 2, 0.5, [b"rpen\n", b"rpen\n"], id="red-pen-half-a-second-later"),
    pytest.param(0xDF, 2, 0.1, [b"bpen\n", b"bped\n"], id="black-pen-twice-quickly"),
]


@pytest.mark.parametrize("ident", [TOUCH, ELECTROMAGNETIC], ids=["touch", "em"])
@pytest.mark.parametrize("code,times,spacing,words", REPEATS)
def test_pen_key_pressed_again_within_a_fifth_of_a_second_sends_the_double_word(
        quilld, board, config, udp, ident, code, times, spacing, words):
    start_with_keys(quilld, board, config, ident)
    board.key(code, count=times, rate=1 / spacing)
    words_then_sync(board, udp, words)


# ---------------------------------------------------------------- launchers

def hardware(code):
    return lambda board, ident: board.key(code)


def edge_key(entry):
    def press_key(board, ident):
        tap(board, key_table(ident)[entry])
    return press_key


LAUNCHES = [
    pytest.param(TOUCH, hardware(0xA1), WHITEBOARD_LAUNCHER, "run", id="touch-board-key"),
    pytest.param(ELECTROMAGNETIC, hardware(0xA1), WHITEBOARD_LAUNCHER, "run", id="em-board-key"),
    pytest.param(ELECTROMAGNETIC, hardware(0xD9), WHITEBOARD_LAUNCHER, "run", id="em-start3"),
    pytest.param(TOUCH, hardware(0xF9), WHITEBOARD_LAUNCHER, "run", id="touch-start2"),
    pytest.param(TOUCH, hardware(0xA2), ORIENT_LAUNCHER, "Zuraze", id="touch-orient-key"),
    pytest.param(ELECTROMAGNETIC, hardware(0xA2), ORIENT_LAUNCHER, "Zuraze", id="em-orient-key"),
    pytest.param(ELECTROMAGNETIC, hardware(0xD8), ORIENT_LAUNCHER, "Zuraze", id="em-orient3"),
    pytest.param(TOUCH, hardware(0xF8), ORIENT_LAUNCHER, "Zuraze", id="touch-orient2"),
    pytest.param(TOUCH, edge_key(KEY_START), WHITEBOARD_LAUNCHER, "run", id="touch-edge-start"),
    pytest.param(ELECTROMAGNETIC, edge_key(KEY_START + 14), WHITEBOARD_LAUNCHER, "run",
                 id="em-edge-start-opposite-edge"),
]


@SCREEN
@pytest.mark.parametrize("ident,press_key,launcher,argv0", LAUNCHES)
def test_start_keys_run_their_launcher(quilld, board, config, udp, launchers, ident,
                                       press_key, launcher, argv0):
    start_with_keys(quilld, board, config, ident)
    press_key(board, ident)
    expect_started(launchers, launcher, argv0)
    words_then_sync(board, udp, [])


# The touch line's calibration edge key stops a running calibration tool
# instead of starting another; "Zuraze" in the registry says which is running.
# "tool" and "foreign" stand for the id of a live process of that name.
PROCESS_NAMES = {"tool": "Zuraze", "foreign": "Edgetab"}
REGISTRY_CASES = [
    pytest.param("-1", True, False, id="not-running"),
    pytest.param(None, True, False, id="never-registered"),
    pytest.param("tool", False, True, id="running-tool-interrupted"),
    pytest.param("foreign", False, False, id="foreign-process-left-alone"),
    pytest.param("0", False, False, id="zero-does-nothing"),
]


@SCREEN
@pytest.mark.parametrize("entry", [KEY_ORIENT, KEY_ORIENT + 14], ids=["edge", "opposite-edge"])
@pytest.mark.parametrize("registered,starts,interrupted", REGISTRY_CASES)
def test_touch_calibration_edge_key_starts_or_interrupts_the_calibration_tool(
        quilld, board, config, udp, launchers, named_process, entry, registered,
        starts, interrupted):
    service = start_with_keys(quilld, board, config, TOUCH)
    running = None
    if registered in PROCESS_NAMES:
        running = named_process(PROCESS_NAMES[registered])
        registered = running.pid
    register_zuraze(config, service, registered)

    tap(board, TOUCH_KEYS[entry])
    words_then_sync(board, udp, [])
    if starts:
        expect_started(launchers, ORIENT_LAUNCHER, "Zuraze")
    else:
        assert nothing_started(launchers), launchers.started()
    if running is not None:
        status = running.wait(WAIT) if interrupted else running.poll()
        assert status == (-signal.SIGINT if interrupted else None)


ORIENT_REGARDLESS = [
    pytest.param(ELECTROMAGNETIC, edge_key(KEY_ORIENT), id="em-edge-key"),
    pytest.param((0xEA, 0xED), edge_key(KEY_ORIENT + 14), id="em100-edge-key-opposite-edge"),
    pytest.param(TOUCH, hardware(0xA2), id="touch-hardware-key"),
]


@SCREEN
@pytest.mark.parametrize("ident,press_key", ORIENT_REGARDLESS)
def test_calibration_key_starts_the_launcher_even_while_the_tool_runs(
        quilld, board, config, udp, launchers, named_process, ident, press_key):
    service = start_with_keys(quilld, board, config, ident)
    running = named_process("Zuraze")
    register_zuraze(config, service, running.pid)
    press_key(board, ident)
    expect_started(launchers, ORIENT_LAUNCHER, "Zuraze")
    words_then_sync(board, udp, [])
    assert running.poll() is None, "the running calibration tool was signalled"


# ---------------------------------------------------------------- pen buttons

PEN_FRONT, PEN_BACK = 0x85, 0x87
EM_LINES = [
    pytest.param(ELECTROMAGNETIC, id="em80-E8CE"),
    pytest.param((0xE8, 0xDD), id="em80-E8DD"),
    pytest.param((0xE5, 0xED), id="em50-E5ED"),
    pytest.param((0xEC, 0xEF), id="em120-ECEF"),
]
HERE, HERE_PIXEL = (1000, 2400), (250, 528)
RIGHT_CLICK = [press(HERE_PIXEL, 3), release(HERE_PIXEL, 3)]  # button 1 is up already


@SCREEN
@pytest.mark.parametrize("ident", EM_LINES)
def test_back_button_right_clicks_each_time_and_sends_elbc_once_per_lift(
        quilld, board, config, pointer, udp, ident):
    start_with_keys(quilld, board, config, ident)
    tap(board, HERE)
    board.pen_button(PEN_BACK, *HERE, count=3)
    expected = stroke_events(HERE_PIXEL) + RIGHT_CLICK * 3
    assert seen(wait_events(pointer, len(expected))) == expected
    words_then_sync(board, udp, [b"elbc\n"])


@SCREEN
@pytest.mark.parametrize("ident", EM_LINES)
def test_front_button_left_clicks_and_sends_elfc_once_per_lift(quilld, board, config, pointer,
                                                              udp, ident):
    start_with_keys(quilld, board, config, ident)
    tap(board, HERE)
    board.pen_button(PEN_FRONT, *HERE, count=2)
    assert buttons_then_sync(board, pointer) == \
        [press(HERE_PIXEL), release(HERE_PIXEL)] * 2 + MARKER_BUTTONS
    words_then_sync(board, udp, [b"elfc\n"])


# The first button packet of a run, before any lift: the front button does
# nothing, the back button still right-clicks where the pointer is.
FIRST_BUTTONS = [
    pytest.param(PEN_FRONT, [], id="front"),
    pytest.param(PEN_BACK, [("press", 3), ("release", 3)], id="back"),
]


@SCREEN
@pytest.mark.parametrize("ident", EM_LINES)
@pytest.mark.parametrize("button,clicks", FIRST_BUTTONS)
def test_pen_button_before_the_first_lift_sends_no_word(quilld, board, config, pointer, udp,
                                                        ident, button, clicks):
    start_with_keys(quilld, board, config, ident)
    board.pen_button(button, *HERE)
    assert [(kind, b) for kind, _, _, b in buttons_then_sync(board, pointer)] == \
        clicks + [("press", 1), ("release", 1)]
    words_then_sync(board, udp, [])


@pytest.mark.parametrize("ident", EM_LINES)
def test_back_button_twice_quickly_across_a_lift_starts_the_whiteboard_and_sends_elbd(
        quilld, board, config, udp, launchers, ident):
    start_with_keys(quilld, board, config, ident)
    board.lift(*HERE)
    # Lift, button, lift, button at 0.05 s steps: the buttons 0.1 s apart.
    for event in (PEN_BACK, 0x61, PEN_BACK):
        board.send(board.packet(event, *HERE))
        time.sleep(0.05)
    words_then_sync(board, udp, [b"elbc\n", b"elbd\n"])
    expect_started(launchers, WHITEBOARD_LAUNCHER, "run")


@SCREEN
def test_touch_line_ignores_pen_button_packets(quilld, board, config, pointer, udp):
    start_with_keys(quilld, board, config, TOUCH)
    tap(board, HERE)
    board.pen_button(PEN_FRONT, *HERE)
    board.pen_button(PEN_BACK, *HERE)
    assert buttons_then_sync(board, pointer) == \
        [press(HERE_PIXEL), release(HERE_PIXEL)] + MARKER_BUTTONS
    words_then_sync(board, udp, [])
