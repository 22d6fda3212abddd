"""The edge-key setup tool as a user and a board drive it: the key window and
its pictures, teaching all 28 keys, every way the tool ends, and what the
service makes of the stored keys afterwards.

The service's part is played either by the real service or by a small
process named "Quilld" that records the signals it gets; with the fake (or
"Quilld" registered as 0) nobody but the tool reads the board, so packet
counts are exact."""
import os
import signal
import time

import pytest

from gui import GRACE, WAIT, register, signals_of, wait_until
from plugin_service import section_text
from plugin_tools import EDGETAB
from steps_service import ELECTROMAGNETIC, TOUCH, greeting_times
from steps_tools import (EDGE_KEYS, KEYS, captured_point, expected_states, key_point,
                         open_key_window, touch_key, wait_states)

LOCK = "/tmp/Edgetab.mux"


def stored_keys(config, section, prefix):
    return [(config.get(section, f"{prefix}X{i}"), config.get(section, f"{prefix}Y{i}"))
            for i in range(KEYS)]


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
    touch_key(board, key_point(0), 15)
    time.sleep(GRACE)
    assert keys.states() == expected_states(0)

    # One long touch teaches one key only.
    sent = [touch_key(board, key_point(0), 40)]
    assert wait_states(keys, 1), keys.states()
    time.sleep(GRACE)
    assert keys.states() == expected_states(1)

    for i in range(1, KEYS):
        sent.append(touch_key(board, key_point(i), 16))
        if i < KEYS - 1:
            assert wait_states(keys, i + 1), (i, keys.states())
        if i == 13:
            desktop.screenshot(artifacts, "keys-after-14.png")
        if i == KEYS - 2:
            desktop.screenshot(artifacts, "keys-near-end.png")
    assert tool.wait_exit(WAIT) == 0, tool.output()[-2000:]

    assert stored_keys(config, "HOTKEY", "key") == \
        [tuple(str(v) for v in captured_point(s)) for s in sent]
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
        touch_key(board, key_point(i), 16)
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

@pytest.mark.parametrize("ident", [TOUCH, ELECTROMAGNETIC], ids=["touch", "elec"])
def test_teaching_with_the_service_makes_the_keys_work(
        config, quilld, edgetab, desktop, board, pointer, udp, artifacts, ident):
    board.ident = ident
    section, prefix, other, other_prefix = (
        ("HOTKEY", "key", "QMEdgetab", "QMkey") if ident == TOUCH
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
            touch_key(board, key_point(i), 80, lifts=20)
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

    touch_key(board, key_point(0), 16)
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
        touch_key(board, key_point(i), 16)
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
