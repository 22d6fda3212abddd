"""The calibration tool as a user and a board drive it: the settings window,
the hand-over of the board, the targets, every way the tool ends, and the
stored calibration.

The service's part is played by a small process named "Quilld" (or
"Edgetab") that records the signals it gets; with "Quilld" registered as 0
nobody but the tool reads the board, so packet counts are exact."""
import os
import time

import pytest

from gui import GRACE, WAIT, ids, register, signals_of, wait_until
from launchers import ORIENT_LAUNCHER
from plugin_tools import ZURAZE
from steps_tools import (T_CMD_ORIENT, board_point, captured_point, lands, start_calibration,
                         target_centres, target_colour, touch_target, transform, wait_colours)

LOCK = "/tmp/Zuraze.mux"


# ------------------------------------------------------------ scenarios

def test_second_instance_prints_the_lock_message_and_exits_1(config, zuraze):
    register(config, Quilld=0)
    first = zuraze()
    first.wait_settings()
    second = zuraze()
    assert second.program.wait_exit(WAIT) == 1
    assert second.program.output() == \
        f"LOG_ERR Can not lock {LOCK}:Resource temporarily unavailable"
    assert first.program.wait_exit(GRACE) is None, "the first instance must go on"
    assert config.registry("Zuraze") == first.pid
    first.press("Cancel")
    assert first.program.wait_exit(WAIT) == 0


# A debugger holds a tool at the edge of its lock's life: the moment the
# ending instance removes its lock file, and the moment a starting one has
# opened the file but not yet locked it. Whatever the timing, a second
# instance is refused while another one runs.
GDB = ["gdb", "-q", "-nx", "-batch", "-ex", "set pagination off",
       "-ex", "set startup-with-shell off", "-ex", "set disable-randomization off"]


def held_at(gdb, marker):
    """gdb's lines after it has stopped its program where marker says."""
    assert gdb.wait_line(marker, 6 * WAIT), gdb.output()[-2000:]


def test_an_instance_is_refused_while_another_removes_or_takes_the_lock(
        config, zuraze, start_program, xserver):
    register(config, Quilld=0)
    go_on = "/tmp/go-on"

    def wait_for_go(name):
        return ["-ex", f"shell echo {name} && while [ ! -e {go_on} ]; do sleep 0.05; done"]

    # 1. The ending instance has not let go of its lock when it removes the file.
    ending = zuraze()
    ending.wait_settings()
    gdb = start_program([*GDB, "-p", str(ending.pid), "-ex",
                         f'break unlink if $_streq((char *) $rdi, "{LOCK}")', "-ex", "continue",
                         *wait_for_go("at-unlink"), "-ex", "detach"], expect_stderr=True)
    # Once the breakpoint is set, Cancel may come: the tool handles it on going on.
    assert gdb.wait_line("Breakpoint 1 at", 6 * WAIT), gdb.output()[-2000:]
    ending.press("Cancel")
    held_at(gdb, "at-unlink")
    refused = zuraze()
    assert refused.program.wait_exit(WAIT) == 1, "started while the ending one held the lock"
    open(go_on, "w").close()
    assert ending.program.wait_exit(WAIT) == 0
    os.unlink(go_on)

    # 2. A starting instance that opened the file just before its holder
    # removed it must not keep a lock on the removed file.
    holder = zuraze()
    holder.wait_settings()
    starting = start_program([*GDB, "-ex", "break flock if $rsi == 6", "-ex", "run",
                              *wait_for_go("at-flock"), "-ex", "delete", "-ex", "continue",
                              "--args", ZURAZE], env=xserver.env(), expect_stderr=True)
    held_at(starting, "at-flock")
    holder.press("Cancel")
    assert holder.program.wait_exit(WAIT) == 0
    open(go_on, "w").close()
    assert wait_until(lambda: config.registry("Zuraze") not in (-1, holder.pid)), \
        starting.output()[-2000:]
    third = zuraze()
    assert third.program.wait_exit(WAIT) == 1, "two instances run at once"
    assert third.program.output().startswith(f"LOG_ERR Can not lock {LOCK}")


def test_the_calibration_launcher_starts_the_tool_under_its_name(config, zuraze):
    register(config, Quilld=0)
    tool = zuraze(ORIENT_LAUNCHER)
    tool.wait_settings()
    with open(f"/proc/{tool.pid}/cmdline", "rb") as f:
        assert f.read().split(b"\0")[0] == b"Zuraze"
    assert config.registry("Zuraze") == tool.pid
    tool.press("Cancel")
    assert tool.program.wait_exit(WAIT) == 0


