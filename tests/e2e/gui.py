"""Shared helpers of the scenarios that drive the suite's graphical tools:
the test's view of the desktop (windows by process, pixels, xdotool input),
bounded waits, and fake programs that record the signals they get. The
fixtures built on them (window_manager, desktop, fake, screen) are in
plugin_desktop.py.

    from gui import WAIT, GRACE, wait_until, Desktop, signals_of, register
"""
import os
import subprocess

from Xlib import X, Xatom, display, error
from Xlib.protocol import event

from waiting import GRACE, WAIT, wait_until  # noqa: F401 (the scenarios take them from here too)

MSG_FILE = "/usr/share/RivarAzazuva/QMRV/msg.ini"


def message_text(key):
    with open(MSG_FILE) as f:
        for line in f.read().splitlines():
            if line.startswith(key + "="):
                return line[len(key) + 1:]
    raise AssertionError(f"{MSG_FILE} has no line {key}=")


# ------------------------------------------------------------ the desktop

def client_windows(dpy, pid):
    """The mapped client windows of process pid, in the order of a walk from
    the root; None when a window went away while we looked (look again)."""
    pid_atom = dpy.intern_atom("_NET_WM_PID")
    found, pending = [], [dpy.screen().root]
    try:
        while pending:
            window = pending.pop()
            if window.get_attributes().map_state != X.IsViewable:
                continue
            prop = window.get_full_property(pid_atom, Xatom.CARDINAL)
            if prop is not None and prop.value[0] == pid and window.get_wm_class():
                found.append(window)
                continue
            pending.extend(window.query_tree().children)
    except (error.BadWindow, error.BadDrawable):
        return None
    return found


class Desktop:
    """The test's own view of the screen: windows by process, pixels, input."""

    def __init__(self, xserver):
        self.xserver = xserver
        self.dpy = display.Display(xserver.display)
        self.root = self.dpy.screen().root
        self._name_atom = self.dpy.intern_atom("_NET_WM_NAME")
        self._utf8 = self.dpy.intern_atom("UTF8_STRING")
        self._type_atom = self.dpy.intern_atom("_NET_WM_WINDOW_TYPE")
        self._dialog_type = self.dpy.intern_atom("_NET_WM_WINDOW_TYPE_DIALOG")

    def close(self):
        self.dpy.close()

    def windows_of(self, pid):
        """The mapped client windows of process pid."""
        return client_windows(self.dpy, pid)

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

    def is_dialog(self, window):
        """A message box, by the type it declares: a full-screen window that
        is being hidden may show another size for a moment."""
        prop = window.get_full_property(self._type_atom, Xatom.ATOM)
        return prop is not None and self._dialog_type in prop.value

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


def signals_of(program):
    return [line.strip() for line in program.lines() if line.startswith("SIG")]


def ids(windows):
    return [w.id for w in windows or []]


def register(config, **ids):
    config.write("[PID]\n" + "".join(f"{name}={pid}\n" for name, pid in ids.items()))
