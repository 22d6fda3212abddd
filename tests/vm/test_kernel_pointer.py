"""The pen through the kernel's own input device: the service makes an
absolute pointer on /dev/uinput, udev and libinput take it for a mouse with
absolute motion, and Xorg's libinput driver puts the pointer on exactly the
pixels XTest would, buttons pressed and released once."""
import contextlib
import glob
import math
import os
import signal
import subprocess
import time

import pytest

from waiting import wait_until

WAIT = 20.0  # emulated: slower than the host, bounded all the same
NAME = "Whiteboard pen pointer"
KERNEL_LINE = f'pointer: the kernel input device "{NAME}" (/dev/uinput)'
# Board corners TL, BL, TR, BR; the 2 by 2 targets on 1024 by 768.
CALIBRATION = [(400, 300), (400, 3300), (3600, 300), (3600, 3300)]
# A stroke over the screen, to its edges and past them, then a still press.
STROKE = [(400, 300), (1200, 900), (2600, 2100), (3999, 3999), (3600, 3300), (80, 3900),
          (2000, 1800)]


def kernel_device():
    """The device's sysfs folder, once it is there."""
    for folder in glob.glob("/sys/class/input/input*"):
        with open(os.path.join(folder, "name")) as f:
            if f.read().strip() == NAME:
                return folder
    return None


def start(quilld, board, config, xserver, line, monitor=None):
    """The service started and its board identified; with line, its device
    taken into use by the X server."""
    added = f'Adding extended input device "{NAME}"'
    devices = xserver.server_log().count(added)
    config.write(config.calibration(CALIBRATION) +
                 (f"[Monitor]\nname={monitor}\n" if monitor else ""))
    board.ident = (0xE8, 0xCE)  # electromagnetic: the pen has its buttons
    service = quilld()
    assert service.wait_pid_line(WAIT), service.output()
    assert board.wait_greetings(1, WAIT), service.output()
    assert service.wait_line("signal_usr2 called", WAIT), service.output()
    assert (KERNEL_LINE in service.output()) == line, service.output()
    if line:
        assert wait_until(lambda: xserver.server_log().count(added) > devices, WAIT), \
            xserver.server_log()[-3000:]
    time.sleep(0.5)
    return service


def drawn(board, pointer, long_press=False):
    """The stroke (and a long press at its end), then the pen's buttons; what
    the X server saw, once the final release has arrived."""
    board.stroke(STROKE)
    if long_press:
        board.contact(*STROKE[-1], count=70)
        board.lift(*STROKE[-1])
    board.pen_button(0x85, *STROKE[0])   # front button: left click
    board.pen_button(0x87, *STROKE[0])   # back button: right click
    assert pointer.wait_release(3, WAIT, since=0), [vars(e) for e in pointer.events()]
    time.sleep(0.3)
    # The kernel passes on no move to where the pointer already is.
    seen, at = [], None
    for e in pointer.events():
        if e.kind != "motion" or (e.x, e.y) != at:
            seen.append((e.kind, e.x, e.y, e.button))
        at = (e.x, e.y)
    return seen


@contextlib.contextmanager
def without_uinput():
    """/dev/uinput gone, as on a system without the module or the rule."""
    os.rename("/dev/uinput", "/dev/uinput.away")
    try:
        yield
    finally:
        os.rename("/dev/uinput.away", "/dev/uinput")


def test_the_device_is_an_absolute_pointer_with_its_fixed_identity(quilld, board, config,
                                                                  xserver, artifacts):
    service = start(quilld, board, config, xserver, line=True)
    folder = wait_until(kernel_device, WAIT)
    assert folder, os.listdir("/sys/class/input")
    ids = {k: open(os.path.join(folder, "id", k)).read().strip()
           for k in ("bustype", "vendor", "product")}
    assert ids == {"bustype": "0006", "vendor": "5742", "product": "0001"}
    event = os.path.basename(glob.glob(os.path.join(folder, "event*"))[0])
    udev = subprocess.run(["udevadm", "info", "--query=property", f"--name=/dev/input/{event}"],
                          capture_output=True, text=True, check=True).stdout
    props = dict(line.split("=", 1) for line in udev.splitlines() if "=" in line)
    assert props.get("ID_INPUT_MOUSE") == "1", udev
    assert not {"ID_INPUT_TOUCHSCREEN", "ID_INPUT_TABLET"} & set(props), udev
    listed = subprocess.run(["libinput", "list-devices"], capture_output=True, text=True).stdout
    with open(os.path.join(artifacts, "libinput-list-devices.txt"), "w") as f:
        f.write(listed)
    block = next(b for b in listed.split("\n\n") if f"Device:           {NAME}" in b)
    assert "Capabilities:     pointer" in block, block
    doctor = subprocess.run(["/usr/bin/whiteboard-doctor"], env=xserver.env(), capture_output=True,
                            text=True, timeout=WAIT).stdout
    assert f'ok      pointer: the service drives the pointer through its kernel device "{NAME}" ' \
        "(/dev/uinput).\n" in doctor, doctor
    assert service.stop() == 0
    assert wait_until(lambda: kernel_device() is None, WAIT), "the device outlived the service"


