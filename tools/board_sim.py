#!/usr/bin/python3
"""Board simulator: a pseudo-terminal presented as the board device.

It records what programs write, answers each greeting with an identification
reply, and sends contacts, lifts, keys, pen buttons, bad packets, split
packets, silence, unplug and replug, or a recorded byte stream.

As a library:
    with BoardSim(ident=(0xC8, 0xDD)) as board:
        board.wait_greetings(1, 10)
        board.stroke([(100, 100), (200, 200)])

As a tool, commands come one per line from --script or standard input:
    /usr/bin/python3 tools/board_sim.py [--device PATH] [--ident C8DD|none] [--script FILE]
"""
import argparse
import os
import select
import sys
import threading
import time
import tty

import protocol_tables

DEFAULT_DEVICE = "/dev/ttyUSB0"
PACKET_SIZE = 8
GREETING = bytes([0xCE, 0, 0, 0, 0, 0, 0, 0])
DATA_HEAD = 0xEE
EV_DOWN = 0x51
EV_UP = 0x61
PEN_FRONT = 0x85
PEN_BACK = 0x87
LINES = ("touch", "em")
HEAD_LINES = {row.head: {"touch": "touch", "elec": "em"}[row.line]
              for row in protocol_tables.idents()}
WRITE_TIMEOUT = 5.0


# ---------------------------------------------------------------- packets

def checksum(bytes7):
    """XOR of the first seven bytes of a packet."""
    x = 0
    for b in bytes7[:7]:
        x ^= b
    return x


def ident_reply(head, variant):
    """Identification reply: head, variant, five 0xFF, check byte."""
    body = bytes([head, variant]) + b"\xff" * 5
    return body + bytes([checksum(body)])


def line_of_head(head):
    """Board line announced by an identification head byte, None if unknown."""
    return HEAD_LINES.get(head)


def _pair(v):
    if not 0 <= v <= 0xFFF:
        raise ValueError("coordinate %r outside 0..4095" % (v,))
    return bytes([(v >> 6) & 0x3F, v & 0x3F])


def pack_coords(x, y, line):
    """Packet bytes 3..6 for a board point: touch puts x in 5,6 and y in 3,4,
    the electromagnetic line x in 3,4 and y in 5,6."""
    if line == "touch":
        return _pair(y) + _pair(x)
    if line == "em":
        return _pair(x) + _pair(y)
    raise ValueError("unknown board line %r" % (line,))


def data_packet(event, x, y, line):
    body = bytes([DATA_HEAD, 0x00, event]) + pack_coords(x, y, line)
    return body + bytes([checksum(body)])


def parse_recording(text):
    """[(offset_seconds, bytes)] from lines "<offset> <hex bytes...>"."""
    entries = []
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        offset, _, hexes = line.partition(" ")
        try:
            entries.append((float(offset), bytes.fromhex(hexes)))
        except ValueError as e:
            raise ValueError("recording line %d: %s" % (number, e)) from None
    return entries


# ---------------------------------------------------------------- the board

