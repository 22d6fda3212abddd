"""The warning dialogs: a second board service turns into Dupwarn, Bareedge is
started on its own; each shows its title, the warning icon, its text and OK,
and ends with status 0 whether OK is clicked or the window manager closes it."""
import os
import shutil
import tempfile

import pytest
from Xlib import X, Xatom, error
from Xlib.protocol import event

from plugin_sandbox import require_sandbox
from gui import message_text, wait_until
from xfixture import XTestInjector

DRIVER_DIR = "/usr/local/Slatrix_QM_RV_Drivers"
BAREEDGE = f"{DRIVER_DIR}/Bareedge"
MSG_FILE = "/usr/share/RivarAzazuva/QMRV/msg.ini"
OPEN_FAILED = f"open the file :{MSG_FILE} failed!\n"
WAIT = 10.0    # upper bound for things that normally take well under a second
GRACE = 0.5    # how long a process that must keep running is watched

# The stock warning icon is drawn in this orange; nothing else in the window is.
WARNING_ORANGE = (0xFC, 0xAF, 0x3E)
ICON_PIXELS = 100


class Dialog:
    """A program's top-level window, seen from another X client."""

    def __init__(self, dpy, window):
        self.dpy = dpy
        self.window = window

    @classmethod
    def wait_for(cls, dpy, pid, timeout=WAIT):
        """The mapped top-level window of process `pid`, or None."""
        found = wait_until(lambda: cls._find(dpy, pid), timeout)
        return cls(dpy, found) if found else None

    @staticmethod
    def _find(dpy, pid):
        net_wm_pid = dpy.intern_atom("_NET_WM_PID")
        pending = [dpy.screen().root]
        try:
            while pending:
                window = pending.pop()
                if window.get_attributes().map_state != X.IsViewable:
                    continue
                prop = window.get_full_property(net_wm_pid, Xatom.CARDINAL)
                if prop is not None and prop.value[0] == pid and window.get_wm_class():
                    return window
                pending.extend(window.query_tree().children)
        except (error.BadWindow, error.BadDrawable):
            pass  # a window went away while we looked: look again
        return None

    @property
    def title(self):
        prop = self.window.get_full_property(self.dpy.intern_atom("_NET_WM_NAME"),
                                             self.dpy.intern_atom("UTF8_STRING"))
        return prop.value.decode() if prop is not None else None

    def icon_pixels(self):
        """Window coordinates of the pixels in the warning icon's orange."""
        geometry = self.window.get_geometry()
        width = geometry.width
        data = self.window.get_image(0, 0, width, geometry.height, X.ZPixmap, 0xFFFFFFFF).data
        red, green, blue = WARNING_ORANGE
        return [(i // 4 % width, i // 4 // width) for i in range(0, len(data) - 3, 4)
                if data[i] == blue and data[i + 1] == green and data[i + 2] == red]

    def icon_centre(self):
        pixels = self.icon_pixels()
        return self._to_root(sum(x for x, _ in pixels) // len(pixels),
                             sum(y for _, y in pixels) // len(pixels))

    def ok_button(self):
        """Root coordinates of a point on OK. GTK draws the button inside the
        window without an X window of its own, so its place follows from the
        layout: OK centred in the bottom row, inside the 10-pixel border and
        the row's 5-pixel padding; a stock button is well over 20 pixels
        tall, so 10 pixels above its lower edge is on it."""
        geometry = self.window.get_geometry()
        return self._to_root(geometry.width // 2, geometry.height - 10 - 5 - 10)

    def _to_root(self, x, y):
        position = self.dpy.screen().root.translate_coords(self.window, x, y)
        return position.x, position.y

    def close_by_window_manager(self):
        """Asks the window manager to close the window, as a task bar does."""
        message = event.ClientMessage(
            window=self.window, client_type=self.dpy.intern_atom("_NET_CLOSE_WINDOW"),
            data=(32, [X.CurrentTime, 2, 0, 0, 0]))
        self.dpy.screen().root.send_event(
            message, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        self.dpy.flush()


def click(display_name, x, y):
    pointer = XTestInjector(display_name)
    pointer.move(x, y)
    pointer.press(1)
    pointer.release(1)


@pytest.fixture
def msg_file_absent():
    """The installed message file is put aside for the test."""
    require_sandbox("msg_file_absent")
    aside = tempfile.mkdtemp(prefix="e2e-msg-", dir="/tmp")
    shutil.move(MSG_FILE, aside)
    try:
        yield
    finally:
        shutil.move(os.path.join(aside, os.path.basename(MSG_FILE)), MSG_FILE)
        os.rmdir(aside)


class Started:
    """A warning program and, for Dupwarn, the service that keeps running."""

    def __init__(self, program, service=None):
        self.program = program
        self.service = service

    def check_service_untouched(self, config):
        if self.service is None:
            return
        assert self.service.wait_exit(GRACE) is None, "the first service must keep running"
        assert config.registry("Quilld") == self.service.pid


@pytest.fixture
def start_warning(config, quilld, board, start_program, xserver, window_manager):
    """start_warning(name) -> Started: Dupwarn as a second service, Bareedge directly."""

    def start(name):
        if name == "Dupwarn":
            first = quilld()
            assert first.wait_line("pid=", WAIT), first.output()
            assert wait_until(lambda: config.registry("Quilld") == first.pid)
            return Started(quilld(), first)
        return Started(start_program([BAREEDGE], env=xserver.env()))

    return start


def shown_dialog(screen, started, name):
    """The dialog of the started program, once drawn, after checking it is `name`."""
    pid = started.program.pid
    dialog = Dialog.wait_for(screen, pid)
    assert dialog is not None, f"no window of {name}: {started.program.output()}"
    with open(f"/proc/{pid}/comm") as f:
        assert f.read().strip() == name
    assert wait_until(lambda: len(dialog.icon_pixels()) >= ICON_PIXELS), "no warning icon drawn"
    return dialog


# Texts each program looks up for its body.
BODY_LOOKUPS = {"Dupwarn": 1, "Bareedge": 2}


@pytest.mark.parametrize("how", ["ok_button", "window_manager"])
@pytest.mark.parametrize("name", ["Dupwarn", "Bareedge"])
def test_dialog_shows_title_icon_and_ok_and_closing_ends_it_with_0(
        config, xserver, screen, artifacts, start_warning, name, how):
    started = start_warning(name)
    dialog = shown_dialog(screen, started, name)
    assert dialog.title == message_text("B_Wa")
    started.check_service_untouched(config)
    xserver.screenshot(os.path.join(artifacts, f"{name}.png"))

    if how == "ok_button":
        click(xserver.display, *dialog.icon_centre())
        assert started.program.wait_exit(GRACE) is None, "only OK ends it"
        click(xserver.display, *dialog.ok_button())
    else:
        dialog.close_by_window_manager()
    assert started.program.wait_exit(WAIT) == 0
    assert OPEN_FAILED not in started.program.output()
    started.check_service_untouched(config)


@pytest.mark.parametrize("name", ["Dupwarn", "Bareedge"])
def test_dialog_without_message_file_still_shows_icon_and_ok(
        config, xserver, screen, artifacts, msg_file_absent, start_warning, name):
    started = start_warning(name)
    dialog = shown_dialog(screen, started, name)
    assert dialog.title == ""
    xserver.screenshot(os.path.join(artifacts, f"{name}-without-messages.png"))

    click(xserver.display, *dialog.ok_button())
    assert started.program.wait_exit(WAIT) == 0
    # One failed lookup for the title and one for each part of the body.
    assert started.program.count(OPEN_FAILED) == 1 + BODY_LOOKUPS[name]
    started.check_service_untouched(config)
