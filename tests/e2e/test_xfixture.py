"""Self-test of the desktop fixtures: what they report is what really happened."""
import os
import socket
import stat
import struct
import subprocess

import pytest
from Xlib import display

from launchers import ORIENT_LAUNCHER, WHITEBOARD_LAUNCHER, StubLaunchers
from udp_listener import UdpListener
from xfixture import PointerRecorder, XTestInjector, Xvfb, XvfbError

WAIT = 10.0  # seconds; an upper bound for things that normally take milliseconds


def _seen(events):
    return [(e.kind, e.x, e.y, e.button) for e in events]


# Each step and the pointer events it must produce.
POINTER_STEPS = [
    (("move", 100, 200), [("motion", 100, 200, 0)]),
    (("click", 1), [("press", 100, 200, 1), ("release", 100, 200, 1)]),
    (("move", 700, 50), [("motion", 700, 50, 0)]),
    (("click", 3), [("press", 700, 50, 3), ("release", 700, 50, 3)]),
    # A stroke: the button held while the pointer moves.
    (("press", 1), [("press", 700, 50, 1)]),
    (("move", 310, 420), [("motion", 310, 420, 0)]),
    (("release", 1), [("release", 310, 420, 1)]),
]


def test_recorder_sees_injected_motion_and_buttons_in_order(xserver, pointer):
    expected = []
    with XTestInjector(xserver.display) as fake:
        for (action, *args), events in POINTER_STEPS:
            getattr(fake, action)(*args)
            expected += events
    last = pointer.wait_for(lambda e: True, WAIT, since=len(expected) - 1)
    assert last is not None, f"only {_seen(pointer.events())} recorded"
    assert _seen(pointer.events()) == expected


def test_recorder_waits_match_kind_button_and_place(xserver, pointer):
    with XTestInjector(xserver.display) as fake:
        fake.move(40, 60)
        fake.click(3)
    assert pointer.wait_motion_to(40, 60, WAIT) is not None
    assert pointer.wait_press(3, WAIT).x == 40
    assert pointer.wait_release(3, WAIT).y == 60
    assert pointer.wait_motion_to(45, 65, 0.2, tolerance=5) is not None
    for missing in (pointer.wait_press(1, 0.2), pointer.wait_release(1, 0.2),
                    pointer.wait_motion_to(46, 66, 0.2, tolerance=5)):
        assert missing is None
    pointer.clear()
    assert pointer.events() == []


def test_recorder_stops_recording_at_stop(xserver):
    with XTestInjector(xserver.display) as fake:
        with PointerRecorder(xserver.display) as recorder:
            fake.move(10, 20)
            assert recorder.wait_motion_to(10, 20, WAIT) is not None
        fake.move(30, 40)
        fake.click(1)
        # A second recorder sees the later input, the stopped one does not.
        with PointerRecorder(xserver.display) as later:
            fake.click(2)
            assert later.wait_press(2, WAIT) is not None
    assert _seen(recorder.events()) == [("motion", 10, 20, 0)]


@pytest.mark.parametrize("size", [
    pytest.param((1024, 768), id="default"),
    pytest.param((800, 600), marks=pytest.mark.screen(800, 600), id="800x600"),
    pytest.param((1920, 1080), marks=pytest.mark.screen(1920, 1080), id="1920x1080"),
])
def test_screen_marker_sets_size(xserver, pointer, size):
    width, height = size
    conn = display.Display(xserver.display)
    screen = conn.screen()
    assert (screen.width_in_pixels, screen.height_in_pixels) == size
    conn.close()
    # The pointer stops at the last pixel of that screen.
    with XTestInjector(xserver.display) as fake:
        fake.move(width + 50, height + 50)
    assert pointer.wait_motion_to(width - 1, height - 1, WAIT) is not None


def _pixel(png, x, y):
    return subprocess.run(["convert", png, "-format", f"%[hex:p{{{x},{y}}}]", "info:"],
                          check=True, capture_output=True, text=True).stdout


