"""The edge-key setup tool as a user and a board drive it: the key window and
its pictures, teaching all 28 keys, every way the tool ends, and what the
service makes of the stored keys afterwards.

The service's part is played either by the real service or by a small
process named "Quilld" that records the signals it gets; with the fake (or
"Quilld" registered as 0) nobody but the tool reads the board, so packet
counts are exact."""
import os
import signal
import struct
import time

import pytest

import protocol_tables
from gui import GRACE, WAIT, register, signals_of, wait_until
from test_service_serial import greeting_times


EDGETAB = "/usr/share/RivarAzazuva/QMRV/Edgetab"
LOCK = "/tmp/Edgetab.mux"
RES_DIR = "/usr/local/Slatrix_QM_RV_Drivers/edgetab_res/"
EDGE_KEYS = protocol_tables.edge_keys()
KEYS = 28
IDLE, ACTIVE, DONE = 1, 2, 3
TOUCH_BOARD, ELEC_BOARD = (0xC8, 0xDD), (0xE8, 0xCE)


def key_point(i):
    """Where key i is printed on the simulated board: keys 0..13 along one
    edge, 14..27 along the opposite one, far apart from each other."""
    return 250 + 130 * (i % 14), 300 if i < 14 else 3700


# ------------------------------------------------------------ the key window

def key_corner(i, width=1024, height=768):
    """Top-left corner of key i's picture inside the picture area."""
    grid = height * 0.8 / 13
    x = int(width * 0.3) if i < 14 else int(width * 0.7 - 36)
    return x, int((i % 14) * grid + height * 0.1 - 18)


def load_bmp(path):
    """[(r, g, b)] of a 24-bit bottom-up BMP, row by row from the top."""
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for j in reversed(range(height)):
        row = data[offset + j * stride:offset + j * stride + width * 3]
        rows += [(row[i + 2], row[i + 1], row[i]) for i in range(0, len(row), 3)]
    return rows


def picture(i, state):
    return load_bmp(f"{RES_DIR}{EDGE_KEYS[i % 14].stem}{state}.bmp")


class KeyWindow:
    """The tool's full-screen window, read from the screen's pixels."""

    def __init__(self, desktop, window):
        self.desktop = desktop
        self.window = window
        self.inset = self._find_inset()

    def _find_inset(self):
        """The picture area lies inside the frame's padding and border: found
        as the offset where key 0 shows its first picture."""
        x, y = key_corner(0)
        area = self.desktop.pixels(x, y, 60, 60)
        want = picture(0, ACTIVE)
        for dy in range(25):
            for dx in range(25):
                if all(area[(dy + r) * 60 + dx:(dy + r) * 60 + dx + 36] == want[r * 36:(r + 1) * 36]
                       for r in range(36)):
                    return dx, dy
        raise AssertionError("key 0's active picture is not on the screen")

    def state(self, i):
        """IDLE, ACTIVE or DONE: which of its pictures key i shows (None: other)."""
        x, y = key_corner(i)
        shown = self.desktop.pixels(x + self.inset[0], y + self.inset[1], 36, 36)
        for state in (IDLE, ACTIVE, DONE):
            if shown == picture(i, state):
                return state
        return None

    def states(self):
        return [self.state(i) for i in range(KEYS)]


def expected_states(learnt):
    """Key 0 starts out with its active picture as its idle one."""
    states = [DONE] * learnt + [ACTIVE] + [IDLE] * (KEYS - learnt - 1)
    if learnt == 0:
        states[0] = ACTIVE
    return states[:KEYS]


def wait_states(keys, learnt):
    return wait_until(lambda: keys.states() == expected_states(learnt))


# ------------------------------------------------------------ the tool

@pytest.fixture
def edgetab(xserver, desktop, start_program):
    def start(**kw):
        return start_program([EDGETAB], env=xserver.env(), **kw)
    return start


def open_key_window(tool, desktop, board):
    """The key window once its pictures are drawn: it is mapped a moment
    before key 0's picture shows."""
    assert board.wait_greetings(1, WAIT), tool.output()
    window = desktop.wait_window(tool.pid, desktop.is_full_screen)
    assert window is not None, f"no key window: {tool.output()}"

    def drawn():
        try:
            return KeyWindow(desktop, window)
        except AssertionError:
            return None
    keys = wait_until(drawn)
    assert keys is not None, "key 0's picture never appeared"
    assert wait_states(keys, 0), keys.states()
    return keys