class BoardSim:
    """One simulated board on a pty; `device` becomes a symlink to its slave.

    listener, if given, is called as listener(kind, seconds_since_start, data)
    for "plugged", "unplugged", "received", "greeting" (data: the reply sent,
    empty when unanswered) and "sent".
    """

    def __init__(self, device=DEFAULT_DEVICE, ident=(0xC8, 0xDD), line=None, listener=None):
        if device.startswith("/dev/") and os.environ.get("E2E_SANDBOX") != "1":
            raise RuntimeError("refusing to create %s outside the e2e sandbox (E2E_SANDBOX=1); "
                               "pass a device path in a temporary directory instead" % device)
        if line is not None and line not in LINES:
            raise ValueError("line must be one of %s" % (LINES,))
        self.device = device
        self._line = line
        self._last_line = "touch"
        self.ident = ident
        self._listener = listener
        self._silent = False
        self._master = self._slave = None
        self._wake_r = self._wake_w = None
        self._thread = None
        self._write_lock = threading.Lock()
        self._cond = threading.Condition()
        self._received = []
        self._greetings = 0
        self._tail = b""
        self._next_paced = 0.0
        self._t0 = time.monotonic()

    # -- state

    @property
    def ident(self):
        return self._ident

    @ident.setter
    def ident(self, value):
        if value is not None:
            value = (int(value[0]), int(value[1]))
            # An unknown head keeps the packing of the last known line.
            self._last_line = line_of_head(value[0]) or self._last_line
        self._ident = value

    @property
    def line(self):
        """'touch' or 'em': the packing used by packet()."""
        return self._line or self._last_line

    @property
    def plugged(self):
        return self._master is not None

    def set_silent(self, flag):
        self._silent = bool(flag)

    def received(self):
        with self._cond:
            return list(self._received)

    def greetings(self):
        with self._cond:
            return self._greetings

    def wait_greetings(self, n, timeout):
        with self._cond:
            return self._cond.wait_for(lambda: self._greetings >= n, timeout)

    # -- plugging

    def plug(self):
        if self.plugged:
            return
        master, slave = os.openpty()
        tty.setraw(slave)
        # Holding a slave descriptor ourselves keeps the master free of EIO
        # while programs close and reopen the port between their runs.
        self._master, self._slave = master, slave
        os.set_blocking(master, False)
        if os.path.islink(self.device):
            os.unlink(self.device)
        os.symlink(os.ttyname(slave), self.device)
        self._wake_r, self._wake_w = os.pipe()
        self._thread = threading.Thread(target=self._read_loop, name="board-sim-reader", daemon=True)
        self._thread.start()
        self._emit("plugged", os.ttyname(slave).encode())

    def unplug(self):
        if not self.plugged:
            return
        if os.path.islink(self.device):
            os.unlink(self.device)
        os.write(self._wake_w, b"x")
        self._thread.join()
        with self._write_lock:
            # Closing the master hangs up every program's descriptor.
            for fd in (self._master, self._slave, self._wake_r, self._wake_w):
                os.close(fd)
            self._master = self._slave = self._wake_r = self._wake_w = None
        self._thread = None
        self._tail = b""
        self._emit("unplugged", b"")

    def replug(self):
        self.unplug()
        self.plug()

    def close(self):
        self.unplug()

    def __enter__(self):
        self.plug()
        return self

    def __exit__(self, *exc):
        self.close()

    # -- what programs write

    def _read_loop(self):
        while True:
            ready, _, _ = select.select([self._master, self._wake_r], [], [])
            if self._wake_r in ready:
                return
            try:
                chunk = os.read(self._master, 4096)
            except BlockingIOError:
                continue
            except OSError:
                return
            if not chunk:
                return
            self._take(chunk)

    def _take(self, chunk):
        now = time.monotonic()
        stream = self._tail + chunk
        # The tail is shorter than a greeting, so every match found here
        # ends in the new chunk and none is counted twice.
        found = stream.count(GREETING)
        self._tail = stream[-(len(GREETING) - 1):]
        with self._cond:
            self._received.append((now, chunk))
            self._greetings += found
            self._cond.notify_all()
        self._emit("received", chunk, now)
        for _ in range(found):
            ident = self.ident
            if ident is None or self._silent:
                self._emit("greeting", b"")
                continue
            reply = ident_reply(*ident)
            self._write(reply)
            self._emit("greeting", reply)

    # -- what the board sends

    def _write(self, data):
        with self._write_lock:
            if self._master is None:
                raise RuntimeError("board is unplugged")
            view = memoryview(data)
            deadline = time.monotonic() + WRITE_TIMEOUT
            while view:
                try:
                    n = os.write(self._master, view)
                    view = view[n:]
                except BlockingIOError:
                    left = deadline - time.monotonic()
                    if left <= 0:
                        raise TimeoutError("nobody reads %s: its input queue is full" % self.device)
                    select.select([], [self._master], [], left)

    def send(self, data, split_at=None, gap=0.02):
        """Raw bytes to the programs; split_at sends them in two writes."""
        if self._silent:
            return
        data = bytes(data)
        if split_at is None:
            self._write(data)
        else:
            self._write(data[:split_at])
            time.sleep(gap)
            self._write(data[split_at:])
        self._emit("sent", data)

    def packet(self, event, x, y):
        return data_packet(event, x, y, self.line)

    def _paced(self, pkt, count, rate):
        """Sends pkt count times at rate packets per second (kept across calls)."""
        period = 1.0 / rate
        for _ in range(count):
            delay = self._next_paced - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            self.send(pkt)
            self._next_paced = time.monotonic() + period
        return pkt

    def contact(self, x, y, count=1, rate=240):
        return self._paced(self.packet(EV_DOWN, x, y), count, rate)

    def lift(self, x, y, count=1, rate=240):
        return self._paced(self.packet(EV_UP, x, y), count, rate)

    def stroke(self, points, rate=240, lifts=1):
        last = None
        for x, y in points:
            self.contact(x, y, rate=rate)
            last = (x, y)
        if last is None:
            raise ValueError("a stroke needs at least one point")
        self.lift(*last, count=lifts, rate=rate)

    def key(self, code, count=1, rate=240):
        return self._paced(self.packet(code, 0, 0), count, rate)

    def pen_button(self, event, x, y, count=1, rate=240):
        if event not in (PEN_FRONT, PEN_BACK):
            raise ValueError("pen button event must be 0x85 or 0x87")
        return self._paced(self.packet(event, x, y), count, rate)

    def bad_packet(self, event, x, y):
        good = self.packet(event, x, y)
        bad = good[:7] + bytes([good[7] ^ 0xFF])
        self.send(bad)
        return bad

    def play(self, path):
        with open(path) as f:
            entries = parse_recording(f.read())
        start = time.monotonic()
        for offset, data in entries:
            delay = start + offset - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            self.send(data)
        return len(entries)

    # -- reporting

    def _emit(self, kind, data, when=None):
        if self._listener is not None:
            self._listener(kind, (when or time.monotonic()) - self._t0, data)


