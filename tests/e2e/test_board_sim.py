"""The board simulator, seen from a program's side of /dev/ttyUSB0."""
import os
import select
import subprocess
import sys
import termios
import threading
import time
import tty

import pytest

import board_sim
from board_sim import BoardSim, checksum, ident_reply, pack_coords
from waiting import wait_until

DEVICE = board_sim.DEFAULT_DEVICE
GREETING = bytes([0xCE, 0, 0, 0, 0, 0, 0, 0])
TIMEOUT = 10.0
QUIET = 0.5  # how long "nothing arrives" is watched


def decode(pkt, line):
    """Board point of a data packet, decoded independently of the simulator."""
    coord_a = ((pkt[3] & 0x3F) << 6) | (pkt[4] & 0x3F)
    coord_b = ((pkt[5] & 0x3F) << 6) | (pkt[6] & 0x3F)
    return (coord_b, coord_a) if line == "touch" else (coord_a, coord_b)


def xor7(pkt):
    x = 0
    for b in pkt[:7]:
        x ^= b
    return x


class Port:
    """The device opened as a program opens it: raw line, reads that time out."""

    def __init__(self, vmin=0, vtime=2):
        self.fd = os.open(DEVICE, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)
        attrs = termios.tcgetattr(self.fd)
        attrs[6][termios.VMIN] = vmin
        attrs[6][termios.VTIME] = vtime
        termios.tcsetattr(self.fd, termios.TCSANOW, attrs)

    def write(self, data):
        assert os.write(self.fd, data) == len(data)

    def read(self, n, timeout=TIMEOUT):
        """Up to n bytes, waiting at most timeout for them."""
        got = b""
        deadline = time.monotonic() + timeout
        while len(got) < n:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                break
            chunk = os.read(self.fd, n - len(got))
            if not chunk:
                break
            got += chunk
        return got

    def close(self):
        os.close(self.fd)


@pytest.fixture
def port(board):
    p = Port()
    yield p
    p.close()


LINES = {"touch": (0xC8, 0xDD), "em": (0xE8, 0xCE)}


@pytest.fixture(params=sorted(LINES))
def line_board(request):
    """A plugged board of each line, with its line's identification."""
    with BoardSim(ident=LINES[request.param]) as sim:
        yield request.param, sim


# ------------------------------------------------------------ pure helpers

@pytest.mark.parametrize("head, variant, check", [
    (0xC8, 0xCC, 0xFB), (0xC8, 0xDD, 0xEA), (0xE8, 0xCE, 0xD9)])
def test_identification_reply_bytes(head, variant, check):
    assert ident_reply(head, variant) == bytes([head, variant] + [0xFF] * 5 + [check])


VALUES = [0, 1, 63, 64, 65, 2047, 2048, 4032, 4095]


@pytest.mark.parametrize("line", ["touch", "em"])
def test_packing_round_trips_for_both_lines(line):
    for x in VALUES:
        for y in VALUES:
            pkt = board_sim.data_packet(0x51, x, y, line)
            assert len(pkt) == 8 and pkt[0] == 0xEE and pkt[2] == 0x51
            assert all(b <= 0x3F for b in pkt[3:7]), pkt.hex()
            assert decode(pkt, line) == (x, y)
            assert pkt[7] == xor7(pkt) == checksum(pkt[:7])
            assert pkt[3:7] == pack_coords(x, y, line)


@pytest.mark.parametrize("x, y", [(-1, 0), (0, -1), (4096, 0), (0, 4096)])
def test_coordinates_outside_twelve_bits_are_refused(x, y):
    for line in ("touch", "em"):
        with pytest.raises(ValueError):
            pack_coords(x, y, line)