def touch(board, point, contacts, lifts=1):
    """One touch of `contacts` contact packets with a little noise, then
    `lifts` lifts; the points sent."""
    noise = [(3, -2), (-4, 1), (0, 5), (2, 2), (-1, -3), (5, 0), (-2, 4), (1, -5)]
    sent = []
    for n in range(contacts):
        dx, dy = noise[n % len(noise)]
        sent.append((point[0] + dx + n % 3, point[1] + dy))
        board.contact(*sent[-1])
    board.lift(*sent[-1], count=lifts)
    return sent


def trimmed_mean(values):
    return (sum(values) - max(values) - min(values)) // (len(values) - 2)


def learnt_point(sent):
    """Contacts 7 to 16 of a touch, trimmed per axis."""
    kept = sent[6:16]
    return trimmed_mean([x for x, _ in kept]), trimmed_mean([y for _, y in kept])


def stored_keys(config, section, prefix):
    return [(config.get(section, f"{prefix}X{i}"), config.get(section, f"{prefix}Y{i}"))
            for i in range(KEYS)]


def section_text(text, name):
    """Header and body of one section, byte for byte."""
    start = text.index(f"[{name}]")
    end = text.find("\n[", start + 1)
    return text[start:] if end < 0 else text[start:end + 1]


# ------------------------------------------------------------ exact counts

def test_teaching_all_keys_stores_the_trimmed_means_and_hands_back(
        config, edgetab, fake, desktop, board, artifacts):
    service = fake("Quilld")
    register(config, Quilld=service.pid)
    tool = edgetab()
    keys = open_key_window(tool, desktop, board)
    assert config.registry("Edgetab") == tool.pid
    assert os.path.exists(LOCK)
    assert service.wait_line("SIGUSR1", WAIT), "the service lets go of the board"
    desktop.screenshot(artifacts, "keys-start.png")

    # A touch lifted at its 15th contact teaches nothing.
    touch(board, key_point(0), 15)
    time.sleep(GRACE)
    assert keys.states() == expected_states(0)

    # One long touch teaches one key only.
    sent = [touch(board, key_point(0), 40)]
    assert wait_states(keys, 1), keys.states()
    time.sleep(GRACE)
    assert keys.states() == expected_states(1)

    for i in range(1, KEYS):
        sent.append(touch(board, key_point(i), 16))
        if i < KEYS - 1:
            assert wait_states(keys, i + 1), (i, keys.states())
        if i == 13:
            desktop.screenshot(artifacts, "keys-after-14.png")
        if i == KEYS - 2:
            desktop.screenshot(artifacts, "keys-near-end.png")
    assert tool.wait_exit(WAIT) == 0, tool.output()[-2000:]

    assert stored_keys(config, "HOTKEY", "key") == \
        [tuple(str(v) for v in learnt_point(s)) for s in sent]
    assert stored_keys(config, "QMEdgetab", "QMkey") == [("0", "0")] * KEYS
    assert service.wait_line("SIGUSR2", WAIT)
    assert signals_of(service) == ["SIGUSR1", "SIGUSR2"]
    assert config.registry("Edgetab") == -1
    assert not os.path.exists(LOCK)
    assert tool.count("获取KeyPos的值") == KEYS


def test_escape_after_five_keys_keeps_the_stored_keys_and_tells_the_service(
        config, edgetab, fake, desktop, board):
    service = fake("Quilld")
    before = (f"[PID]\nQuilld={service.pid}\n[HOTKEY]\nkeyX0=11\nkeyY0=12\nkeyX13=7\n"
              "[QMEdgetab]\nQMkeyY27=4000\nQMkeyX3=5\n")
    config.write(before)
    tool = edgetab()
    keys = open_key_window(tool, desktop, board)
    for i in range(5):
        touch(board, key_point(i), 16)
        assert wait_states(keys, i + 1), keys.states()
    desktop.keys(keys.window, "Return", "space", "a")
    time.sleep(GRACE)
    assert tool.wait_exit(0) is None, "other keys do nothing"
    assert keys.states() == expected_states(5)

    desktop.keys(keys.window, "Escape")
    assert tool.wait_exit(WAIT) == 0
    after = config.read()
    for name in ("HOTKEY", "QMEdgetab"):
        assert section_text(after, name) == section_text(before, name)
    assert service.wait_line("SIGUSR2", WAIT)
    assert signals_of(service) == ["SIGUSR1", "SIGUSR2"]
    assert config.registry("Edgetab") == -1
    assert not os.path.exists(LOCK)


