"""A virtual X server, a recorder of the pointer events it sees, and XTest input.

The recorder listens through the RECORD extension to the server's device
events, so it sees exactly what XTest injects: motions with their root
coordinates and button presses and releases, in the order the server
processed them.
"""
import os
import select
import shutil
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass

from Xlib import X, display, error
from Xlib.ext import record, xtest
from Xlib.protocol import rq


class XvfbError(RuntimeError):
    pass


class Xvfb:
    """Xvfb on a free display (or `display_number`), ready once started (the
    first start in an emulated guest on a busy machine can take over 15 s)."""

    def __init__(self, width=1024, height=768, display_number=None,
                 executable="Xvfb", startup_timeout=60.0):
        self.width, self.height = width, height
        self._number = display_number
        self._executable = executable
        self._startup_timeout = startup_timeout
        self._proc = None
        self._log = None
        self.display = None

    def start(self):
        exe = shutil.which(self._executable)
        if exe is None:
            raise XvfbError(f"{self._executable} not found: the virtual X server is needed "
                            "(Debian package xvfb)")
        ready_r, ready_w = os.pipe()
        cmd = [exe]
        if self._number is not None:
            cmd.append(f":{self._number}")
        cmd += ["-displayfd", str(ready_w), *self._arguments(), "-nolisten", "tcp", "-noreset"]
        self._log = tempfile.TemporaryFile()
        try:
            try:
                self._proc = subprocess.Popen(cmd, pass_fds=(ready_w,), stdin=subprocess.DEVNULL,
                                              stdout=self._log, stderr=subprocess.STDOUT)
            finally:
                os.close(ready_w)
            deadline = time.monotonic() + self._startup_timeout
            self.display = f":{self._read_display_number(ready_r, deadline)}"
            self._wait_connectable(deadline)
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(ready_r)
        return self

    def _arguments(self):
        return ["-screen", "0", f"{self.width}x{self.height}x24"]

    def _read_display_number(self, fd, deadline):
        answer = b""
        while not answer.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                self._fail(f"gave no display number within {self._startup_timeout:g} s")
            readable, _, _ = select.select([fd], [], [], remaining)
            if readable:
                chunk = os.read(fd, 64)
                if not chunk:
                    self._proc.wait(timeout=5)
                    self._fail(f"exited with status {self._proc.returncode} before it was ready")
                answer += chunk
        return int(answer.strip())

    def _wait_connectable(self, deadline):
        while True:
            try:
                display.Display(self.display).close()
                return
            except (error.DisplayError, ConnectionError) as exc:
                if self._proc.poll() is not None:
                    self._fail(f"exited with status {self._proc.returncode} after announcing "
                               f"{self.display}")
                if time.monotonic() > deadline:
                    self._fail(f"announced {self.display} but refused connections: {exc}")
                time.sleep(0.05)

    def _fail(self, what):
        raise XvfbError(f"Xvfb {what}; its output:\n{self.log()}")

    def log(self):
        """What Xvfb has printed so far."""
        if self._log is None:
            return ""
        self._log.seek(0)
        return self._log.read().decode(errors="replace")

    def env(self):
        return dict(os.environ, DISPLAY=self.display)

    def screenshot(self, path):
        """Saves the whole screen as an image (format from the suffix) and returns the path."""
        result = subprocess.run(["import", "-window", "root", path], env=self.env(),
                                capture_output=True, text=True, timeout=60)
        if result.returncode != 0 or not os.path.isfile(path) or not os.path.getsize(path):
            raise XvfbError(f"screenshot {path} failed ({result.returncode}): {result.stderr}")
        return path

    def stop(self):
        if self._proc is not None and self._proc.poll() is None:
            self._proc.terminate()
            try:
                self._proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
        self._proc = None
        if self._log is not None:
            self._log.close()
            self._log = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class XorgDummy(Xvfb):
    """Xorg with the dummy video driver and input devices through libinput,
    as udev announces them: the kernel's own path for the pointer."""

    CONFIG = """Section "ServerFlags"
    Option "AutoAddDevices" "true"
    Option "AutoEnableDevices" "true"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "{width}x{height}"
        Virtual {width} {height}
    EndSubSection
EndSection
"""

    def __init__(self, width=1024, height=768, **kw):
        # Under emulation it takes many seconds to start.
        kw.setdefault("startup_timeout", 90.0)
        super().__init__(width, height, executable="Xorg", **kw)
        self._dir = tempfile.mkdtemp(prefix="xorg-")

    def _arguments(self):
        config = os.path.join(self._dir, "xorg.conf")
        with open(config, "w") as f:
            f.write(self.CONFIG.format(width=self.width, height=self.height))
        return ["-config", config, "-logfile", os.path.join(self._dir, "Xorg.log"), "vt1",
                "-novtswitch", "-sharevts"]

    def server_log(self):
        try:
            with open(os.path.join(self._dir, "Xorg.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""


@dataclass(frozen=True)
class PointerEvent:
    time: float      # time.monotonic() when the recorder received it
    kind: str        # 'motion', 'press' or 'release'
    x: int           # root coordinates
    y: int
    button: int      # 0 for motion


_KINDS = {X.MotionNotify: "motion", X.ButtonPress: "press", X.ButtonRelease: "release"}


class RecorderError(RuntimeError):
    pass


class PointerRecorder:
    """Records the pointer's device events on `display_name` on its own thread."""

    def __init__(self, display_name, start_timeout=10.0, poke_interval=0.01):
        self._display_name = display_name
        self._poke_interval = poke_interval
        self._start_timeout = start_timeout
        self._events = []
        self._changed = threading.Condition()
        self._recording = threading.Event()
        self._error = None
        self._control = self._data = None
        self._context = None
        self._thread = None
        self._poker = None
        self._poking = threading.Event()

    def start(self):
        self._control = display.Display(self._display_name)
        if not self._control.has_extension("RECORD"):
            self._control.close()
            raise RecorderError(f"{self._display_name} has no RECORD extension")
        self._data = display.Display(self._display_name)
        self._context = self._control.record_create_context(0, [record.AllClients], [{
            "core_requests": (0, 0), "core_replies": (0, 0),
            "ext_requests": (0, 0, 0, 0), "ext_replies": (0, 0, 0, 0),
            "delivered_events": (0, 0),
            "device_events": (X.ButtonPress, X.MotionNotify),  # press, release, motion
            "errors": (0, 0), "client_started": False, "client_died": False}])
        # The data connection enables the context: it must exist on the server first.
        self._control.sync()
        self._thread = threading.Thread(target=self._run, name="pointer-recorder", daemon=True)
        self._thread.start()
        # Events injected before the server starts recording would be lost.
        if not self._recording.wait(self._start_timeout) or self._error:
            self.stop()
            raise RecorderError(f"recording on {self._display_name} did not start")
        self._poker = threading.Thread(target=self._poke, name="pointer-recorder-poke",
                                       daemon=True)
        self._poker.start()
        return self

    def _poke(self):
        """The server hands recorded events to the data connection only when a
        client's request wakes it up; a program that injects and then goes
        quiet would leave its last events unseen. A round trip every
        poke_interval seconds from a connection of our own bounds that delay."""
        poke = display.Display(self._display_name)
        try:
            while not self._poking.wait(self._poke_interval):
                poke.get_input_focus()
        finally:
            poke.close()

    def _run(self):
        try:
            self._data.record_enable_context(self._context, self._on_reply)
        except Exception as exc:  # reported to the test thread by stop() and wait_for()
            with self._changed:
                self._error = exc
                self._changed.notify_all()
            self._recording.set()

    def _on_reply(self, reply):
        if reply.category == record.StartOfData:
            self._recording.set()
        if reply.category != record.FromServer:
            return
        now = time.monotonic()
        decoded = []
        data = reply.data
        while data:
            # Device events come as raw 32-byte wire events.
            event, data = rq.EventField(None).parse_binary_value(data, self._data.display,
                                                                 None, None)
            kind = _KINDS.get(event.type & 0x7f)
            if kind:
                button = event.detail if kind != "motion" else 0
                decoded.append(PointerEvent(now, kind, event.root_x, event.root_y, button))
        with self._changed:
            self._events.extend(decoded)
            self._changed.notify_all()

    def stop(self, timeout=10.0):
        if self._poker is not None:
            self._poking.set()
            self._poker.join(timeout)
            self._poker = None
        if self._thread is not None:
            # Disabling from the other connection makes enable_context return.
            self._control.record_disable_context(self._context)
            self._control.sync()
            self._thread.join(timeout)
            if self._thread.is_alive():
                raise RecorderError(f"recorder on {self._display_name} did not stop")
            self._thread = None
        if self._control is not None:
            if self._context is not None:
                self._control.record_free_context(self._context)
                self._control.sync()
                self._context = None
            self._control.close()
            self._control = None
        if self._data is not None:
            self._data.close()
            self._data = None
        self._raise_error()

    def _raise_error(self):
        if self._error is not None:
            raise RecorderError(f"recorder on {self._display_name} failed: "
                                f"{self._error!r}") from self._error

    def events(self):
        with self._changed:
            return list(self._events)

    def clear(self):
        with self._changed:
            self._events.clear()

    def wait_for(self, predicate, timeout, since=0):
        """First recorded event from index `since` on that satisfies `predicate`, or None."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                self._raise_error()
                for event in self._events[since:]:
                    if predicate(event):
                        return event
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return None
                self._changed.wait(remaining)

    def wait_press(self, button, timeout, since=0):
        return self.wait_for(lambda e: e.kind == "press" and e.button == button, timeout, since)

    def wait_release(self, button, timeout, since=0):
        return self.wait_for(lambda e: e.kind == "release" and e.button == button, timeout, since)

    def wait_motion_to(self, x, y, timeout, tolerance=0, since=0):
        return self.wait_for(lambda e: e.kind == "motion" and abs(e.x - x) <= tolerance
                             and abs(e.y - y) <= tolerance, timeout, since)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class XTestInjector:
    """Synthetic pointer input, as the service injects it; each call waits for the server."""

    def __init__(self, display_name):
        self._dpy = display.Display(display_name)
        if not self._dpy.has_extension("XTEST"):
            self._dpy.close()
            raise RuntimeError(f"{display_name} has no XTEST extension")

    def move(self, x, y):
        xtest.fake_input(self._dpy, X.MotionNotify, x=x, y=y)
        self._dpy.sync()

    def press(self, button):
        xtest.fake_input(self._dpy, X.ButtonPress, button)
        self._dpy.sync()

    def release(self, button):
        xtest.fake_input(self._dpy, X.ButtonRelease, button)
        self._dpy.sync()

    def click(self, button):
        self.press(button)
        self.release(button)

    def close(self):
        self._dpy.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