@pytest.mark.parametrize("how", ["cancel_button", "window_manager"])
def test_cancel_ends_with_0_and_leaves_the_service_alone(config, zuraze, fake, desktop, how):
    service = fake("Quilld")
    register(config, Quilld=service.pid)
    tool = zuraze()
    settings = tool.wait_settings()
    assert config.registry("Zuraze") == tool.pid
    assert os.path.exists(LOCK)
    if how == "cancel_button":
        tool.press("Cancel")
    else:
        desktop.close_by_window_manager(settings)
    assert tool.program.wait_exit(WAIT) == 0
    assert config.registry("Zuraze") == -1
    assert not os.path.exists(LOCK)
    time.sleep(GRACE)
    assert signals_of(service) == []


@pytest.mark.parametrize("registry", ["-1", None])
def test_ok_without_a_registered_service_shows_the_error_box_and_ends(
        config, zuraze, board, artifacts, desktop, registry):
    config.write("[PID]\nQuilld=-1\n" if registry else "[PID]\n")
    tool = zuraze()
    settings = tool.wait_settings()
    tool.press("OK")
    box = tool.wait_box([settings])
    assert box is not None, tool.program.output()
    desktop.screenshot(artifacts, "error-box.png")
    assert tool.program.wait_exit(GRACE) is None, "the box waits for the user"
    desktop.keys(box, "Escape")
    assert tool.program.wait_exit(WAIT) == 0
    assert config.registry("Zuraze") == -1
    assert not os.path.exists(LOCK)
    assert board.greetings() == 0


def test_ok_without_a_board_shows_the_error_box_and_a_later_ok_proceeds(
        config, zuraze, board, fake, desktop):
    service = fake("Quilld")
    register(config, Quilld=service.pid)
    board.unplug()
    tool = zuraze()
    settings = tool.wait_settings()
    tool.press("OK")
    box = tool.wait_box([settings])
    assert box is not None, tool.program.output()
    desktop.keys(box, "Return")  # its OK button has the focus
    assert wait_until(lambda: ids(tool.desktop.windows_of(tool.pid)) == [settings.id])
    assert tool.program.wait_exit(GRACE) is None
    assert signals_of(service) == [], "the board was not taken"

    board.plug()
    tool.press("OK")
    window = tool.wait_calibration_window()
    assert board.wait_greetings(1, WAIT)
    assert service.wait_line("SIGUSR1", WAIT)
    desktop.keys(window, "Escape")
    assert tool.program.wait_exit(WAIT) == 0


def test_escape_during_capture_stores_nothing_and_sends_no_reload(
        config, zuraze, board, fake, desktop):
    service = fake("Quilld")
    before = "[PID]\nQuilld=%d\n" % service.pid + config.calibration(
        [(400, 300), (400, 3300), (3600, 300), (3600, 3300)])
    config.write(before)
    tool, window = start_calibration(zuraze, board, kind=1)
    assert service.wait_line("SIGUSR1", WAIT), "the service lets go of the board at OK"
    touch_target(board, board_point(*target_centres(4)[0]))
    assert service.wait_count("SIGUSR1", 2, WAIT), "and again after the first target"

    desktop.keys(window, "Escape")
    assert tool.program.wait_exit(WAIT) == 0
    assert tool.program.wait_line("Escape press bRun=0 bJudge=0")
    time.sleep(GRACE)
    assert "SIGUSR2" not in signals_of(service)
    assert config.read().split("[coordinate]")[1] == before.split("[coordinate]")[1]
    assert not os.path.exists(LOCK)


def test_a_service_registered_after_the_start_is_signalled_per_target_only(
        config, zuraze, board, fake, desktop):
    register(config, Quilld=-1)
    tool = zuraze()
    tool.wait_settings()
    service = fake("Quilld")
    register(config, Zuraze=tool.pid, Quilld=service.pid)
    tool.choose(1)
    tool.press("OK")
    window = tool.wait_calibration_window()
    assert board.wait_greetings(1, WAIT)
    time.sleep(GRACE)
    assert signals_of(service) == [], "the id read at start-up was -1"
    touch_target(board, board_point(*target_centres(4)[0]))
    assert service.wait_line("SIGUSR1", WAIT), "the id is read afresh after a target"
    desktop.keys(window, "Escape")
    assert tool.program.wait_exit(WAIT) == 0
    assert signals_of(service) == ["SIGUSR1"]