def test_a_board_without_edge_keys_turns_the_tool_into_the_warning(
        config, edgetab, desktop, board):
    register(config, Quilld=0)
    tool = edgetab()
    open_key_window(tool, desktop, board)
    bad = bytes([0xEE, 0xCA, 0x51, 1, 2, 3, 4, 0])   # wrong check byte as well
    board.send(bad)

    def comm():
        with open(f"/proc/{tool.pid}/comm") as f:
            return f.read().strip()
    assert wait_until(lambda: comm() == "Bareedge"), comm()
    assert tool.wait_exit(0) is None
    assert config.registry("Edgetab") == tool.pid, "the id stays with the same process"
    assert os.path.exists(LOCK)


def test_a_board_that_handles_its_keys_itself_gets_no_window(config, edgetab, desktop, board):
    board.ident = (0xC8, 0xCC)
    register(config, Quilld=0)
    tool = edgetab()
    assert tool.wait_line("================要修改", WAIT), tool.output()
    assert wait_until(lambda: config.registry("Edgetab") == -1)
    assert not os.path.exists(LOCK)
    time.sleep(GRACE)
    assert desktop.windows_of(tool.pid) == []
    assert tool.wait_exit(0) is None, "the tool stays idle"
    assert "Close_port" in tool.output()


def test_without_a_registered_service_a_warning_box_and_status_0(
        config, edgetab, fake, desktop, board, artifacts):
    zuraze = fake("Zuraze")
    register(config, Zuraze=zuraze.pid)
    tool = edgetab()
    box = desktop.wait_window(tool.pid)
    assert box is not None, tool.output()
    assert not desktop.is_full_screen(box)
    desktop.screenshot(artifacts, "no-service-box.png")
    assert tool.wait_exit(GRACE) is None, "the box waits for the user"
    desktop.keys(box, "Return")
    assert tool.wait_exit(WAIT) == 0
    assert config.registry("Edgetab") == -1
    assert board.greetings() == 0
    assert signals_of(zuraze) == [], "nobody is signalled"


def test_without_a_board_an_error_box_and_then_idle(config, edgetab, fake, desktop, board,
                                                     artifacts):
    zuraze = fake("Zuraze")
    register(config, Quilld=0, Zuraze=zuraze.pid)
    board.unplug()
    tool = edgetab()
    box = desktop.wait_window(tool.pid)
    assert box is not None, tool.output()
    desktop.screenshot(artifacts, "no-board-box.png")
    assert config.registry("Edgetab") == -1
    assert not os.path.exists(LOCK)
    assert zuraze.wait_exit(WAIT) == 0, "a running calibration tool is ended"
    desktop.keys(box, "Return")
    assert wait_until(lambda: desktop.windows_of(tool.pid) == [])
    assert tool.wait_exit(GRACE) is None, "idle without a window"


# ------------------------------------------------------------ with the service

@pytest.mark.parametrize("ident", [TOUCH_BOARD, ELEC_BOARD], ids=["touch", "elec"])
def test_teaching_with_the_service_makes_the_keys_work(
        config, quilld, edgetab, desktop, board, pointer, udp, artifacts, ident):
    board.ident = ident
    section, prefix, other, other_prefix = (
        ("HOTKEY", "key", "QMEdgetab", "QMkey") if ident == TOUCH_BOARD
        else ("QMEdgetab", "QMkey", "HOTKEY", "key"))
    # The service reads the edge keys only along with a calibration.
    config.write(config.calibration([(200, 200), (200, 3900), (3900, 200), (3900, 3900)]))
    service = quilld()
    assert service.wait_line("signal_usr2 called", WAIT), "the service identified the board"
    tool = edgetab()
    keys = open_key_window(tool, desktop, board)

    # The service reads the port too: each key's touch is sent with ample
    # redundancy, and sent again should the tool have missed it.
    for i in range(KEYS):
        if i == KEYS - 1:
            before_last_key = len(service.lines())
        for _ in range(3):
            touch(board, key_point(i), 80, lifts=20)
            if i == KEYS - 1:
                break
            if wait_until(lambda: keys.states() == expected_states(i + 1), 3.0):
                break
        else:
            pytest.fail(f"key {i} not learnt: {keys.states()}")
    assert tool.wait_exit(WAIT) == 0, tool.output()[-2000:]

    for i, (x, y) in enumerate(stored_keys(config, section, prefix)):
        want = key_point(i)
        assert abs(int(x) - want[0]) <= 8 and abs(int(y) - want[1]) <= 8, (i, x, y)
    assert stored_keys(config, other, other_prefix) == [("0", "0")] * KEYS
    # Reloaded after the store (the keys working below shows it, too).
    assert service.wait_line("signal_usr2 called", WAIT, since=before_last_key)

    # The service's reader run may restart: a touch is repeated until it lands.
    for key in (3, 19):
        word = EDGE_KEYS[key % 14].word
        def touched():
            udp.clear()
            board.contact(*key_point(key), count=3)
            board.lift(*key_point(key), count=3)
            return udp.wait_for(word, 0.5)
        assert wait_until(touched, 2 * WAIT), (key, udp.datagrams())
    since = len(pointer.events())

    def moved():
        board.contact(2000, 2000, count=5)
        board.lift(2000, 2000, count=3)
        return pointer.wait_for(lambda e: e.kind == "motion", 0.5, since=since)
    assert wait_until(moved, 2 * WAIT), pointer.events()[-5:]