# The right half of the screen as a monitor of its own, calibrated on: the
# stroke's points beyond it stay on it.
RIGHT = (512, 0, 512, 768)


@pytest.mark.parametrize("long_press, monitor", [(False, None), (True, None), (False, RIGHT)],
                         ids=["stroke", "long-press", "right-monitor"])
def test_the_kernel_path_puts_the_pointer_where_xtest_does(quilld, board, config, xserver,
                                                           pointer, artifacts, long_press,
                                                           monitor):
    name = None
    if monitor:
        name = "right"
        x, y, w, h = monitor
        for args in (("left", f"{x}/135x{h}/203+0+0", "none"),
                     (name, f"{w}/135x{h}/203+{x}+{y}", "none")):
            subprocess.run(["xrandr", "--setmonitor", *args], env=xserver.env(), check=True)
    service = start(quilld, board, config, xserver, line=True, monitor=name)
    through_kernel = drawn(board, pointer, long_press)
    assert service.stop() == 0
    xserver.screenshot(os.path.join(artifacts, "kernel-path.png"))
    pointer.clear()
    with without_uinput():
        service = start(quilld, board, config, xserver, line=False, monitor=name)
        through_xtest = drawn(board, pointer, long_press)
        assert service.stop() == 0
    with open(os.path.join(artifacts, "events.txt"), "w") as f:
        f.write("\n".join(map(str, through_kernel)) + "\n")
    assert through_kernel == through_xtest
    if monitor:
        x, y, w, h = monitor
        assert all(x <= ex < x + w and y <= ey < y + h for _, ex, ey, _ in through_kernel)
    presses = [button for kind, _, _, button in through_kernel if kind == "press"]
    assert 2 not in presses, "no middle click, ever"
    assert presses.count(3) == (2 if long_press else 1), through_kernel


@pytest.mark.parametrize("cut", ["unplug", "SIGUSR1"])
def test_a_cut_stroke_leaves_no_button_held(quilld, board, config, xserver, pointer, cut):
    service = start(quilld, board, config, xserver, line=True)
    board.contact(2000, 1800, count=20)
    assert pointer.wait_press(1, WAIT)
    if cut == "unplug":
        board.unplug()
    else:
        service.send(signal.SIGUSR1)  # as a tool taking the board does
    assert pointer.wait_release(1, WAIT), [vars(e) for e in pointer.events()]
    if cut == "unplug":
        board.plug()
    assert service.stop() == 0


def test_the_demo_whiteboard_draws_a_ring_through_the_kernel_path(quilld, board, config, xserver,
                                                                 artifacts):
    from gui import Desktop
    demo = subprocess.Popen([os.path.join(os.environ["E2E_BUILD"], "tools", "whiteboard-demo")],
                            env=xserver.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True)
    try:
        assert demo.stdout.readline().startswith("listening on 127.0.0.1:10000")
        service = start(quilld, board, config, xserver, line=True)
        # A ring around the board's middle: (512, 384) on the screen, 256 by
        # 205 pixels across.
        board.stroke([(round(2000 + 1000 * math.cos(a / 30 * math.pi)),
                       round(1800 + 1000 * math.sin(a / 30 * math.pi))) for a in range(61)])
        time.sleep(1.0)
        xserver.screenshot(os.path.join(artifacts, "demo-kernel-path.png"))
        desktop = Desktop(xserver)
        for x, y in [(768, 384), (512, 589), (256, 384), (512, 179)]:
            assert any(max(p) < 100 for p in desktop.pixels(x - 6, y - 6, 13, 13)), (x, y)
        assert all(min(p) > 200 for p in desktop.pixels(507, 379, 11, 11)), "the middle stays white"
        assert service.stop() == 0
    finally:
        demo.terminate()
        demo.wait(WAIT)