def test_line_follows_the_identification_unless_fixed(tmp_path):
    dev = str(tmp_path / "board")
    assert BoardSim(dev, ident=(0xE6, 0xDD)).line == "em"
    assert BoardSim(dev, ident=None).line == "touch"
    assert BoardSim(dev, ident=(0xC8, 0xDD), line="em").line == "em"
    sim = BoardSim(dev, ident=(0xC8, 0xDD))
    sim.ident = (0xEC, 0xEF)
    assert sim.line == "em"
    sim.ident = None
    assert sim.line == "em"


def test_refuses_the_fixed_device_outside_the_sandbox(monkeypatch):
    monkeypatch.delenv("E2E_SANDBOX")
    with pytest.raises(RuntimeError, match="sandbox"):
        BoardSim()
    assert not os.path.lexists(DEVICE)


def test_recording_parser_reads_offsets_bytes_and_comments():
    text = "# header\n0 EE 00 51\n\n0.25 0102  # trailing\n1.5 ff\n"
    assert board_sim.parse_recording(text) == [
        (0.0, bytes([0xEE, 0x00, 0x51])), (0.25, bytes([1, 2])), (1.5, bytes([0xFF]))]
    with pytest.raises(ValueError, match="line 2"):
        board_sim.parse_recording("0 EE\nsoon EE\n")


# ------------------------------------------------------------ greeting

def test_greeting_is_answered_and_logged(board, port):
    before = time.monotonic()
    port.write(GREETING)
    assert port.read(8) == ident_reply(0xC8, 0xDD)
    assert board.greetings() == 1
    log = board.received()
    assert b"".join(chunk for _, chunk in log) == GREETING
    assert all(before <= t <= time.monotonic() for t, _ in log)


@pytest.mark.parametrize("k", [1, 4, 7])
def test_greeting_split_across_writes_is_answered(board, port, k):
    first = bytes([0xEE, 0x01]) + GREETING[:k]  # not on a packet boundary either
    port.write(first)
    assert wait_until(lambda: board.received(), TIMEOUT), "first half never arrived"
    port.write(GREETING[k:])
    assert port.read(8) == ident_reply(0xC8, 0xDD)
    assert [chunk for _, chunk in board.received()] == [first, GREETING[k:]]
    assert board.greetings() == 1


def test_each_greeting_gets_its_own_reply(board, port):
    port.write(GREETING * 2)
    assert port.read(16) == ident_reply(0xC8, 0xDD) * 2
    board.ident = (0xE5, 0xED)
    port.write(GREETING)
    assert port.read(8) == ident_reply(0xE5, 0xED)
    assert board.greetings() == 3


def test_reopening_the_port_between_runs_keeps_the_board_answering(board):
    for run in range(1, 4):
        p = Port()
        p.write(GREETING)
        assert p.read(8) == ident_reply(0xC8, 0xDD), f"run {run}"
        p.close()
    assert board.greetings() == 3


@pytest.mark.parametrize("mute", ["silent", "no ident"])
def test_a_mute_board_sends_nothing(board, port, mute):
    if mute == "silent":
        board.set_silent(True)
    else:
        board.ident = None
    port.write(GREETING)
    assert board.wait_greetings(1, TIMEOUT)
    board.send(bytes([0xEE, 0x00, 0x51, 0, 0, 0, 0, 0xBF]))
    board.contact(10, 20)
    if mute == "silent":
        assert port.read(1, QUIET) == b""
    else:  # without ident only the greeting goes unanswered
        expected = bytes([0xEE, 0x00, 0x51, 0, 0, 0, 0, 0xBF]) + board.packet(0x51, 10, 20)
        assert port.read(24, QUIET) == expected

    board.set_silent(False)
    board.ident = (0xC8, 0xCC)
    port.write(GREETING)
    assert port.read(8) == ident_reply(0xC8, 0xCC)


def test_wait_greetings_gives_up_after_its_timeout(board):
    assert board.wait_greetings(1, 0.3) is False


# ------------------------------------------------------------ packets

