"""Fixtures for scenarios with windows: a window manager on the xserver's
screen, the test's view of it, X connections of the test's own, and fake
programs that record the signals they get.

    def test_something(desktop, fake):
        service = fake("Quilld")
        window = desktop.wait_window(tool.pid)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pytest
from Xlib import X, Xatom, display

from gui import FAKE_PROGRAM, Desktop
from waiting import WAIT, wait_until


@pytest.fixture
def window_manager(xserver, artifacts):
    """Openbox on the xserver's screen, so windows get focus and close requests."""
    if shutil.which("openbox") is None:
        pytest.fail("openbox (Debian package openbox) is needed", pytrace=False)
    if shutil.which("xdotool") is None:
        pytest.fail("xdotool (Debian package xdotool) is needed", pytrace=False)
    home = tempfile.mkdtemp(prefix="e2e-wm-", dir="/tmp")
    env = dict(xserver.env(), HOME=home, XDG_CONFIG_HOME=f"{home}/config",
               XDG_CACHE_HOME=f"{home}/cache", XDG_DATA_HOME=f"{home}/data")
    with open(os.path.join(artifacts, "openbox.log"), "w") as log:
        wm = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdin=subprocess.DEVNULL,
                              stdout=log, stderr=subprocess.STDOUT)
    dpy = display.Display(xserver.display)
    check = dpy.intern_atom("_NET_SUPPORTING_WM_CHECK")
    try:
        if not wait_until(lambda: wm.poll() is not None
                          or dpy.screen().root.get_full_property(check, Xatom.WINDOW)):
            pytest.fail("openbox did not take the screen", pytrace=False)
        if wm.poll() is not None:
            pytest.fail(f"openbox exited with status {wm.returncode}", pytrace=False)
        # Openbox announces itself a moment before it handles map requests,
        # and a window mapped in between is never managed: map a probe window
        # until openbox takes one.
        root = dpy.screen().root
        deadline = time.monotonic() + 3 * WAIT
        while True:
            probe = root.create_window(0, 0, 10, 10, 0, X.CopyFromParent)
            probe.map()
            dpy.flush()
            taken = wait_until(lambda: probe.query_tree().parent.id != root.id, 1.0)
            probe.destroy()
            dpy.sync()
            if taken:
                break
            if time.monotonic() > deadline:
                pytest.fail("openbox never managed a window", pytrace=False)
        yield wm
    finally:
        dpy.close()
        if wm.poll() is None:
            wm.terminate()
            wm.wait(10)
        shutil.rmtree(home, ignore_errors=True)


@pytest.fixture
def desktop(xserver, window_manager):
    view = Desktop(xserver)
    yield view
    view.close()


@pytest.fixture
def screen(xserver, window_manager):
    """A connection of the test's own to the managed screen."""
    dpy = display.Display(xserver.display)
    yield dpy
    dpy.close()


@pytest.fixture
def fake(xserver, start_program):
    """fake(name) -> Program: a process named name that prints each signal it gets."""

    def start(name):
        program = start_program([sys.executable, "-c", FAKE_PROGRAM, name])
        assert program.wait_line("ready", WAIT), program.stderr()
        with open(f"/proc/{program.pid}/comm") as f:
            assert f.read().strip() == name
        return program

    return start
