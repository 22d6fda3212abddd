"""whiteboard-doctor against the sandbox: each link of the chain broken or
mended from outside (the simulated board, a sysfs tree mounted over
/sys/dev/char, the registry, the X display, the listener port), and --watch
decoding what the simulated board sends."""
import fcntl
import os
import re
import resource
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import unicodedata

import pytest

from plugin_sandbox import own_file_at
from steps_service import started_up
from udp_listener import UdpListener
from waiting import WAIT, wait_until

DOCTOR = "/usr/bin/whiteboard-doctor"
NOBODY = 65534
CHECKS = ["device", "adapter", "access", "modemmanager", "board", "service", "lock", "autostart",
          "display", "session", "screen", "monitor", "pointer", "config", "calibration",
          "edge keys", "launcher", "listener"]
# The verdict is padded to eight characters; the check name ends at the first ": ".
FINDING = re.compile(r"^(?:ok {6}|warning |problem )([a-z][a-z ]*?): ")
SYS_CHAR = "/sys/dev/char"
LAUNCHER = "/usr/share/Slatrix_Software/run"
AUTOSTART = "/etc/xdg/autostart/quilld.desktop"
# A 3x3 board grid, numbered down each column.
GRID = [((400, 2048, 3700)[k // 3], (400, 2048, 3700)[k % 3]) for k in range(9)]
ON_TOP = GRID[:1] * 2 + GRID[2:]


def exclusive(device):
    """Whether the tty at device is in exclusive mode (TIOCGEXCL)."""
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
    try:
        return struct.unpack("i", fcntl.ioctl(fd, 0x80045440, b"\0" * 4))[0] != 0
    finally:
        os.close(fd)


def run_doctor(env, *args, as_nobody=False):
    who = dict(user=NOBODY, group=NOBODY, extra_groups=[]) if as_nobody else {}
    # A silent board holds a run for 2 s; nothing else should take long.
    return subprocess.run([DOCTOR, *args], env=env, capture_output=True, text=True, timeout=WAIT,
                          cwd="/", **who)


def findings(result):
    """check name -> its whole line; every line of output must be a finding."""
    assert result.stderr == ""
    found = {}
    for line in result.stdout.splitlines():
        m = FINDING.match(line)
        assert m, f"not a finding: {line!r}"
        assert m.group(1) not in found, f"{m.group(1)} reported twice:\n{result.stdout}"
        found[m.group(1)] = line
    return found


def expect(result, status, patterns, checks=CHECKS):
    lines = findings(result)
    assert list(lines) == checks, result.stdout
    for check, pattern in patterns.items():
        assert re.match(pattern, lines[check]), f"{check}: {lines[check]!r}"
    assert result.returncode == status, result.stdout
    return lines


def without_display():
    return {k: v for k, v in os.environ.items() if k != "DISPLAY"}


@pytest.fixture
def usb_adapter(board):
    """The board's pty seen by sysfs as the tty of an FTDI adapter."""
    subprocess.run(["mount", "-t", "tmpfs", "e2e-sysfs", SYS_CHAR], check=True)
    try:
        port = os.path.join(SYS_CHAR, "usb/1-1/1-1:1.0/ttyUSB0")
        os.makedirs(os.path.join(port, "tty/ttyUSB0"))
        os.makedirs(os.path.join(SYS_CHAR, "drivers/ftdi_sio"))
        for name, value in [("idVendor", "0403"), ("idProduct", "6001"),
                            ("manufacturer", "FTDI"), ("product", "FT232R USB UART")]:
            with open(os.path.join(SYS_CHAR, "usb/1-1", name), "w") as f:
                f.write(value + "\n")
        os.symlink("../../../../drivers/ftdi_sio", os.path.join(port, "driver"))
        os.symlink("../..", os.path.join(port, "tty/ttyUSB0/device"))
        rdev = os.stat(board.device).st_rdev
        os.symlink("usb/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0",
                   os.path.join(SYS_CHAR, f"{os.major(rdev)}:{os.minor(rdev)}"))
        yield
    finally:
        subprocess.run(["umount", SYS_CHAR], check=True)


@pytest.fixture
def desktop_files():
    """The autostart entry and an executable whiteboard launcher in place."""
    with own_file_at(AUTOSTART), own_file_at(LAUNCHER):
        os.makedirs(os.path.dirname(AUTOSTART), exist_ok=True)
        shutil.copy(os.path.join(os.environ["E2E_SOURCE"], "data/quilld.desktop"), AUTOSTART)
        os.makedirs(os.path.dirname(LAUNCHER), exist_ok=True)
        with open(LAUNCHER, "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(LAUNCHER, 0o755)
        yield


FINE = {"adapter": r"ok +adapter: 0403:6001 FTDI FT232R USB UART \(driver ftdi_sio\)\.$",
        "autostart": r"ok +autostart: the autostart entry /etc/xdg/autostart/quilld\.desktop",
        "launcher": r"ok +launcher: /usr/share/Slatrix_Software/run is there\.$",
        "calibration": r"ok +calibration: 9 points that fit together\.$",
        # No /dev/uinput in the sandbox, and Xvfb is no Wayland session.
        "pointer": r"ok +pointer: /dev/uinput is missing \(the uinput module is not loaded\): "
                   r"the service drives the pointer through XTest, which reaches every X11 "
                   r"program\.$",
        "listener": r"ok +listener: a program listens on UDP 127\.0\.0\.1:10000\.$"}


@pytest.mark.parametrize("calibration, listening, status, wrong", [
    (GRID, True, 0, {}),
    (GRID, False, 0, {"listener": r"warning +listener: nothing listens on UDP 127\.0\.0\.1:10000"}),
    (None, True, 1, {"calibration": r"problem +calibration: none stored"}),
    (ON_TOP, True, 1, {"calibration": r"problem +calibration: targets 1 and 2 of 9 were touched "
                                      r"on the same spot"}),
], ids=["all-fine", "no-listener", "no-calibration", "point-on-top"])
def test_with_the_service_running_only_the_broken_link_is_reported(
        config, quilld, board, xserver, usb_adapter, desktop_files, calibration, listening,
        status, wrong):
    config.write(config.calibration(calibration) if calibration else "")
    service = quilld()
    assert started_up(service, board), service.output()
    assert wait_until(lambda: config.registry("Quilld") == service.pid)
    pid = service.pid
    listener = UdpListener() if listening else None
    try:
        result = run_doctor(xserver.env())
    finally:
        if listener:
            listener.stop()
    lines = expect(result, status, {
        **FINE,
        "board": rf"ok +board: the service Quilld \(pid {pid}\) reads the board; not probed "
                 r"while it does\.$",
        "service": rf"ok +service: Quilld runs \(pid {pid}\)\.$",
        "lock": rf"ok +lock: /tmp/Quilld\.mux is held by the service \(pid {pid}\)\.$",
        **wrong})
    assert {c for c, line in lines.items() if not line.startswith("ok ")} == set(wrong)

    # The service has the port: watching it beside the service is refused.
    watch = run_doctor(xserver.env(), "--watch")
    assert (watch.returncode, watch.stdout) == (1, "")
    assert re.match(rf"whiteboard-doctor: the service Quilld \(pid {pid}\) reads the board; "
                    r"end it first", watch.stderr), watch.stderr
    assert service.proc.poll() is None


def test_a_service_that_lost_its_registry_entry_still_has_the_board(config, quilld, board,
                                                                     xserver):
    service = quilld()
    assert started_up(service, board), service.output()
    assert wait_until(lambda: config.registry("Quilld") == service.pid)
    config.write("")
    lines = findings(run_doctor(xserver.env()))
    pid = service.pid
    assert re.match(rf"ok +board: the service Quilld \(pid {pid}\) reads the board",
                    lines["board"]), lines["board"]
    assert re.match(rf"warning +service: Quilld runs \(pid {pid}\), but the registry names none: "
                    r"the tools cannot give the board back to it\. Fix: restart the service",
                    lines["service"]), lines["service"]
    assert re.match(rf"ok +lock: /tmp/Quilld\.mux is held by the service \(pid {pid}\)",
                    lines["lock"]), lines["lock"]


def test_missing_premises_leave_their_checks_out(config):
    os.remove(config.path)
    result = run_doctor(without_display())
    expect(result, 1, {
        "device": r"problem +device: /dev/ttyUSB0 is missing: no USB serial adapter is plugged "
                  r"in\. Fix: plug the board's USB cable in",
        "display": r"problem +display: no X display: DISPLAY is not set\.",
        "config": r"problem +config: /usr/share/RivarAzazuva/QMRV/config\.ini is missing"},
        checks=["device", "service", "lock", "autostart", "display", "pointer", "config",
                "launcher", "listener"])
    assert not os.path.exists(config.path), "a diagnosis created the configuration file"


def test_a_port_the_user_may_not_open_is_not_probed(config, board, xserver):
    greeted = board.greetings()
    env = {"PATH": os.environ["PATH"], "DISPLAY": xserver.env()["DISPLAY"]}
    result = run_doctor(env, as_nobody=True)
    expect(result, 1, {"access": r'problem +access: user "nobody" may not read and write '
                                 r"/dev/ttyUSB0 \(crw--w---- root:\w+\)\. Fix: "},
           checks=[c for c in CHECKS if c != "board"])
    assert board.greetings() == greeted


@pytest.mark.parametrize("ident, board_line, edge_keys", [
    ((0xC8, 0xDD), r"ok +board: touch line, with printed edge keys \(TouchS_Cmp, reply c8 dd\)\.$",
     r"warning +edge keys: not taught for the board's touch line"),
    ((0xC8, 0xCC), r"ok +board: touch line, without printed edge keys \(TouchH_Cmp, reply c8 "
                   r"cc\)\.$",
     r"ok +edge keys: the board has no printed edge keys to teach\.$"),
    ((0xE8, 0xCE), r"ok +board: electromagnetic line, size class 80, with printed edge keys "
                   r"\(ElecH_Cmp_80, reply e8 ce\)\.$",
     r"warning +edge keys: not taught for the board's electromagnetic line"),
    ((0xC8, 0x11), r"warning +board: touch line, unknown model \(reply c8 11\)\. Fix: the suite "
                   r"does not know this model; the service reads the board as the touch line\.",
     r"warning +edge keys: not taught for the board's touch line"),
    (None, r"problem +board: silent: no answer to the greeting within 2 s\.",
     r"ok +edge keys: not taught for the touch line, not taught for the electromagnetic line "
     r"\(the board's line is not known here\)\.$"),
], ids=["touch-S", "touch-H", "em-80-H", "unknown", "silent"])
def test_the_board_is_probed_by_its_greeting(config, board, ident, board_line, edge_keys):
    if ident is None:
        board.set_silent(True)
    else:
        board.ident = ident
    rdev = os.stat(board.device).st_rdev
    result = run_doctor(without_display())
    expect(result, 1, {
        # A pty hangs off no USB device.
        "adapter": rf"warning +adapter: /dev/ttyUSB0 \({os.major(rdev)}:{os.minor(rdev)}\) hangs "
                   r"off no USB device",
        "board": board_line, "edge keys": edge_keys},
        checks=[c for c in CHECKS if c not in ("session", "screen", "monitor")])
    # A silent board is greeted once more before it is given up.
    assert board.greetings() >= (2 if ident is None else 1)
    assert not exclusive(board.device), "the port is left open to every user"


@pytest.mark.parametrize("registered, found", [
    ("absent", r"not running\. Fix: start the service"),
    ("ended", r"not running: the registry names pid {pid}, which has ended\. Fix: "),
    ("foreign", r'not running: the registry names pid {pid}, which is "sleep" \(/usr/bin/sleep\) '
                r'of user "root", not the service\. Fix: '),
    # Any user can run a program named Quilld and register it: it is told by
    # its program, or, where another user's program cannot be read, by the lock.
    ("impostor", r'not running: the registry names pid {pid}, which is "Quilld" \({exe}\) of user '
                 r'"nobody", not the service\. Fix: '),
    ("impostor-of-root", r'not running: the registry names pid {pid}, which is "Quilld" of user '
                         r'"root", not the service\. Fix: '),
])
def test_a_registry_naming_no_service_is_a_problem(config, board, registered, found):
    folder = tempfile.mkdtemp()
    os.chmod(folder, 0o755)
    exe = shutil.copy("/usr/bin/sleep", os.path.join(folder, "Quilld"))
    argv = [exe if registered.startswith("impostor") else
            "sleep" if registered == "foreign" else "true", "30"]
    doctor_as_nobody = registered == "impostor-of-root"
    proc = subprocess.Popen(argv, **({} if registered != "impostor" else
                                     dict(user=NOBODY, group=NOBODY, extra_groups=[])))
    try:
        if registered == "ended":
            proc.wait(WAIT)
        if registered != "absent":
            config.write(f"[PID]\nQuilld={proc.pid}\n")
        result = run_doctor({"PATH": os.environ["PATH"]}, as_nobody=doctor_as_nobody)
    finally:
        proc.kill()
        proc.wait()
    lines = findings(result)
    assert re.match(r"problem +service: " + found.format(pid=proc.pid, exe=re.escape(exe)),
                    lines["service"]), lines["service"]
    assert re.match(r"ok +lock: /tmp/Quilld\.mux is free\.$", lines["lock"]), lines["lock"]
    if not doctor_as_nobody:  # nobody may not open the port
        assert re.match(r"ok +board: touch line", lines["board"]), lines["board"]
    assert result.returncode == 1


@pytest.mark.parametrize("ending", ["interrupt", "unplug"])
def test_watch_decodes_the_packets_of_an_electromagnetic_board(config, board, start_program,
                                                               ending):
    board.ident = (0xE8, 0xCE)
    watch = start_program([DOCTOR, "--watch"], env=without_display())
    assert watch.wait_line("Watching /dev/ttyUSB0; Ctrl+C ends.", WAIT), watch.output()
    ident = ("board: electromagnetic line, size class 80, with printed edge keys "
             "(ElecH_Cmp_80, reply e8 ce)")
    assert watch.wait_line(ident, WAIT), watch.output()

    # Points far from the diagonal: a swap of x and y would show.
    board.stroke([(100, 3000), (4095, 7)])
    board.key(0xDA)
    board.key(0xD8)
    board.pen_button(0x85, 1234, 3210)
    board.pen_button(0x87, 50, 60)
    expected = ["contact x 100 y 3000", "contact x 4095 y 7", "lift x 4095 y 7",
                "key NewPage (da): word anew", "key Orient (d8): starts the calibration tool",
                "pen button front (85) at x 1234 y 3210: left click, word elfc",
                "pen button back (87): right click, word elbc"]
    assert watch.wait_line(expected[-1], WAIT), watch.output()

    if ending == "interrupt":
        watch.send(signal.SIGINT)
        status, last = 0, None
        assert watch.wait_exit(WAIT) == status
        assert not exclusive(board.device), "the port is left open to every user"
    else:
        board.unplug()
        status, last = 1, "the board went away"
    assert watch.wait_exit(WAIT) == status
    lines = watch.lines()
    assert lines[0] == "Watching /dev/ttyUSB0; Ctrl+C ends.\n"
    stamped = [re.fullmatch(r" *(\d+\.\d{3})  (.+)\n", line) for line in lines[1:]]
    assert all(stamped), lines
    assert all(len(line) - len(m.group(2)) == 11 for line, m in zip(lines[1:], stamped)), lines
    times = [float(m.group(1)) for m in stamped]
    assert times == sorted(times)
    events = [m.group(2) for m in stamped if m.group(2) != ident]
    assert events == expected + ([last] if last else []), lines


# A process that names itself as asked, may take a lock of either kind on a
# file, and waits; planted by any local user.
PLANTED = r"""
import ctypes, fcntl, sys, time
ctypes.CDLL(None).prctl(15, sys.argv[1].encode("latin-1"), 0, 0, 0)   # PR_SET_NAME
if len(sys.argv) > 2:
    f = open(sys.argv[2], "a")
    (fcntl.lockf if sys.argv[3] == "posix" else fcntl.flock)(f, fcntl.LOCK_EX)
print("ready", flush=True)
time.sleep(60)
"""


def planted(name, lock=None, kind="flock", **popen):
    proc = subprocess.Popen([sys.executable, "-c", PLANTED, name,
                             *([lock, kind] if lock else [])],
                            stdout=subprocess.PIPE, text=True, encoding="latin-1", **popen)
    assert proc.stdout.readline() == "ready\n"
    return proc


def same_inode_elsewhere(path):
    """A file on a fresh tmpfs whose inode number is that of path."""
    mnt = tempfile.mkdtemp()
    subprocess.run(["mount", "-t", "tmpfs", "e2e-other", mnt], check=True)
    wanted = os.stat(path).st_ino
    while True:
        other = os.path.join(mnt, "other")
        open(other, "w").close()
        ino = os.stat(other).st_ino
        if ino >= wanted:
            assert ino == wanted, "tmpfs numbers inodes in order"
            return mnt, other
        os.remove(other)


LEFT_OVER = (r"ok +lock: /tmp/Quilld\.mux is left from an earlier run, and nobody holds it; "
             r"the service takes it over\.$")


@pytest.mark.parametrize("lock", ["posix", "same-inode-elsewhere"])
def test_only_the_services_own_kind_of_lock_on_its_own_file_blames_a_holder(config, lock):
    open("/tmp/Quilld.mux", "w").close()
    mnt = None
    if lock == "posix":
        holder = planted("locker", "/tmp/Quilld.mux", "posix")
    else:
        mnt, other = same_inode_elsewhere("/tmp/Quilld.mux")
        holder = planted("locker", other, "flock")
    try:
        lines = findings(run_doctor(without_display()))
    finally:
        holder.kill()
        holder.wait()
        if mnt:
            subprocess.run(["umount", mnt], check=True)
    assert re.match(LEFT_OVER, lines["lock"]), lines["lock"]


def test_names_any_user_can_plant_reach_the_terminal_escaped(config, xserver):
    """A registered process holding the service's lock under a name with a
    terminal title sequence, a stored monitor name with one, and an X monitor
    whose name holds a line break: all of them are shown as \\xNN."""
    proc = planted("\x1b]0;pwn\x07", "/tmp/Quilld.mux")
    config.write(f"[PID]\nQuilld={proc.pid}\n[Monitor]\nname=\x1b[2J\x9b0m\n")
    subprocess.run(["xrandr", "--setmonitor", "HDMI\nok      forged", "500/132x800/211+0+0",
                    "screen"], env=xserver.env(), check=True, capture_output=True)
    try:
        raw = subprocess.run([DOCTOR], env=xserver.env(), capture_output=True, timeout=WAIT,
                             cwd="/").stdout
    finally:
        proc.kill()
        proc.wait()
    text = raw.decode()  # valid UTF-8, with no control character but the line ends
    assert not [c for c in text if unicodedata.category(c) == "Cc" and c != "\n"], raw
    lines = findings(subprocess.CompletedProcess([], 0, text, ""))
    pwn = r"\\x1b\]0;pwn\\x07"
    assert re.match(rf'problem +service: not running: the registry names pid {proc.pid}, which '
                    rf'is "{pwn}" \(', lines["service"]), lines["service"]
    assert re.match(rf"problem +lock: /tmp/Quilld\.mux is held by process {proc.pid} \({pwn}\)",
                    lines["lock"]), lines["lock"]
    assert r"HDMI\x0aok      forged 500x800+0+0" in lines["screen"], lines["screen"]
    assert r'monitor "\x1b[2J\xc2\x9b0m"' in lines["monitor"], lines["monitor"]


def test_watch_refuses_a_port_that_is_no_serial_port(config):
    """A FIFO at the port's name would hold a read for ever, deaf to Ctrl+C."""
    os.mkfifo("/dev/ttyUSB0")
    try:
        watch = run_doctor(without_display(), "--watch")
    finally:
        os.remove("/dev/ttyUSB0")
    assert (watch.returncode, watch.stdout) == (1, "")
    assert watch.stderr == ("whiteboard-doctor: cannot open /dev/ttyUSB0: a FIFO, not a serial "
                            "port\n")


def test_an_x_server_that_never_answers_holds_the_doctor_for_seconds_only(config):
    os.makedirs("/tmp/.X11-unix", exist_ok=True)
    with socket.socket(socket.AF_UNIX) as server:
        server.bind("/tmp/.X11-unix/X77")
        server.listen()
        result = run_doctor({**without_display(), "DISPLAY": ":77"})
    os.remove("/tmp/.X11-unix/X77")
    assert re.match(r'problem +display: the X display ":77" took the connection but did not '
                    r"answer within 5 s\. Fix: ", findings(result)["display"]), result.stdout


def test_a_listener_behind_a_mebibyte_of_other_sockets_is_found(config):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 12000), hard))
    sockets = []
    listener = UdpListener()  # first: its descriptor must stay below select()'s limit
    try:
        # The table lists sockets by port: these come before the command port.
        for port in range(1025, 10000):
            sockets.append(socket.socket(socket.AF_INET, socket.SOCK_DGRAM))
            sockets[-1].bind(("127.0.0.1", port))
        with open("/proc/net/udp") as f:
            assert len(f.read()) > 1 << 20
        lines = findings(run_doctor(without_display()))
    finally:
        listener.stop()
        for s in sockets:
            s.close()
        resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))
    assert re.match(FINE["listener"], lines["listener"]), lines["listener"]
