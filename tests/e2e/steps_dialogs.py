"""The warning dialogs (Dupwarn, Bareedge) as another X client sees them:
their window, the warning icon in it and its OK button.

    dialog = Dialog.wait_for(dpy, program.pid)
    click(xserver.display, *dialog.ok_button())
"""
from Xlib import X
from Xlib.protocol import event

from gui import client_windows
from waiting import WAIT, wait_until
from xfixture import XTestInjector

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
        found = client_windows(dpy, pid)
        return found[0] if found else None

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
