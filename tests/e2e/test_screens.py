"""The service follows the X screen: a new resolution, and the monitor that the
stored calibration names, removed and restored, while it runs.

Monitors are RandR monitors made with xrandr --setmonitor on Xvfb (which keeps
its RandR state only with -noreset, as the fixture starts it). Monitors are
named in the tests, never taken by index.
"""
import subprocess
import time

import pytest

from plugin_service import SERVICE_PROGRAMS
from test_service_pointer import WAIT, seen, start_identified, stroke_events, tap, wait_events

SCREEN = pytest.mark.screen(1000, 800)
# Board units are pixels of the 1000 by 800 screen: targets 10 % inside.
IDENTITY_1000x800 = [(100, 80), (100, 720), (900, 80), (900, 720)]
# A 500 by 800 monitor's targets, relative to its origin, at board units 1000
# further on: the board's edge 0 lies beyond the monitor's left edge.
SHIFTED_500x800 = [(1050, 1080), (1050, 1720), (1450, 1080), (1450, 1720)]


def xrandr(xserver, *args):
    subprocess.run(["xrandr", *args], env=xserver.env(), check=True, capture_output=True,
                   timeout=WAIT)


def split_in_two(xserver):
    """Monitors "left" (500x800+0+0) and "right" (500x800+500+0)."""
    xrandr(xserver, "--setmonitor", "left", "500/132x800/211+0+0", "screen")
    xrandr(xserver, "--setmonitor", "right", "500/132x800/211+500+0", "none")


def taps_land(board, pointer, taps):
    """Taps each board point; the strokes seen, and those expected on the pixels."""
    pointer.clear()
    for point, _ in taps:
        tap(board, point)
    expected = [e for _, pixel in taps for e in stroke_events(pixel)]
    return seen(wait_events(pointer, len(expected))), expected


@SCREEN
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_a_new_resolution_is_followed_without_a_restart(quilld, board, config, pointer, xserver,
                                                        program):
    service = start_identified(quilld, board, config, (0xC8, 0xDD),
                               config.calibration(IDENTITY_1000x800), program)
    got, want = taps_land(board, pointer, [((500, 400), (500, 400)), ((900, 720), (900, 720))])
    assert got == want

    reloads = service.count("signal_usr2 called")
    xrandr(xserver, "--newmode", "800x600_e2e", "40", "800", "840", "968", "1056",
           "600", "601", "605", "628")
    xrandr(xserver, "--addmode", "screen", "800x600_e2e")
    xrandr(xserver, "--output", "screen", "--mode", "800x600_e2e")
    # The X server keeps the pointer one pixel inside the screen's edge.
    # Within a second the grid is laid out anew on 800 by 600: the same board
    # points now belong to the targets at 10 % of the smaller screen.
    time.sleep(1.0)
    assert service.count("signal_usr2 called") == reloads, "a reload must not need SIGUSR2"
    got, want = taps_land(board, pointer, [((500, 400), (400, 300)), ((900, 720), (720, 540)),
                                      ((2000, 2000), (799, 599))])
    assert got == want


@SCREEN
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_the_stored_monitor_is_mapped_into_left_when_gone_and_taken_again(
        quilld, board, config, pointer, xserver, program):
    split_in_two(xserver)
    service = start_identified(quilld, board, config, (0xC8, 0xDD),
                               config.calibration(SHIFTED_500x800) + "[Monitor]\nname=right\n",
                               program)
    on_right = 'The board maps onto monitor "right" (500x800+500+0).'
    assert service.wait_line(on_right, WAIT), service.output()
    # Inside the right monitor, and clamped to its edges: never onto "left"
    # (the X server keeps the pointer one pixel inside the screen's own edge).
    inside = [((1250, 1400), (750, 400)), ((1050, 1080), (550, 80)), ((0, 1400), (500, 400)),
              ((4000, 4000), (999, 799))]
    got, want = taps_land(board, pointer, inside)
    assert got == want

    xrandr(xserver, "--delmonitor", "right")
    gone = 'Monitor "right" is not connected: the board maps onto the whole screen (1000x800).'
    assert service.wait_line(gone, WAIT), service.output()
    # The whole screen, by the same calibration: its targets laid out on 1000 by 800.
    got, want = taps_land(board, pointer, [((1250, 1400), (500, 400)), ((1050, 1080), (100, 80))])
    assert got == want

    xrandr(xserver, "--setmonitor", "right", "500/132x800/211+500+0", "none")
    assert service.wait_count(on_right, 2, timeout=WAIT), service.output()
    got, want = taps_land(board, pointer, inside[:2])
    assert got == want
    assert service.count(gone) == 1
