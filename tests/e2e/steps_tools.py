"""Steps of the scenarios that drive the calibration tool and the edge-key
tool: the tools' windows as the user sees them, where their targets and keys
are, and touches of the simulated board on them.

    from steps_tools import Zuraze, start_calibration, target_centres, touch_target
    from steps_tools import KEYS, key_point, open_key_window, touch_key, wait_states
"""
import math
import struct

import protocol_tables
from gui import message_text
from plugin_x import DEFAULT_SCREEN
from waiting import WAIT, wait_until

# Board events and keys (the touch line of the board fixture).
T_CMD_ORIENT = 0xA2


# ------------------------------------------------------------ what both tools keep

def trimmed_mean(values):
    return (sum(values) - max(values) - min(values)) // (len(values) - 2)


def captured_point(stroke):
    """What a tool keeps of a touch: contacts 7 to 16, trimmed mean per axis."""
    kept = stroke[6:16]
    return trimmed_mean([x for x, _ in kept]), trimmed_mean([y for _, y in kept])


# ------------------------------------------------------------ the calibration tool

class Zuraze:
    """The tool as the user sees it."""

    def __init__(self, program, desktop):
        self.program = program
        self.desktop = desktop
        self.settings = None

    @property
    def pid(self):
        return self.program.pid

    def wait_settings(self):
        title = message_text("O_TITLE")
        self.settings = self.desktop.wait_window(
            self.pid, lambda w: self.desktop.title(w) == title)
        assert self.settings is not None, f"no settings window: {self.program.output()}"
        # Drawn once the radio marks are there.
        assert wait_until(lambda: len(self.radio_centres()) == 3), "radio buttons not drawn"
        return self.settings

    def radio_centres(self):
        """Root points on the three radio marks, top to bottom. A mark is
        found as a black pixel right above a white one in a column of the
        window's left part: the outline of its white circle; the label
        texts are drawn without white."""
        x0, y0, width, height = self.desktop.geometry(self.settings)
        for dx in range(10, min(90, width)):
            column = self.desktop.pixels(x0 + dx, y0, 1, height)
            tops = []
            for y in range(height - 1):
                if max(column[y]) < 0x18 and min(column[y + 1]) > 0xF0:
                    if not tops or y - tops[-1] > 16:
                        tops.append(y)
            if len(tops) == 3:
                return [(x0 + dx, y0 + top + 6) for top in tops]
        return []

    def choose(self, kind):
        """Clicks the radio button of 4 (kind 1), 9 (2) or 20 (3) points."""
        self.desktop.click(*self.radio_centres()[kind - 1])

    def press(self, button):
        """About, OK or Cancel of the settings window, through its mnemonic."""
        self.desktop.keys(self.settings, {"About": "alt+a", "OK": "alt+o",
                                          "Cancel": "alt+c"}[button])

    def wait_box(self, known, timeout=WAIT):
        """A window of the tool other than those in known."""
        ids = {w.id for w in known if w is not None}
        return self.desktop.wait_window(self.pid, lambda w: w.id not in ids, timeout)

    def wait_calibration_window(self):
        window = self.desktop.wait_window(self.pid, self.desktop.is_full_screen)
        assert window is not None, f"no calibration window: {self.program.output()}"
        return window


def target_centres(count, width=DEFAULT_SCREEN[0], height=DEFAULT_SCREEN[1]):
    """Screen centres of the targets, down each column first."""
    columns, rows = {4: (2, 2), 9: (3, 3), 20: (5, 4)}[count]
    return [(0.1 * width + i * 0.8 * width / (columns - 1),
             0.1 * height + j * 0.8 * height / (rows - 1))
            for i in range(columns) for j in range(rows)]


def board_point(x, y):
    """Where the simulated board reports a touch of screen point (x, y)."""
    return int(250 + x * 3600 / DEFAULT_SCREEN[0]), int(300 + y * 3500 / DEFAULT_SCREEN[1])


NOISE = [(3, -2), (-4, 1), (0, 5), (2, 2), (-1, -3), (5, 0), (-2, 4), (1, -5),
         (4, 3), (-3, -1), (0, 0), (2, -4), (-5, 2), (3, 1), (-1, 3), (1, -2)]


def touch_target(board, point, count=16, lifts=1):
    """A stroke of count contacts near point with a little noise, then a
    lift; the board points sent, in order."""
    sent = []
    for i in range(count):
        dx, dy = NOISE[i % len(NOISE)]
        sent.append((point[0] + dx + i % 3, point[1] + dy - i % 2))
        board.contact(*sent[-1])
    board.lift(*sent[-1], count=lifts)
    return sent


def target_colour(desktop, centre):
    """'red', 'green' or 'grey': what the 30 by 30 target at centre shows."""
    x, y = int(centre[0]) - 15, int(centre[1]) - 15
    pixels = desktop.pixels(x, y, 30, 30)
    red = sum(1 for r, g, b in pixels if r > 150 and g < 110 and b < 110)
    green = sum(1 for r, g, b in pixels if g > r + 40 and g > b + 20)
    if red > 30 and green < 10:
        return "red"
    if green > 30 and red < 10:
        return "green"
    return "grey" if red < 10 and green < 10 else f"mixed ({red} red, {green} green)"


def wait_colours(desktop, centres, expected):
    return wait_until(lambda: [target_colour(desktop, c) for c in centres] == expected)


def start_calibration(zuraze_start, board, kind=1):
    """Starts the tool, chooses the layout, presses OK and waits until the
    targets are shown and the tool has greeted the board."""
    tool = zuraze_start()
    tool.wait_settings()
    if kind != 2:
        tool.choose(kind)
    greetings = board.greetings()
    tool.press("OK")
    window = tool.wait_calibration_window()
    assert board.wait_greetings(greetings + 1, WAIT), tool.program.output()
    return tool, window


ANGLE = math.radians(1.5)


def transform(x, y):
    """The simulated board: the screen slightly rotated and scaled on it."""
    dx, dy = x - DEFAULT_SCREEN[0] / 2, y - DEFAULT_SCREEN[1] / 2
    return (round(2048 + 3.4 * (dx * math.cos(ANGLE) - dy * math.sin(ANGLE))),
            round(2060 + 4.5 * (dx * math.sin(ANGLE) + dy * math.cos(ANGLE))))


def lands(board, pointer, point, pixel):
    """Touches the board at point until the pointer moves to pixel (give or
    take 3), as the service may not read the port yet; the motion, or None
    after WAIT."""
    def touched_and_landed():
        since = len(pointer.events())
        board.contact(*point, count=5)
        board.lift(*point, count=3)
        return pointer.wait_motion_to(*pixel, 1.0, tolerance=3, since=since)
    return wait_until(touched_and_landed, WAIT)


# ------------------------------------------------------------ the edge-key tool

RES_DIR = "/usr/local/Slatrix_QM_RV_Drivers/edgetab_res/"
EDGE_KEYS = protocol_tables.edge_keys()
KEYS = 28
IDLE, ACTIVE, DONE = 1, 2, 3


def key_point(i):
    """Where key i is printed on the simulated board: keys 0..13 along one
    edge, 14..27 along the opposite one, far apart from each other."""
    return 250 + 130 * (i % 14), 300 if i < 14 else 3700


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


def touch_key(board, point, contacts, lifts=1):
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