# ---------------------------------------------------------------- command line

def _parse_ident(text):
    if text.lower() == "none":
        return None
    raw = bytes.fromhex(text)
    if len(raw) != 2:
        raise ValueError("ident is two hex bytes, e.g. C8DD, or none")
    return (raw[0], raw[1])


def _int(text):
    return int(text, 10)


class Console:
    """Runs script commands against one BoardSim and prints what happens."""

    def __init__(self, out):
        self.out = out
        self._lock = threading.Lock()

    def say(self, text, t=None):
        with self._lock:
            stamp = "" if t is None else "[+%.3f] " % t
            self.out.write(stamp + text + "\n")
            self.out.flush()

    def listener(self, kind, t, data):
        if kind == "received":
            self.say("received %s" % data.hex(" ").upper(), t)
        elif kind == "greeting":
            if data:
                self.say("greeting answered %s" % data.hex(" ").upper(), t)
            else:
                self.say("greeting not answered", t)
        elif kind == "plugged":
            self.say("plugged, slave %s" % data.decode(), t)
        elif kind == "unplugged":
            self.say("unplugged", t)

    def run(self, board, lines):
        """Executes commands until quit or the end; True when all succeeded."""
        ok = True
        for raw in lines:
            words = raw.split("#", 1)[0].split()
            if not words:
                continue
            if words[0] == "quit":
                break
            try:
                result = self.command(board, words[0], words[1:])
                self.say("done %s%s" % (" ".join(words), "" if result is None else ": " + result))
            except (ValueError, IndexError, TypeError, OSError, RuntimeError, TimeoutError) as e:
                ok = False
                self.say("failed %s: %s" % (" ".join(words), e))
        return ok

    def command(self, board, name, args):
        if name == "contact":
            board.contact(_int(args[0]), _int(args[1]), *self._count_rate(args[2:]))
        elif name == "lift":
            board.lift(_int(args[0]), _int(args[1]), *self._count_rate(args[2:]))
        elif name == "key":
            board.key(int(args[0], 16), *self._count_rate(args[1:]))
        elif name == "button":
            board.pen_button(int(args[0], 16), _int(args[1]), _int(args[2]), *self._count_rate(args[3:]))
        elif name == "bad":
            return board.bad_packet(EV_DOWN, _int(args[0]), _int(args[1])).hex(" ").upper()
        elif name == "split":
            board.send(bytes.fromhex(args[0]), split_at=_int(args[1]))
        elif name == "silent":
            board.set_silent({"on": True, "off": False}[args[0]])
        elif name == "ident":
            board.ident = _parse_ident(args[0])
        elif name == "unplug":
            board.unplug()
        elif name == "replug":
            board.replug()
        elif name == "wait-greeting":
            n = _int(args[0]) if args else 1
            timeout = float(args[1]) if len(args) > 1 else 10.0
            if not board.wait_greetings(n, timeout):
                raise TimeoutError("%d greeting(s) seen, %d awaited" % (board.greetings(), n))
            return "%d greeting(s)" % board.greetings()
        elif name == "sleep":
            time.sleep(float(args[0]))
        elif name == "play":
            return "%d entries" % board.play(args[0])
        else:
            raise ValueError("unknown command")
        return None

    @staticmethod
    def _count_rate(args):
        count = _int(args[0]) if args else 1
        rate = float(args[1]) if len(args) > 1 else 240
        return count, rate


def main(argv=None):
    parser = argparse.ArgumentParser(description="Simulated board on a pty.")
    parser.add_argument("--device", default=DEFAULT_DEVICE)
    parser.add_argument("--ident", default="C8DD", type=_parse_ident, help="reply to greetings, e.g. C8DD, or none")
    parser.add_argument("--script", help="command file (default: standard input)")
    args = parser.parse_args(argv)

    console = Console(sys.stdout)
    try:
        board = BoardSim(device=args.device, ident=args.ident, listener=console.listener)
        board.plug()
    except (RuntimeError, OSError) as e:
        print("board_sim: %s" % e, file=sys.stderr)
        return 2
    try:
        if args.script:
            with open(args.script) as f:
                ok = console.run(board, f.read().splitlines())
        else:
            ok = console.run(board, sys.stdin)
    finally:
        board.close()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