def test_orient_key_during_capture_aborts_and_the_service_reloads(
        config, zuraze, board, fake, desktop):
    service = fake("Quilld")
    register(config, Quilld=service.pid)
    tool, window = start_calibration(zuraze, board, kind=2)
    assert service.wait_line("SIGUSR1", WAIT)
    board.key(T_CMD_ORIENT)
    assert service.wait_line("SIGUSR2", WAIT), tool.program.output()
    assert wait_until(lambda: config.registry("Zuraze") == -1)
    assert not os.path.exists(LOCK)
    # The window stays, capturing nothing, until Escape.
    assert tool.program.wait_exit(GRACE) is None
    touch_target(board, board_point(*target_centres(9)[0]))
    assert tool.program.wait_exit(GRACE) is None
    desktop.keys(window, "Escape")
    assert tool.program.wait_exit(WAIT) == 0
    assert signals_of(service) == ["SIGUSR1", "SIGUSR2"]
    assert config.get("coordinate", "dotNum") is None


def test_a_running_edge_key_tool_is_ended_at_ok(config, zuraze, board, fake, desktop):
    edgetab = fake("Edgetab")
    register(config, Quilld=0, Edgetab=edgetab.pid)
    tool, window = start_calibration(zuraze, board, kind=2)
    assert edgetab.wait_exit(WAIT) == 0
    assert signals_of(edgetab) == ["SIGTERM"]
    assert tool.program.wait_line("reS=0", WAIT)
    desktop.keys(window, "Escape")
    assert tool.program.wait_exit(WAIT) == 0