def test_screenshot_is_a_png_of_the_screen(xserver, artifacts):
    conn = display.Display(xserver.display)
    patch = conn.screen().root.create_window(50, 40, 100, 80, 0, conn.screen().root_depth,
                                             background_pixel=0xff0000, override_redirect=True)
    patch.map()
    conn.sync()
    path = xserver.screenshot(os.path.join(artifacts, "root.png"))
    conn.close()
    assert path.startswith(os.environ["E2E_ARTIFACTS"])
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    assert struct.unpack(">II", head[16:24]) == (xserver.width, xserver.height)
    assert (_pixel(path, 60, 50), _pixel(path, 10, 10)) == ("FF0000", "000000")


XVFB_FAILURES = [
    ("missing", None, "not found"),
    ("exits", "echo 'no screen for you' >&2; exit 3", "(?s)status 3.*no screen for you"),
    ("silent", "exec sleep 60", "no display number within 1 s"),
]


@pytest.mark.parametrize("name,script,message", XVFB_FAILURES, ids=[c[0] for c in XVFB_FAILURES])
def test_xvfb_that_does_not_come_up_is_an_error(tmp_path, name, script, message):
    executable = tmp_path / name
    if script is not None:
        executable.write_text(f"#!/bin/sh\n{script}\n")
        executable.chmod(0o755)
    with pytest.raises(XvfbError, match=message):
        Xvfb(executable=str(executable), startup_timeout=1).start()


UDP_PAYLOADS = [b"bpen\n", b"anew\n", b"", bytes(range(256)), b"x" * 1400]


def test_udp_listener_keeps_datagrams_byte_for_byte(udp):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        for payload in UDP_PAYLOADS:
            sender.sendto(payload, ("127.0.0.1", 10000))
    got = udp.wait_count(len(UDP_PAYLOADS), WAIT)
    assert got is not None, f"only {udp.datagrams()} received"
    assert [d.data for d in got] == UDP_PAYLOADS
    assert udp.wait_for(b"anew\n", WAIT) is got[1]
    assert udp.wait_for(b"anew", 0.2) is None
    udp.clear()
    assert udp.datagrams() == [] and udp.wait_count(1, 0.2) is None


def test_udp_port_taken_is_an_error(udp):
    with pytest.raises(OSError, match="127.0.0.1:10000"):
        UdpListener()


@pytest.mark.parametrize("path,args", [
    (WHITEBOARD_LAUNCHER, []),
    (ORIENT_LAUNCHER, ["one", "two words"]),
])
def test_stub_launcher_records_its_start(launchers, path, args):
    proc = subprocess.Popen([path, *args])
    assert proc.wait(timeout=WAIT) == 0
    starts = launchers.wait_started(path, WAIT)
    assert starts is not None, f"starts recorded: {launchers.started()}"
    (start,) = starts
    assert (start.argv0, start.args, start.pid) == (path, " ".join(args), proc.pid)
    assert [s.path for s in launchers.started()] == [path]


def _state(path):
    if os.path.islink(path):
        return ("link", os.readlink(path))
    if os.path.exists(path):
        with open(path, "rb") as f:
            return ("file", f.read(), stat.S_IMODE(os.stat(path).st_mode))
    return ("absent", os.path.isdir(os.path.dirname(path)))


def test_stubs_replace_and_then_restore_what_was_there(tmp_path):
    file_path = tmp_path / "file" / "run"
    file_path.parent.mkdir()
    file_path.write_bytes(b"#!/bin/sh\necho original\n")
    file_path.chmod(0o741)
    link_path = tmp_path / "link" / "run"
    link_path.parent.mkdir()
    link_path.symlink_to("/bin/true")
    absent_path = tmp_path / "new" / "deeper" / "run_Orient"
    paths = [str(p) for p in (file_path, link_path, absent_path)]
    before = {p: _state(p) for p in paths}
    record_file = str(tmp_path / "starts.log")

    with StubLaunchers(record_file, paths).install() as stubs:
        for path in paths:
            assert subprocess.run([path, "x"]).returncode == 0
        assert [(s.path, s.argv0, s.args) for s in stubs.started()] == \
            [(p, p, "x") for p in paths]
    assert {p: _state(p) for p in paths} == before
    assert not (tmp_path / "new").exists()


def test_stubs_refuse_to_install_outside_sandbox(tmp_path, monkeypatch):
    monkeypatch.delenv("E2E_SANDBOX")
    path = tmp_path / "run"
    with pytest.raises(RuntimeError, match="sandbox"):
        StubLaunchers(str(tmp_path / "starts.log"), [str(path)]).install()
    assert not path.exists()