def test_packets_reach_the_program_decodable_for_each_line(line_board):
    line, sim = line_board
    p = Port()
    try:
        points = [(0, 0), (63, 64), (64, 63), (4095, 0), (0, 4095), (4095, 4095), (1234, 567)]
        for x, y in points:
            sim.contact(x, y, rate=1000)
        got = p.read(8 * len(points))
        packets = [got[i:i + 8] for i in range(0, len(got), 8)]
        assert [decode(pkt, line) for pkt in packets] == points
        assert all(pkt[7] == xor7(pkt) for pkt in packets)
    finally:
        p.close()


def test_gestures_send_the_right_events(board, port):
    cases = [
        (lambda: board.contact(5, 6, count=3), [0x51] * 3),
        (lambda: board.lift(5, 6, count=2), [0x61] * 2),
        (lambda: board.stroke([(1, 1), (2, 2), (3, 3)], lifts=2), [0x51] * 3 + [0x61] * 2),
        (lambda: board.key(0xA1, count=2), [0xA1] * 2),
        (lambda: board.pen_button(0x85, 7, 8), [0x85]),
        (lambda: board.pen_button(0x87, 7, 8, count=2), [0x87] * 2),
    ]
    for send, events in cases:
        send()
        got = port.read(8 * len(events))
        packets = [got[i:i + 8] for i in range(0, len(got), 8)]
        assert [pkt[2] for pkt in packets] == events
        assert all(pkt[0] == 0xEE and pkt[7] == xor7(pkt) for pkt in packets)
    with pytest.raises(ValueError):
        board.pen_button(0x51, 1, 1)


def test_stroke_ends_with_lifts_at_its_last_point(board, port):
    board.stroke([(100, 200), (300, 400)], lifts=3)
    got = port.read(40)
    assert [decode(got[i:i + 8], "touch") for i in range(0, 40, 8)] == [(100, 200), (300, 400)] + [(300, 400)] * 3


def test_bad_packet_differs_only_in_its_check_byte(board, port):
    sent = board.bad_packet(0x51, 300, 400)
    got = port.read(8)
    assert got == sent
    assert got[7] != xor7(got)
    assert got[:7] == board.packet(0x51, 300, 400)[:7]


def test_split_packet_arrives_as_two_chunks(board):
    p = Port(vmin=1, vtime=0)  # a read returns whatever is there once anything is
    chunks = []

    def reader():
        while sum(map(len, chunks)) < 8:
            chunks.append(os.read(p.fd, 8))

    t = threading.Thread(target=reader, daemon=True)
    t.start()
    time.sleep(0.1)
    pkt = board.packet(0x51, 10, 20)
    board.send(pkt, split_at=3, gap=1.0)
    t.join(TIMEOUT)
    p.close()
    assert chunks == [pkt[:3], pkt[3:]]


def test_play_reproduces_a_recording_in_order(board, port, tmp_path):
    packets = [board.packet(0x51, 10 * i, 20 * i) for i in range(5)] + [board.packet(0x61, 40, 80)]
    lines = ["# recorded stroke", ""]
    for i, pkt in enumerate(packets):
        hexes = pkt.hex(" ") if i % 2 else pkt.hex()
        lines.append(f"{i * 0.02:.2f} {hexes}  # packet {i}")
    recording = tmp_path / "stroke.txt"
    recording.write_text("\n".join(lines) + "\n")
    assert board.play(str(recording)) == len(packets)
    assert port.read(8 * len(packets)) == b"".join(packets)


# ------------------------------------------------------------ unplug, replug

def test_unplug_removes_the_device_and_fails_a_blocked_reader(board):
    p = Port(vmin=1, vtime=0)
    outcome = []

    def reader():
        try:
            outcome.append(os.read(p.fd, 8))
        except OSError as e:
            outcome.append(e)

    t = threading.Thread(target=reader, daemon=True)
    t.start()
    time.sleep(0.2)
    assert not outcome, "reader should be blocked"
    board.unplug()
    t.join(TIMEOUT)
    assert outcome, "the blocked read never ended"
    assert outcome[0] == b"" or isinstance(outcome[0], OSError), outcome
    assert not os.path.lexists(DEVICE)
    with pytest.raises(OSError):
        os.write(p.fd, GREETING)
    with pytest.raises(RuntimeError):
        board.send(b"\x00")
    p.close()