def test_settings_window_shows_each_choice_and_the_about_box(config, zuraze, desktop, artifacts):
    register(config, Quilld=0)
    tool = zuraze()
    settings = tool.wait_settings()
    x0, y0, width, height = desktop.geometry(settings)
    assert width >= 360 and height >= 230

    def preview():
        # Right half of the window's upper part, where the picture is.
        return desktop.pixels(x0 + width // 2, y0, width - width // 2, height * 2 // 3)

    shown = {}
    for kind, name in [(2, "9-points"), (1, "4-points"), (3, "20-points")]:
        if kind != 2:
            before = preview()
            tool.choose(kind)
            assert wait_until(lambda: preview() != before), f"preview of {name} not shown"
        shown[name] = preview()
        desktop.screenshot(artifacts, f"settings-{name}.png")
    assert len({tuple(p) for p in shown.values()}) == 3, "each choice has its own picture"

    tool.press("About")
    about = tool.wait_box([settings])
    assert about is not None
    assert desktop.title(about) == "About us"
    desktop.screenshot(artifacts, "about-box.png")
    # OK sits at the right end of the 30-pixel action area.
    ax, ay, aw, ah = desktop.geometry(about)
    desktop.click(ax + aw - 30, ay + ah - 18)
    assert wait_until(lambda: ids(tool.desktop.windows_of(tool.pid)) == [settings.id]), \
        "OK closes the about box"
    tool.press("Cancel")
    assert tool.program.wait_exit(WAIT) == 0


def test_credits_box_opens_on_p_q_shift_and_control(config, zuraze, board, desktop, artifacts):
    register(config, Quilld=0)
    tool, window = start_calibration(zuraze, board, kind=2)
    desktop.keys(window, "P", "Q", "Shift_L", "Control_L")
    box = tool.wait_box([window])
    assert box is not None, tool.program.output()
    desktop.screenshot(artifacts, "credits-box.png")
    desktop.keys(box, "Escape")
    assert wait_until(lambda: ids(tool.desktop.windows_of(tool.pid)) == [window.id])
    desktop.keys(window, "Escape")
    assert tool.program.wait_exit(WAIT) == 0


def test_four_point_calibration_stores_the_trimmed_means(
        config, zuraze, board, desktop, artifacts):
    register(config, Quilld=0)
    tool, window = start_calibration(zuraze, board, kind=1)
    centres = target_centres(4)
    assert wait_colours(desktop, centres, ["red", "grey", "grey", "grey"]), \
        [target_colour(desktop, c) for c in centres]
    desktop.screenshot(artifacts, "calibration-start.png")

    # Fifteen contacts and a lift keep nothing; sixteen complete the target.
    touch_target(board, board_point(*centres[0]), count=15)
    time.sleep(GRACE)
    assert [target_colour(desktop, c) for c in centres] == ["red", "grey", "grey", "grey"]

    strokes = []
    for k, centre in enumerate(centres):
        strokes.append(touch_target(board, board_point(*centre)))
        if k < 3:
            expected = ["green"] * (k + 1) + ["red"] + ["grey"] * (2 - k)
            assert wait_colours(desktop, centres, expected), \
                [target_colour(desktop, c) for c in centres]
        if k == 1:
            desktop.screenshot(artifacts, "calibration-midway.png")
    assert tool.program.wait_exit(WAIT) == 0, tool.program.output()

    points = [captured_point(s) for s in strokes]
    lines = []
    for i in reversed(range(4)):
        lines += [f"dotY{i}={points[i][1]}", f"dotX{i}={points[i][0]}"]
    body = config.read().split("[coordinate]\n", 1)[1]
    assert body == "\n".join(lines + ["dotNum=4"]) + "\n"
    assert config.registry("Zuraze") == -1
    assert not os.path.exists(LOCK)
    assert tool.program.count("存储的数据") == 4
    assert tool.program.count(".......................") == 1


def test_a_board_with_a_stuck_axis_gets_every_target_green_and_stores_nothing(
        config, zuraze, fake, board, desktop, artifacts):
    """A board mounted askew whose y axis is stuck at 2000: the touches
    arrive at x 601, 1601, 2601 and 3601, each fits its neighbours along the
    line, but the set maps nothing, so the box says so and the calibration
    stored before stays."""
    service = fake("Quilld")
    before = "[PID]\nQuilld=%d\n" % service.pid + config.calibration(
        [(400, 300), (400, 3300), (3600, 300), (3600, 3300)])
    config.write(before)
    tool, window = start_calibration(zuraze, board, kind=1)
    centres = target_centres(4)
    for k, centre in enumerate(centres):
        touch_target(board, (601 + 1000 * k, 2000))
        if k < 3:
            expected = ["green"] * (k + 1) + ["red"] + ["grey"] * (2 - k)
            assert wait_colours(desktop, centres, expected), \
                [target_colour(desktop, c) for c in centres]
    box = tool.wait_box([window])
    assert box is not None, tool.program.output()
    desktop.screenshot(artifacts, "stuck-axis.png")
    desktop.keys(box, "Return")
    assert tool.program.wait_exit(WAIT) == 1, tool.program.output()
    assert config.read().split("[coordinate]")[1] == before.split("[coordinate]")[1]
    assert "SIGUSR2" not in signals_of(service), "the service keeps its calibration"


# ------------------------------------------------------------ with the service

def body_keys(text):
    return [line.split("=", 1)[0] for line in text.splitlines()]


@pytest.mark.parametrize("count", [4, 9, 20])
def test_calibration_with_the_service_running_maps_touches_where_the_transform_says(
        config, quilld, zuraze, board, pointer, desktop, artifacts, count):
    hotkeys = "[HOTKEY]\nkeyX0=4000\nkeyY0=4000\n"
    config.write("[coordinate]\ndotNum=0\n" + hotkeys)
    service = quilld()
    assert service.wait_line("signal_usr2 called", WAIT), "the service identified the board"
    tool = zuraze()
    tool.wait_settings()
    kind = {4: 1, 9: 2, 20: 3}[count]
    if kind != 2:
        tool.choose(kind)
    tool.press("OK")
    tool.wait_calibration_window()
    assert service.wait_line("111111111111111111111111111111111called", WAIT), \
        "the service lets go of the board at OK"

    centres = target_centres(count)
    # The service reads the port too: each stroke is sent with ample
    # redundancy, so either reader's share is enough.
    for k, centre in enumerate(centres):
        touch_target(board, transform(*centre), count=80, lifts=20)
        if k + 1 < count:
            assert wait_until(lambda: target_colour(desktop, centres[k]) == "green"
                              and target_colour(desktop, centres[k + 1]) == "red"), \
                f"target {k}: {tool.program.output()[-2000:]}"
        if k == count // 2:
            desktop.screenshot(artifacts, f"calibration-{count}-midway.png")
    assert tool.program.wait_exit(WAIT) == 0, tool.program.output()[-2000:]
    # The service reloads the stored points: its trace lists the last one.
    last = count - 1
    stored_last = (config.get("coordinate", f"dotX{last}"), config.get("coordinate", f"dotY{last}"))
    assert service.wait_line(f"orient......{last}:({stored_last[0]} {stored_last[1]})", WAIT)
    assert service.count("signal_usr2 called") >= 2

    text = config.read()
    body = text.split("[coordinate]\n", 1)[1].split("[", 1)[0]
    if count == 20:
        order = ["dotNum"] + [f"dot{a}{i}" for i in reversed(range(20)) for a in "XY"]
    else:
        order = [f"dot{a}{i}" for i in reversed(range(count)) for a in "YX"] + ["dotNum"]
    assert body_keys(body) == order
    assert "\n" + hotkeys in text
    assert "[Monitor]" not in text, "a screen of one monitor names none"
    assert config.get("coordinate", "dotNum") == str(count)
    for i, centre in enumerate(centres):
        bx, by = transform(*centre)
        stored = int(config.get("coordinate", f"dotX{i}")), int(config.get("coordinate", f"dotY{i}"))
        assert abs(stored[0] - bx) <= 8 and abs(stored[1] - by) <= 8, (i, stored, (bx, by))

    # The service reopens the port about a second after the tool's last
    # SIGUSR1 and flushes it: a touch made before that is lost, so it is
    # made again until the pointer moves.
    for screen_point in [(300, 500), (700, 250), (512, 384), (150, 650)]:
        landed = lands(board, pointer, transform(*screen_point), screen_point)
        assert landed is not None, (screen_point, pointer.events()[-5:])


def test_a_stroke_on_the_wrong_target_is_asked_again_and_then_stored_right(
        config, quilld, zuraze, board, pointer, desktop, artifacts):
    config.write("[coordinate]\ndotNum=0\n")
    service = quilld()
    assert service.wait_line("signal_usr2 called", WAIT), "the service identified the board"
    tool = zuraze()
    tool.wait_settings()
    tool.press("OK")
    tool.wait_calibration_window()
    centres = target_centres(9)
    for k, centre in enumerate(centres):
        if k == 4:
            # The pen lands on target 8 instead of the middle one.
            touch_target(board, transform(*centres[8]), count=80, lifts=20)
            assert tool.program.wait_line("target 4 asked again", WAIT), tool.program.output()[-2000:]
            assert wait_until(lambda: target_colour(desktop, centres[4]) == "red"
                              and target_colour(desktop, centres[5]) == "grey")
            desktop.screenshot(artifacts, "asked-again.png")
        touch_target(board, transform(*centre), count=80, lifts=20)
        if k + 1 < len(centres):
            assert wait_until(lambda: target_colour(desktop, centres[k]) == "green"
                              and target_colour(desktop, centres[k + 1]) == "red"), \
                f"target {k}: {tool.program.output()[-2000:]}"
    assert tool.program.wait_exit(WAIT) == 0, tool.program.output()[-2000:]
    for i, centre in enumerate(centres):
        bx, by = transform(*centre)
        stored = int(config.get("coordinate", f"dotX{i}")), int(config.get("coordinate", f"dotY{i}"))
        assert abs(stored[0] - bx) <= 8 and abs(stored[1] - by) <= 8, (i, stored, (bx, by))
    assert service.wait_line("orient......8:", WAIT)
    for screen_point in [(300, 500), (700, 250), (512, 384)]:
        assert lands(board, pointer, transform(*screen_point), screen_point) is not None, \
            (screen_point, pointer.events()[-5:])


def test_a_wrong_first_touch_is_found_in_the_whole_set_and_asked_again(
        config, zuraze, fake, board, desktop, artifacts):
    # Nobody else reads the board: every stroke reaches the tool.
    register(config, Quilld=0)
    config.write("[PID]\nQuilld=0\n[coordinate]\ndotNum=0\n")
    tool, _ = start_calibration(zuraze, board, kind=2)
    centres = target_centres(9)
    asked = []

    def stroke(k, point):
        """Touches point for target k; again while the tool asks for it again."""
        since = len(tool.program.lines())
        touch_target(board, board_point(*point))
        if tool.program.wait_line(f"target {k} asked again", GRACE, since=since):
            asked.append(k)
            touch_target(board, board_point(*centres[k]))

    # Target 0 is touched a third of the way to target 1: nothing before it
    # can tell, so the rest judge it once all are measured.
    third = (centres[0][0], centres[0][1] + (centres[1][1] - centres[0][1]) / 2)
    stroke(0, third)
    for k in range(1, 9):
        stroke(k, centres[k])
    assert tool.program.wait_line("target 0 asked again", WAIT), tool.program.output()[-2000:]
    assert wait_until(lambda: target_colour(desktop, centres[0]) == "red"), \
        [target_colour(desktop, c) for c in centres]
    desktop.screenshot(artifacts, "whole-set-asks-again.png")
    touch_target(board, board_point(*centres[0]))
    assert tool.program.wait_exit(WAIT) == 0, tool.program.output()[-2000:]
    for i, centre in enumerate(centres):
        bx, by = board_point(*centre)
        stored = int(config.get("coordinate", f"dotX{i}")), int(config.get("coordinate", f"dotY{i}"))
        assert abs(stored[0] - bx) <= 6 and abs(stored[1] - by) <= 6, (i, stored, asked)
