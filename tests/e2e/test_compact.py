"""The compact service build: what a user or a peer program sees differ from
the full service. Behaviour both builds share runs for both in the service
scenarios (parametrised over the program)."""
import os
import signal
import tempfile
import time

import pytest

from launchers import StubLaunchers
from plugin_sandbox import require_sandbox
from plugin_service import QUILLD_COMPACT
from plugin_tools import DUPWARN, ZURAZE
from steps_service import CALIBRATION, ELECTROMAGNETIC, MIDDLE, MIDDLE_PIXEL, RELOADED, TOUCH
from waiting import WAIT, wait_until

SCREEN = pytest.mark.screen(1000, 800)

# Under CALIBRATION, the board's corner and its pixel.
CORNER, CORNER_PIXEL = (3600, 3300), (900, 720)
# The calibration keys are watched on TOUCH, not on ELECTROMAGNETIC; on this one they are.
ELECTROMAGNETIC_WATCHED = (0xE8, 0xDD)


@pytest.fixture
def zuraze():
    """A recording stub at the calibration tool's path; the original comes back after."""
    require_sandbox("zuraze")
    record = tempfile.mktemp(prefix="zuraze-starts-", dir="/tmp")
    with StubLaunchers(record, paths=(ZURAZE,)).install() as stubs:
        yield stubs


def start_compact(quilld, board, config, ident=TOUCH, extra=""):
    config.write(config.calibration(CALIBRATION) + extra)
    board.ident = ident
    service = quilld(program=QUILLD_COMPACT)
    assert service.wait_pid_line(WAIT), service.output()
    assert service.wait_line(RELOADED, WAIT), service.output()
    time.sleep(0.4)  # the loop pauses after the identification
    return service


def tool_starts(zuraze, expected, timeout=WAIT):
    """The calibration tool's starts once there are `expected`, checked to stay
    at that number for a moment; each was the program itself with argv0 Zuraze."""
    wait_until(lambda: len(zuraze.started()) >= expected, timeout)
    time.sleep(0.5)  # a start too many would show up now
    starts = zuraze.started()
    assert all(s.path == ZURAZE and s.argv0 == "Zuraze" and s.args == "" for s in starts), starts
    return len(starts)


def presses(pointer):
    return [(e.x, e.y, e.button) for e in pointer.events() if e.kind == "press"]


# ---------------------------------------------------------------- start-up and signals

def test_start_up_prints_the_bare_pid_and_the_identified_flags(config, quilld, board):
    service = start_compact(quilld, board, config)
    lines = [line.rstrip("\n") for line in service.lines()]
    assert str(service.pid) in lines and f"pid={service.pid}" not in lines
    assert "valu_flags=0 iRealEdgetab=0" in lines
    assert not any(line.startswith("orient......") for line in lines)


def test_sigterm_prints_catch_int_exits_0_and_leaves_the_registry(config, quilld, board):
    service = start_compact(quilld, board, config)
    assert config.registry("Quilld") == service.pid
    service.send(signal.SIGTERM)
    assert service.wait_exit(WAIT) == 0
    assert service.lines()[-2:] == ["\n", "catch_int\n"], service.lines()[-4:]
    assert config.registry("Quilld") == service.pid


def test_sigusr1_restarts_the_reader_with_its_own_text(config, quilld, board):
    service = start_compact(quilld, board, config)
    service.send(signal.SIGUSR1)
    assert service.wait_line("Quilld:signal_usr1 called", WAIT)
    assert service.wait_count(RELOADED, 2, WAIT), "the new reader run identifies the board"
    assert "111111111111111111111111111111111called" not in service.output()


