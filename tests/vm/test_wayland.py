"""Under a Wayland compositor (weston, its DRM backend on QEMU's display):
the service, an X client of weston's Xwayland, drives the pointer through its
kernel device, and a native Wayland client sees the pen where the mapping
puts it, pressed and released."""
import glob
import math
import os
import re
import subprocess
import tempfile
import time

import pytest

from plugin_service import QUILLD
from waiting import wait_until

WAIT = 60.0  # weston under emulation takes its time
NAME = "Whiteboard pen pointer"
# On weston's 1280 by 800 output the 2 by 2 targets lie at (128, 80),
# (128, 720), (1152, 80) and (1152, 720); these are their board points.
CALIBRATION = [(400, 300), (400, 3300), (3600, 300), (3600, 3300)]
TAPS = [((400, 300), (128, 80)), ((3600, 3300), (1152, 720)), ((2000, 1800), (640, 400))]


@pytest.fixture
def weston(artifacts):
    """weston with Xwayland on the guest's display, and a Wayland client that
    logs the pointer: the environment of weston's clients and the client's log."""
    runtime = tempfile.mkdtemp(prefix="wayland-")
    os.makedirs("/tmp/.X11-unix", exist_ok=True)
    os.chmod("/tmp/.X11-unix", 0o1777)
    log = os.path.join(artifacts, "weston.log")
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="wayland-1", DISPLAY=":0")
    compositor = subprocess.Popen(["weston", "--backend=drm-backend.so", "--shell=kiosk-shell.so",
                                   "--xwayland", "--debug", "--socket=wayland-1", "--idle-time=0",
                                   "--tty=2", "--use-pixman", f"--log={log}"], env=env,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
    events = os.path.join(artifacts, "eventdemo.log")
    client = None
    try:
        assert wait_until(lambda: os.path.exists("/tmp/.X11-unix/X0"), WAIT), open(log).read()
        with open(events, "w") as out:
            # Full screen under the kiosk shell: its coordinates are the output's.
            client = subprocess.Popen(["stdbuf", "-oL", "weston-eventdemo", "--log-motion",
                                       "--log-button"], env=env, stdout=out,
                                      stderr=subprocess.STDOUT)
        yield env, log, events
    finally:
        for proc in (client, compositor):
            if proc:
                proc.terminate()
                proc.wait(WAIT)


def test_a_wayland_client_sees_the_pen_where_the_mapping_puts_it(weston, board, config,
                                                                 start_program):
    env, log, events = weston
    read = lambda: open(events).read()  # noqa: E731
    config.write(config.calibration(CALIBRATION))
    board.ident = (0xE8, 0xCE)
    service = start_program([QUILLD], env=env)
    assert board.wait_greetings(1, WAIT), service.output()
    assert service.wait_line(f'pointer: the kernel input device "{NAME}" (/dev/uinput)',
                             WAIT), service.output()
    assert service.wait_line("signal_usr2 called", WAIT), service.output()
    assert "Wayland session" not in service.output(), "no XTest note on the kernel path"

    def tapped_into_the_window():
        board.contact(1000, 1000, count=3)
        board.lift(1000, 1000)
        time.sleep(0.5)
        return "state: released" in read()
    # Until the compositor has the device and the client's window the pointer.
    assert wait_until(tapped_into_the_window, WAIT), read() + open(log).read()[-1500:]
    seen = len(read())
    for point, _ in TAPS:
        board.contact(*point, count=3)
        board.lift(*point)
        time.sleep(0.3)
    assert wait_until(lambda: read()[seen:].count("state: released") == len(TAPS), WAIT), read()
    after = read()[seen:]
    # The compositor has the middle of the pixel the service aimed at.
    moves = [(int(float(x)), int(float(y))) for x, y in
             re.findall(r"motion time: \d+, x: ([\d.]+), y: ([\d.]+)", after)]
    assert moves == [pixel for _, pixel in TAPS], after
    assert after.count("button: 272, state: pressed") == len(TAPS), after
    assert service.stop() == 0


def test_the_demo_whiteboard_on_xwayland_draws_a_ring_through_the_kernel_path(
        weston, board, config, start_program, artifacts):
    env, log, events = weston
    config.write(config.calibration(CALIBRATION))
    board.ident = (0xE8, 0xCE)
    demo = start_program([os.path.join(os.environ["E2E_BUILD"], "tools", "whiteboard-demo")],
                         env=env)
    assert demo.wait_line("listening on 127.0.0.1:10000", WAIT), demo.output()
    service = start_program([QUILLD], env=env)
    assert service.wait_line("signal_usr2 called", WAIT), service.output()
    time.sleep(5.0)  # the demo's window shown full screen
    # A first touch gives the demo's window the pointer.
    board.contact(2000, 1800, count=2)
    board.lift(2000, 1800)
    time.sleep(1.0)
    board.stroke([(round(2000 + 1000 * math.cos(a / 30 * math.pi)),
                   round(1800 + 1000 * math.sin(a / 30 * math.pi))) for a in range(61)])
    time.sleep(2.0)
    # weston's own screenshot (the --debug protocol) into the artefacts.
    subprocess.run(["weston-screenshooter"], env=env, cwd=artifacts, check=True, timeout=WAIT)
    assert glob.glob(os.path.join(artifacts, "wayland-screenshot*.png"))
    assert service.stop() == 0
