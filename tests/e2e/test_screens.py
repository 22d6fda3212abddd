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
from plugin_tools import EDGETAB
from plugin_x import DEFAULT_SCREEN
from steps_service import seen, start_identified, stroke_events, tap, wait_events
from steps_tools import (ACTIVE, key_corner, lands, picture, target_centres, target_colour,
                         touch_target, transform)
from waiting import WAIT, wait_until

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

    # Moved and made smaller: followed, the targets on its new rectangle.
    xrandr(xserver, "--delmonitor", "right")
    xrandr(xserver, "--setmonitor", "right", "400/106x600/158+600+100", "none")
    assert service.wait_line('The board maps onto monitor "right" (400x600+600+100).', WAIT)
    got, want = taps_land(board, pointer, [((1250, 1400), (800, 400)), ((1050, 1080), (640, 160))])
    assert got == want


# ------------------------------------------------------------ calibrating one monitor

RIGHT = (512, 0, 512, 768)  # x, y, width, height


@pytest.fixture
def two_monitors(xserver):
    """Monitors "left" and "right" halves of the 1024 by 768 screen, made
    before the window manager starts, so that it knows them too."""
    xrandr(xserver, "--setmonitor", "left", "512/135x768/203+0+0", "screen")
    xrandr(xserver, "--setmonitor", "right", "512/135x768/203+512+0", "none")


def choose_monitor(tool, desktop, label):
    """Picks the monitor by its label in the settings window's list."""
    desktop.keys(tool.settings, "alt+m")
    for key in ["Home", "Down", "Down", "Down"]:
        since = len(tool.program.lines())
        desktop.keys(tool.settings, key)
        if tool.program.wait_line(f"monitor: {label}", 0.5, since=since):
            return
    raise AssertionError(f"{label} not in the list: {tool.program.output()}")


@pytest.mark.screen(*DEFAULT_SCREEN)
def test_the_right_monitor_is_calibrated_and_mapped_into_alone(
        two_monitors, config, quilld, zuraze, board, pointer, desktop, artifacts):
    config.write("[coordinate]\ndotNum=0\n")
    service = quilld()
    assert service.wait_line("signal_usr2 called", WAIT), service.output()
    tool = zuraze()
    tool.wait_settings()
    choose_monitor(tool, desktop, "right 512x768")
    desktop.screenshot(artifacts, "settings-two-monitors.png")
    tool.press("OK")
    window = desktop.wait_window(tool.pid, lambda w: desktop.geometry(w) == RIGHT)
    assert window is not None, f"no calibration window on the right monitor: {tool.program.output()}"
    assert service.wait_line("111111111111111111111111111111111called", WAIT)

    x0, y0, width, height = RIGHT
    centres = [(x0 + x, y0 + y) for x, y in target_centres(9, width, height)]
    for k, centre in enumerate(centres):
        touch_target(board, transform(*centre), count=80, lifts=20)
        if k + 1 < len(centres):
            assert wait_until(lambda: target_colour(desktop, centres[k]) == "green"
                              and target_colour(desktop, centres[k + 1]) == "red"), \
                f"target {k}: {tool.program.output()[-2000:]}"
        if k == 4:
            desktop.screenshot(artifacts, "calibration-on-right-monitor.png")
    assert tool.program.wait_exit(WAIT) == 0, tool.program.output()[-2000:]
    assert config.get("Monitor", "name") == "right"
    assert service.wait_line('The board maps onto monitor "right" (512x768+512+0).', WAIT)

    # Touches land where the board's transform says, on the right monitor;
    # one beyond the calibrated edge stops at the monitor's left edge.
    for screen_point, landing in [((600, 200), (600, 200)), ((900, 600), (900, 600)),
                                  ((768, 384), (768, 384)), ((300, 384), (512, 384))]:
        assert lands(board, pointer, transform(*screen_point), landing) is not None, \
            (screen_point, pointer.events()[-5:])


@pytest.mark.screen(*DEFAULT_SCREEN)
def test_the_edge_key_tool_opens_on_the_calibrated_monitor(
        two_monitors, config, start_program, xserver, fake, desktop, board, artifacts):
    service = fake("Quilld")
    config.write(f"[PID]\nQuilld={service.pid}\n[Monitor]\nname=right\n")
    tool = start_program([EDGETAB], env=xserver.env())
    assert board.wait_greetings(1, WAIT), tool.output()
    window = desktop.wait_window(tool.pid, lambda w: desktop.geometry(w) == RIGHT)
    assert window is not None, f"no key window on the right monitor: {tool.output()}"
    # Key 0 asks to be touched at its place on that monitor (inside the
    # frame's padding, a few pixels from its corner).
    x, y = key_corner(0, RIGHT[2], RIGHT[3])
    want = picture(0, ACTIVE)

    def key_0_shown():
        area = desktop.pixels(RIGHT[0] + x, y, 60, 60)
        return any(all(area[(dy + r) * 60 + dx:(dy + r) * 60 + dx + 36] == want[r * 36:(r + 1) * 36]
                       for r in range(36)) for dy in range(25) for dx in range(25))
    assert wait_until(key_0_shown), "key 0 is not where the right monitor puts it"
    desktop.screenshot(artifacts, "keys-on-right-monitor.png")
