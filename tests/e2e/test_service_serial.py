"""The service's life on the serial line: greeting the board, re-greeting a
silent one, surviving unplugging, and restarting or reloading on signals."""
import signal
import time

import pytest

from plugin_service import QUILLD, SERVICE_PROGRAMS
from steps_service import (CALIBRATION, COMPACT_RESTARTED, MIDDLE, MIDDLE_PIXEL, RELOADED,
                           RESTARTED, greeting_times)
from waiting import WAIT

ELECTROMAGNETIC_TRACE = "------x:"

# A 1000 by 800 screen and the four calibration points of CALIBRATION: the
# middle of the board is the middle of the screen.
SCREEN = pytest.mark.screen(1000, 800)
# The same board, calibrated 400 units further left: the middle lands 100 px right.
SHIFTED_CALIBRATION = [(0, 300), (0, 3300), (3200, 300), (3200, 3300)]
SHIFTED_MIDDLE_PIXEL = (600, 400)

# Nine read time-outs of 0.2 s make a re-greeting, so a correct service is
# never silent for less than 1.8 s between a packet and its next greeting
# (less some slack for timer granularity).
SHORTEST_SILENCE_BEFORE_REGREETING = 1.5
ABOUT_1_8_S = (1.4, 3.5)
ABOUT_1_S = (0.5, 3.5)
WITHIN_ABOUT_2_S = 4.0  # the port is retried every 2 s


def stroke(board, pointer, point=MIDDLE):
    """One stroke at a board point, sent with redundancy: the pixel where
    button 1 went down, once it has come up again; None if either is missing."""
    since = len(pointer.events())
    board.contact(*point, count=10)
    board.lift(*point, count=2)
    press = pointer.wait_press(1, WAIT, since)
    release = pointer.wait_release(1, WAIT, since)
    return None if press is None or release is None else (press.x, press.y)


def start_calibrated(config, quilld, points=CALIBRATION, program=QUILLD):
    config.write(config.calibration(points))
    service = quilld(program=program)
    assert service.wait_pid_line()
    return service


def within(window, value):
    low, high = window
    return low <= value <= high


# ---------------------------------------------------------------- the board comes and goes

@SCREEN
def test_board_plugged_in_after_start_is_greeted_within_about_2_s(config, quilld, board, pointer):
    board.unplug()
    service = start_calibrated(config, quilld)
    time.sleep(2.5)  # long enough for the service to have found no port at least once
    assert service.wait_exit(0) is None

    plugged_at = time.monotonic()
    board.plug()
    assert board.wait_greetings(1, WAIT)
    assert greeting_times(board)[0] - plugged_at <= WITHIN_ABOUT_2_S
    assert service.wait_line(RELOADED)
    assert stroke(board, pointer) == MIDDLE_PIXEL


@SCREEN
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_board_unplugged_mid_run_and_replugged_is_greeted_and_draws_again(config, quilld, board,
                                                                         pointer, program):
    service = start_calibrated(config, quilld, program=program)
    assert service.wait_line(RELOADED)
    assert stroke(board, pointer) == MIDDLE_PIXEL

    greeted = board.greetings()
    board.unplug()
    time.sleep(1.0)  # the service finds the board gone while it is away
    board.plug()
    assert board.wait_greetings(greeted + 1, WAIT)
    assert service.wait_count(RELOADED, 2, WAIT), "the new board is identified"
    assert stroke(board, pointer) == MIDDLE_PIXEL


# ---------------------------------------------------------------- greeting and silence

@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_silent_board_is_greeted_at_start_and_again_about_every_1_8_s(config, quilld, board,
                                                                      program):
    board.ident = None
    service = quilld(program=program)
    assert service.wait_pid_line()
    assert board.wait_greetings(4, 4 * WAIT)
    times = greeting_times(board)[:4]
    intervals = [later - earlier for earlier, later in zip(times, times[1:])]
    assert all(within(ABOUT_1_8_S, i) for i in intervals), intervals
    assert RELOADED not in service.output(), "nothing was identified"