def test_replug_brings_a_new_working_device(board):
    stale = Port()
    board.unplug()
    board.replug()
    assert os.path.islink(DEVICE)
    with pytest.raises(OSError):
        os.write(stale.fd, GREETING)
    stale.close()
    fresh = Port()
    fresh.write(GREETING)
    assert fresh.read(8) == ident_reply(0xC8, 0xDD)
    fresh.close()
    board.replug()  # from plugged: still one working device
    again = Port()
    again.write(GREETING)
    assert again.read(8) == ident_reply(0xC8, 0xDD)
    again.close()


# ------------------------------------------------------------ the tiny reader

def probe():
    path = os.path.join(os.environ["E2E_BUILD"], "tools", "board_probe")
    return subprocess.Popen([path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def test_probe_accepts_a_valid_reply_and_rejects_a_bad_one(board):
    p = probe()
    out, err = p.communicate(timeout=20)
    assert p.returncode == 0, out + err
    assert "identification reply C8 DD" in out
    assert board.received()[0][1] == GREETING

    board.ident = None
    p = probe()
    assert board.wait_greetings(2, TIMEOUT)
    bad = ident_reply(0xC8, 0xDD)[:7] + b"\x00"
    board.send(bad)
    out, err = p.communicate(timeout=20)
    assert p.returncode == 1, out + err
    assert "C8 DD FF FF FF FF FF 00 check bad" in out


def test_probe_without_a_device_exits_2(board):
    board.unplug()
    p = probe()
    out, err = p.communicate(timeout=20)
    assert p.returncode == 2
    assert err == "cannot open /dev/ttyUSB0: No such file or directory\n"


# ------------------------------------------------------------ command line

def run_cli(script_text, tmp_path, *args):
    script = tmp_path / "script.txt"
    script.write_text(script_text)
    return subprocess.Popen([sys.executable, board_sim.__file__, "--script", str(script), *args],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)




def test_command_line_answers_and_sends_what_the_script_says(tmp_path):
    cli = run_cli("wait-greeting 1 10\ncontact 100 200 3\nkey A1\nsilent on\ncontact 1 1\nquit\n",
                  tmp_path, "--ident", "E8CE")
    try:
        assert wait_until(lambda: os.path.lexists(DEVICE), TIMEOUT), \
            "simulator never created the device"
        p = Port()
        p.write(GREETING)
        got = p.read(8 + 5 * 8, timeout=3)  # one packet more than expected: "silent on" held
        p.close()
    finally:
        out, err = cli.communicate(timeout=20)
    assert cli.returncode == 0, out + err
    assert got[:8] == ident_reply(0xE8, 0xCE)
    packets = [got[i:i + 8] for i in range(8, len(got), 8)]
    assert [(pkt[2], decode(pkt, "em")) for pkt in packets[:3]] == [(0x51, (100, 200))] * 3
    assert packets[3][2] == 0xA1 and len(packets) == 4
    assert "received CE 00 00 00 00 00 00 00" in out
    assert "greeting answered E8 CE FF FF FF FF FF D9" in out
    assert "done contact 100 200 3" in out
    assert not os.path.lexists(DEVICE), "quit should unplug"


def test_command_line_reports_bad_commands_and_fails(tmp_path):
    cli = run_cli("bogus 1\ncontact 5000 1\nwait-greeting 1 0.2\nsleep 0\n", tmp_path)
    out, err = cli.communicate(timeout=20)
    assert cli.returncode == 1, out + err
    for text in ("failed bogus 1", "failed contact 5000 1", "failed wait-greeting 1 0.2", "done sleep 0"):
        assert text in out
