"""Shared helpers of the scenarios that drive the suite's graphical tools:
the window manager and the test's view of the desktop (windows by process,
pixels, xdotool input), bounded waits, and fake programs that record the
signals they get.

    from gui import WAIT, GRACE, wait_until, window_manager, desktop, fake
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pytest
from Xlib import X, Xatom, display, error
from Xlib.protocol import event


MSG_FILE = "/usr/share/RivarAzazuva/QMRV/msg.ini"
from waiting import GRACE, WAIT, wait_until  # noqa: F401 (the scenarios take them from here too)


def message_text(key):
    with open(MSG_FILE) as f:
        for line in f.read().splitlines():
            if line.startswith(key + "="):
                return line[len(key) + 1:]
    raise AssertionError(f"{MSG_FILE} has no line {key}=")


# ------------------------------------------------------------ the desktop

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


class Desktop:
    """The test's own view of the screen: windows by process, pixels, input."""

    def __init__(self, xserver):
        self.xserver = xserver
        self.dpy = display.Display(xserver.display)
        self.root = self.dpy.screen().root
        self._pid_atom = self.dpy.intern_atom("_NET_WM_PID")
        self._name_atom = self.dpy.intern_atom("_NET_WM_NAME")
        self._utf8 = self.dpy.intern_atom("UTF8_STRING")

    def close(self):
        self.dpy.close()

    def windows_of(self, pid):
        """The mapped client windows of process pid."""
        found, pending = [], [self.root]
        try:
            while pending:
                window = pending.pop()
                if window.get_attributes().map_state != X.IsViewable:
                    continue
                prop = window.get_full_property(self._pid_atom, Xatom.CARDINAL)
                if prop is not None and prop.value[0] == pid and window.get_wm_class():
                    found.append(window)
                    continue
                pending.extend(window.query_tree().children)
        except (error.BadWindow, error.BadDrawable):
            return None  # a window went away while we looked: look again
        return found

    def wait_window(self, pid, predicate=lambda w: True, timeout=WAIT):
        def find():
            for window in self.windows_of(pid) or []:
                try:
                    if predicate(window):
                        return window
                except (error.BadWindow, error.BadDrawable):
                    pass
            return None
        return wait_until(find, timeout)

    def title(self, window):
        prop = window.get_full_property(self._name_atom, self._utf8)
        return prop.value.decode() if prop is not None else ""

    def geometry(self, window):
        """Root position and size of the window's client area."""
        g = window.get_geometry()
        origin = self.root.translate_coords(window, 0, 0)
        return origin.x, origin.y, g.width, g.height

    def is_full_screen(self, window):
        g = self.root.get_geometry()
        return self.geometry(window) == (0, 0, g.width, g.height)

    def pixels(self, x, y, w, h):
        """[(r, g, b)] of a root area, row by row."""
        data = self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data
        return [(data[i + 2], data[i + 1], data[i]) for i in range(0, len(data), 4)]

    def screenshot(self, artifacts, name):
        return self.xserver.screenshot(os.path.join(artifacts, name))

    def _xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.xserver.env(), check=True,
                       capture_output=True, timeout=WAIT)

    def click(self, x, y):
        self._xdotool("mousemove", "--sync", x, y, "click", 1)

    def close_by_window_manager(self, window):
        """Asks the window manager to close window, as its close button does."""
        message = event.ClientMessage(
            window=window, client_type=self.dpy.intern_atom("_NET_CLOSE_WINDOW"),
            data=(32, [X.CurrentTime, 2, 0, 0, 0]))
        self.root.send_event(message,
                             event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        self.dpy.flush()

    def keys(self, window, *names):
        """Key presses into window, after giving it the focus: once it is
        viewable again, for the window manager may still be reparenting a
        window that has just appeared (BadMatch meanwhile)."""
        def focused():
            try:
                self._xdotool("windowfocus", "--sync", window.id)
                return True
            except subprocess.CalledProcessError:
                return False
        assert wait_until(focused), f"window {window.id:#x} never took the focus"
        for name in names:
            self._xdotool("key", "--clearmodifiers", name)


@pytest.fixture
def desktop(xserver, window_manager):
    view = Desktop(xserver)
    yield view
    view.close()


# ------------------------------------------------------------ the other programs

FAKE_PROGRAM = r"""
import ctypes, signal, sys
ctypes.CDLL(None).prctl(15, sys.argv[1].encode(), 0, 0, 0)   # PR_SET_NAME
def record(sig, frame):
    print(signal.Signals(sig).name, flush=True)
    if sig == signal.SIGTERM:
        sys.exit(0)
for sig in (signal.SIGUSR1, signal.SIGUSR2, signal.SIGTERM, signal.SIGINT):
    signal.signal(sig, record)
print("ready", flush=True)
while True:
    signal.pause()
"""


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


def signals_of(program):
    return [line.strip() for line in program.lines() if line.startswith("SIG")]


def ids(windows):
    return [w.id for w in windows or []]


def register(config, **ids):
    config.write("[PID]\n" + "".join(f"{name}={pid}\n" for name, pid in ids.items()))