def test_held_lock_is_reported_without_the_warning_program(config, quilld, board):
    first = start_compact(quilld, board, config)
    record = tempfile.mktemp(prefix="dupwarn-starts-", dir="/tmp")
    with StubLaunchers(record, paths=(DUPWARN,)).install() as dupwarn:
        second = quilld(program=QUILLD_COMPACT)
        assert second.wait_exit(WAIT) == 1
        assert second.output().startswith("Board Service running\nLOG_ERR Can not lock "
                                          "/tmp/Quilld.mux:")
        time.sleep(0.5)
        assert dupwarn.started() == []
    assert first.wait_exit(0) is None


def test_missing_configuration_file_is_not_created(config, quilld, board):
    os.unlink(config.path)
    board.ident = TOUCH
    service = quilld(program=QUILLD_COMPACT)
    assert service.wait_pid_line(WAIT)
    assert service.wait_line(RELOADED, WAIT)
    service.send(signal.SIGUSR2)
    assert service.wait_count(RELOADED, 2, WAIT)
    assert service.stop() == 0
    assert not os.path.exists(config.path)


# ---------------------------------------------------------------- calibration keys

# (extra configuration, contact point, whether it starts the tool)
KEY_LAYOUTS = [
    pytest.param("[HOTKEY]\nkeyX12=2000\nkeyY12=1800\n", (10, 20), True,
                 id="numbered-keys-ignored-key-at-0-1"),
    pytest.param("[HOTKEY]\nkeyX12=2000\nkeyY12=1800\n", MIDDLE, False,
                 id="numbered-key-position-draws"),
    pytest.param("[HOTKEY12]\nkeyX=2000\nkeyY=1800\n", (2030, 1770), True,
                 id="section-12-within-30"),
    pytest.param("[HOTKEY26]\nkeyX=2000\nkeyY=1800\n", (1970, 1830), True,
                 id="section-26-within-30"),
    pytest.param("[HOTKEY12]\nkeyX=2000\nkeyY=1800\n", (2031, 1800), False,
                 id="section-12-31-off"),
    pytest.param("[HOTKEY5]\nkeyX=2000\nkeyY=1800\n", MIDDLE, False,
                 id="other-keys-unused"),
]


@SCREEN
@pytest.mark.parametrize("extra,point,starts", KEY_LAYOUTS)
def test_only_keys_12_and_26_from_their_sections_start_the_tool(config, quilld, board, pointer,
                                                                zuraze, extra, point, starts):
    start_compact(quilld, board, config, extra=extra)
    board.contact(*point)
    board.lift(*point)
    board.contact(*CORNER)   # a marker stroke: everything before it is handled
    board.lift(*CORNER)
    assert pointer.wait_for(lambda e: e.kind == "release" and (e.x, e.y) == CORNER_PIXEL,
                            WAIT) is not None
    assert tool_starts(zuraze, 1 if starts else 0) == (1 if starts else 0)
    expected_presses = 1 if starts else 2
    assert len([p for p in presses(pointer) if p[2] == 1]) == expected_presses


@SCREEN
@pytest.mark.parametrize("ident", [TOUCH, ELECTROMAGNETIC_WATCHED], ids=["touch", "em"])
def test_key_12_held_starts_the_tool_once_until_a_lift(config, quilld, board, pointer, zuraze,
                                                       ident):
    key = "[HOTKEY12]\nkeyX=2000\nkeyY=1800\n"
    start_compact(quilld, board, config, ident=ident, extra=key)
    board.contact(*MIDDLE, count=20)
    assert tool_starts(zuraze, 1) == 1
    board.lift(*MIDDLE)
    board.contact(*MIDDLE, count=5)
    assert tool_starts(zuraze, 2) == 2
    assert presses(pointer) == [], "a key hit makes no pointer action"


@SCREEN
def test_keys_are_not_watched_when_the_board_says_so(config, quilld, board, pointer, zuraze):
    start_compact(quilld, board, config, ident=ELECTROMAGNETIC,
                  extra="[HOTKEY12]\nkeyX=2000\nkeyY=1800\n")
    board.contact(*MIDDLE)
    board.lift(*MIDDLE)
    assert pointer.wait_release(1, WAIT, 0) is not None
    assert tool_starts(zuraze, 0) == 0


