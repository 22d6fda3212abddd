"""Steps of the scenarios that run the service against the simulated board:
starting it with its board identified, tapping the board, and the pointer
events and greetings that come of it.

    from steps_service import CALIBRATION, TOUCH, start_identified, tap, seen, wait_events
"""
import time

from plugin_service import QUILLD
from waiting import WAIT

# Board corners TL, BL, TR, BR stored as points 0..3; the 2 by 2 targets on
# 1000 by 800 lie at (100, 80), (100, 720), (900, 80), (900, 720).
CALIBRATION = [(400, 300), (400, 3300), (3600, 300), (3600, 3300)]
# Board point -> pixel under CALIBRATION.
MAPPED = [
    ((2000, 1800), (500, 400)),
    ((100, 100), (25, 37)),
    ((400, 300), (100, 80)),
    ((3600, 3300), (900, 720)),
    ((1000, 2400), (250, 528)),
    ((3000, 900), (750, 208)),
]
# The middle of the board is the middle of the screen.
MIDDLE = (2000, 1800)
MIDDLE_PIXEL = (500, 400)

TOUCH, ELECTROMAGNETIC = (0xC8, 0xDD), (0xE8, 0xCE)

GREETING = bytes([0xCE, 0, 0, 0, 0, 0, 0, 0])
# What the service prints on a reload, and on a SIGUSR1 restart in either build.
RELOADED = "signal_usr2 called"
RESTARTED = "111111111111111111111111111111111called"
COMPACT_RESTARTED = "Quilld:signal_usr1 called"


def start_identified(quilld, board, config, ident, config_text, program=QUILLD):
    """The service started with config_text, its board identified as ident."""
    config.write(config_text)
    board.ident = ident
    service = quilld(program=program)
    assert service.wait_pid_line(WAIT), service.output()
    assert board.wait_greetings(1, WAIT), "the service never greeted the board"
    assert service.wait_line("signal_usr2 called", WAIT), service.output()
    # The loop pauses after the identification and the reload runs beside it.
    time.sleep(0.4)
    return service


def started_up(service, board):
    """True once the service has printed its id and greeted the board; the
    greeting comes after every start-up step."""
    greeted = board.greetings()
    return service.wait_line("pid=") is not None and board.wait_greetings(greeted + 1, WAIT)


def greeting_times(board):
    """When each greeting reached the board, in order."""
    times, tail = [], b""
    for t, chunk in board.received():
        stream = tail + chunk
        times += [t] * stream.count(GREETING)
        tail = stream[-(len(GREETING) - 1):]
    return times


# ---------------------------------------------------------------- the pointer

def wait_events(pointer, n):
    """The first n pointer events, failing when fewer arrive."""
    assert pointer.wait_for(lambda e: True, WAIT, since=n - 1) is not None, \
        f"{n} pointer events awaited, got {seen(pointer.events())}"
    return pointer.events()[:n]


def seen(events):
    return [(e.kind, e.x, e.y, e.button) for e in events]


def motion(pixel):
    return ("motion", *pixel, 0)


def press(pixel, button=1):
    return ("press", *pixel, button)


def release(pixel, button=1):
    return ("release", *pixel, button)


def stroke_events(pixel):
    """Contact and lift at one place: moved there and pressed, moved there and released."""
    return [motion(pixel), press(pixel), motion(pixel), release(pixel)]


def tap(board, point):
    board.contact(*point)
    board.lift(*point)