# ------------------------------------------------------------ refusals and faults

@pytest.mark.parametrize("env,status,printed", [
    ({}, 1, ""),
    ({"DISPLAY": ":77"}, 255, "Cannot connect to X server localhost:0\n"),
], ids=["display-unset", "display-unreachable"])
def test_without_a_display_it_stops_at_once_and_touches_nothing(config, start_program, env,
                                                                status, printed):
    before = "[PID]\nQuilld=0\nEdgetab=-1\n[HOTKEY]\nkeyX0=11\n"
    config.write(before)
    tool = start_program([EDGETAB], env=env)
    assert tool.wait_exit(WAIT) == status
    assert tool.output() == printed
    assert config.read() == before


def test_a_second_instance_stops_at_the_lock_and_the_first_carries_on(
        config, edgetab, fake, desktop, board):
    service = fake("Quilld")
    register(config, Quilld=service.pid)
    first = edgetab()
    keys = open_key_window(first, desktop, board)

    second = edgetab()
    assert second.wait_exit(WAIT) == 1
    assert second.output().startswith("after kill signal\n"), second.output()
    assert second.output().endswith(
        "LOG_ERR Can not lock /tmp/Edgetab.mux:Resource temporarily unavailable")
    assert config.registry("Edgetab") == second.pid, "its id was written before the lock"

    touch(board, key_point(0), 16)
    assert wait_states(keys, 1), "the first instance goes on teaching"
    desktop.keys(keys.window, "Escape")
    assert first.wait_exit(WAIT) == 0
    assert config.registry("Edgetab") == -1


def test_sigterm_while_teaching_ends_it_at_once_and_stores_nothing(
        config, edgetab, fake, desktop, board):
    service = fake("Quilld")
    before = f"[PID]\nQuilld={service.pid}\n[HOTKEY]\nkeyX0=11\nkeyY0=12\n"
    config.write(before)
    tool = edgetab()
    keys = open_key_window(tool, desktop, board)
    for i in range(3):
        touch(board, key_point(i), 16)
        assert wait_states(keys, i + 1), keys.states()

    tool.send(signal.SIGTERM)
    assert tool.wait_exit(WAIT) == -signal.SIGTERM
    after = config.read()
    assert section_text(after, "HOTKEY") == section_text(before, "HOTKEY")
    assert "QMEdgetab" not in after
    assert config.registry("Edgetab") == tool.pid, "no release ran"
    assert os.path.exists(LOCK)
    time.sleep(GRACE)
    assert signals_of(service) == ["SIGUSR1"], "the service is not told to reload"


def test_a_silent_board_is_greeted_again_after_each_silence_and_a_second(
        config, edgetab, fake, desktop, board):
    board.ident = None
    register(config, Quilld=0)
    tool = edgetab()
    assert board.wait_greetings(3, 4 * WAIT), tool.output()
    times = greeting_times(board)[:3]
    intervals = [later - earlier for earlier, later in zip(times, times[1:])]
    # Nine empty reads of 0.2 s and a 1 s sleep: about 2.8 s, never under 2.5.
    assert all(2.5 <= i <= 6.0 for i in intervals), intervals
    assert desktop.windows_of(tool.pid) == [], "nothing was identified, so no window"
    assert tool.wait_exit(0) is None