# (board, key codes that start the tool, one per packet)
HARDWARE_KEYS = [
    pytest.param(TOUCH, [0xA2, 0xA2, 0xA2], id="touch-A2-three-times"),
    pytest.param(ELECTROMAGNETIC, [0x28, 0xD8, 0xF8], id="em-28-D8-F8"),
]


def test_hardware_calibration_keys_start_the_tool_for_every_packet(config, quilld, board, zuraze):
    for ident, codes in [p.values for p in HARDWARE_KEYS]:
        service = start_compact(quilld, board, config, ident=ident)
        for code in codes:
            board.key(code)
        assert tool_starts(zuraze, len(codes)) == len(codes), ident
        assert service.stop() == 0
        os.unlink(zuraze.record_file)


def test_other_events_print_on_touch_and_are_silent_on_em(config, quilld, board, udp, zuraze):
    service = start_compact(quilld, board, config, ident=TOUCH)
    for code in (0xA1, 0xA9, 0xC6, 0x85, 0x87):
        board.key(code)
    for code in ("a1", "a9", "c6", "85", "87"):
        assert service.wait_line(f"roverbuff[2]={code}", WAIT), service.output()
    service.stop()

    service = start_compact(quilld, board, config, ident=ELECTROMAGNETIC)
    before = len(service.lines())
    for code in (0xD9, 0xDA, 0xDF, 0x85, 0x87, 0xA2):
        board.key(code)
    time.sleep(1.0)
    assert service.lines()[before:] == []
    assert udp.datagrams() == [], "no command words from this build"
    assert tool_starts(zuraze, 0) == 0


@SCREEN
def test_pen_buttons_make_no_clicks(config, quilld, board, pointer):
    start_compact(quilld, board, config, ident=ELECTROMAGNETIC)
    board.contact(*MIDDLE)
    board.lift(*MIDDLE)
    board.pen_button(0x85, *MIDDLE)
    board.pen_button(0x87, *MIDDLE)
    board.contact(*MIDDLE)
    board.lift(*MIDDLE)
    assert pointer.wait_release(1, WAIT, 4) is not None
    assert presses(pointer) == [(*MIDDLE_PIXEL, 1), (*MIDDLE_PIXEL, 1)]


# ---------------------------------------------------------------- pointer

@SCREEN
@pytest.mark.parametrize("ident", [TOUCH, ELECTROMAGNETIC], ids=["touch", "em"])
def test_every_lift_moves_the_pointer(config, quilld, board, pointer, ident):
    start_compact(quilld, board, config, ident=ident)
    board.contact(*MIDDLE)
    board.lift(400, 300)
    board.lift(3600, 3300)
    assert pointer.wait_motion_to(900, 720, WAIT) is not None
    kinds = [(e.kind, e.x, e.y, e.button) for e in pointer.events()]
    assert kinds == [("motion", 500, 400, 0), ("press", 500, 400, 1),
                     ("motion", 100, 80, 0), ("release", 100, 80, 1),
                     ("motion", 900, 720, 0)]


@SCREEN
def test_pen_held_still_right_clicks_on_the_91st_still_sample(config, quilld, board, pointer):
    start_compact(quilld, board, config)
    # The first contact moves and presses; each still sample after it moves.
    board.contact(*MIDDLE, count=1 + 90)
    assert pointer.wait_for(lambda e: True, WAIT, since=91) is not None
    assert [e.button for e in pointer.events() if e.kind == "press"] == [1], \
        "no right click up to the 90th still sample"
    board.contact(*MIDDLE)
    assert pointer.wait_press(3, WAIT) is not None
    buttons = [(e.kind, e.button) for e in pointer.events() if e.kind != "motion"]
    assert buttons == [("press", 1), ("release", 1), ("press", 3), ("release", 3)]