def test_any_8_byte_packet_holds_off_the_re_greeting(config, quilld, board):
    """Bad-check packets about every second keep the silence below nine read
    time-outs, so no greeting may follow a packet sooner than a full silence
    would allow. The check holds whatever the sender's timing, so it cannot
    flake; a service that ignored the packets would re-greet within about a
    second of one of them."""
    board.ident = None
    service = quilld()
    assert service.wait_line("pid=")
    assert board.wait_greetings(1, WAIT)

    sent = []
    for _ in range(6):
        sent.append(time.monotonic())
        board.bad_packet(0x51, *MIDDLE)
        time.sleep(1.0)
    greeted = len(greeting_times(board))
    assert board.wait_greetings(greeted + 1, WAIT), "silence after the packets is re-greeted"

    for greeting in greeting_times(board):
        before = [t for t in sent if t <= greeting]
        if before:
            silence = greeting - before[-1]
            assert silence >= SHORTEST_SILENCE_BEFORE_REGREETING, \
                f"re-greeted {silence:.2f} s after a packet"


def test_identification_reply_is_evaluated_once_per_reader_run(config, quilld, board):
    service = quilld()
    assert service.wait_line(RELOADED)
    greeted = board.greetings()
    # The board answers every re-greeting with its identification again.
    assert board.wait_greetings(greeted + 2, 3 * WAIT)
    assert service.count(RELOADED) == 1


# ---------------------------------------------------------------- SIGUSR1 and SIGUSR2

@SCREEN
def test_sigusr1_reopens_the_port_and_greets_the_board_about_1_s_later(config, quilld, board,
                                                                      pointer):
    service = start_calibrated(config, quilld)
    assert service.wait_line(RELOADED)

    for restart in (1, 2):
        since = len(service.lines())
        signalled_at = time.monotonic()
        service.send(signal.SIGUSR1)
        assert service.wait_line(RESTARTED, WAIT, since)
        # Each reader run evaluates the identification once: a new one means a new run.
        identified = service.wait_line(RELOADED, WAIT, since)
        assert identified, f"restart {restart}: the board is identified anew"
        greeted_at = max(t for t in greeting_times(board) if t <= identified[0])
        assert within(ABOUT_1_S, greeted_at - signalled_at), greeted_at - signalled_at
        assert service.count(RESTARTED) == restart
        assert stroke(board, pointer) == MIDDLE_PIXEL


@SCREEN
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_sigusr2_reloads_calibration_for_the_next_stroke_without_reopening_the_port(
        config, quilld, board, pointer, program):
    service = start_calibrated(config, quilld, program=program)
    assert service.wait_line(RELOADED)
    assert stroke(board, pointer) == MIDDLE_PIXEL

    config.write(config.calibration(SHIFTED_CALIBRATION) + f"[PID]\nQuilld={service.pid}\n")
    assert stroke(board, pointer) == MIDDLE_PIXEL, "a stored calibration waits for SIGUSR2"

    greeted = board.greetings()
    since = len(service.lines())
    service.send(signal.SIGUSR2)
    assert service.wait_line(RELOADED, WAIT, since)
    if program == QUILLD:
        last = len(SHIFTED_CALIBRATION) - 1
        assert service.wait_line("orient......%d:(%d %d)" % (last, *SHIFTED_CALIBRATION[last]),
                                 WAIT, since)
    else:
        assert "orient......" not in service.output(), "the compact build loads silently"
    # The reload takes its tables into use right after reading the last point
    # (the compact build prints none, so its marker is the reload line alone).
    time.sleep(0.5)
    assert stroke(board, pointer) == SHIFTED_MIDDLE_PIXEL

    # A reopened port would start a reader run that identifies the board again.
    assert board.wait_greetings(greeted + 2, 3 * WAIT)
    assert service.count(RELOADED) == 2
    assert RESTARTED not in service.output() and COMPACT_RESTARTED not in service.output()


@SCREEN
def test_touch_board_stays_touch_after_restart_without_identification(config, quilld, board,
                                                                      pointer):
    service = start_calibrated(config, quilld)
    assert service.wait_line(RELOADED)

    # From now on the board answers nothing, as when a tool took the reply.
    board.ident = None
    greeted = board.greetings()
    assert board.wait_greetings(greeted + 1, WAIT)
    # Right after a greeting the old run is far from its next re-greeting, so
    # the next greeting comes from the new run.
    service.send(signal.SIGUSR1)
    assert service.wait_line(RESTARTED)
    assert board.wait_greetings(greeted + 2, WAIT)

    assert stroke(board, pointer) == MIDDLE_PIXEL
    assert ELECTROMAGNETIC_TRACE not in service.output()
    assert service.count(RELOADED) == 1
