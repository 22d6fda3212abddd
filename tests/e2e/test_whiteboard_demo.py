"""The demo whiteboard: every command word arrives over UDP and shows its effect
on the screen, in the saved pages and in the demo's trace; strokes are drawn
with XTest as the board service draws them. Pages go to the user's own
folder under names nobody else can take over, and only so many are kept."""
import os
import pwd
import socket
import stat
import subprocess
import tempfile
import threading
import time

import pytest

from gui import WAIT, Desktop, wait_until
from xfixture import XTestInjector

DEMO = os.path.join(os.environ.get("E2E_BUILD", ""), "tools", "whiteboard-demo")
PROBE = os.path.join(os.environ.get("E2E_BUILD", ""), "tools", "pixbuf_probe")
PORT = ("127.0.0.1", 10000)
WHITE = (255, 255, 255)
PENS = {"bpen": ("black", (0, 0, 0)), "rpen": ("red", (224, 0, 0)),
        "lpen": ("blue", (0, 0, 224)), "gpen": ("green", (0, 160, 0))}
SHOWN = ("mous", "cust", "cusp", "elfc", "elbc", "elfd", "elbd", "bped", "rped", "lped", "gped")
CORNER = (1024 - 520, 0, 520, 60)   # where the last word is shown
MAX_PAGES = 20
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"


class Demo:
    """The running demo, its trace lines, and the screen it draws on."""

    def __init__(self, xserver, home, args=()):
        self.home = home
        # HOME names a decoy: the demo finds the home in the password database.
        self.decoy = tempfile.mkdtemp(prefix="e2e-demo-decoy-", dir="/tmp")
        self.proc = subprocess.Popen([DEMO, *args], env=dict(xserver.env(), HOME=self.decoy),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self._lines = []
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.screen = Desktop(xserver)
        self.pointer = XTestInjector(xserver.display)

    def _read(self):
        for line in self.proc.stdout:
            with self._lock:
                self._lines.append(line.rstrip("\n"))

    def lines(self):
        with self._lock:
            return list(self._lines)

    def wait_line(self, predicate, since):
        found = wait_until(lambda: next((l for l in self.lines()[since:] if predicate(l)), None))
        assert found, f"no such trace line after {since}; trace: {self.lines()}"
        return found

    def command(self, word):
        """Sends word as the service does and returns the effect line the demo traced."""
        since = len(self.lines())
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(word.encode() + b"\n", PORT)
        self.wait_line(lambda l: l == f'received "{word}"', since)
        return self.wait_line(lambda l: not l.startswith("received "), since + 1)

    def stroke(self, x0, x1, y):
        self.pointer.move(x0, y)
        self.pointer.press(1)
        for x in range(x0, x1 + 1, 20):
            self.pointer.move(x, y)
        self.pointer.move(x1, y)
        self.pointer.release(1)

    def row(self, x0, x1, y):
        return self.screen.pixels(x0, y, x1 - x0, 1)

    def wait_row(self, x0, x1, y, colour):
        """Waits until every pixel of the row is colour (within rounding)."""
        def close(p):
            return all(abs(a - b) <= 8 for a, b in zip(p, colour))
        ok = wait_until(lambda: all(close(p) for p in self.row(x0, x1, y)))
        assert ok, f"row {y} {x0}..{x1} is not {colour}: {sorted(set(self.row(x0, x1, y)))[:5]}"

    def corner(self):
        return self.screen.pixels(*CORNER)

    def stop(self):
        self.pointer.close()
        self.screen.close()
        if self.proc.poll() is None:
            self.proc.terminate()
        self.proc.wait(WAIT)
        self._reader.join(WAIT)
        return self.proc.returncode, self.proc.stderr.read()


@pytest.fixture
def home():
    """The user's home from the password database, as an empty folder of the
    test's own (a private mount inside the sandbox)."""
    path = pwd.getpwuid(os.getuid()).pw_dir
    stand_in = tempfile.mkdtemp(prefix="e2e-demo-home-", dir="/tmp")
    os.chmod(stand_in, 0o700)
    subprocess.run(["mount", "--bind", stand_in, path], check=True)
    try:
        yield path
    finally:
        subprocess.run(["umount", "-l", path], check=True)


@pytest.fixture
def start_demo(xserver, artifacts, home):
    """start_demo(*args) -> Demo once its window is up; every demo started
    must end with status 0."""
    if not os.access(DEMO, os.X_OK):
        pytest.fail(f"{DEMO} is not built", pytrace=False)
    started = []

    def start(*args):
        d = Demo(xserver, home, args)
        started.append(d)
        d.wait_line(lambda l: l.startswith("listening on 127.0.0.1:10000"), 0)
        # The window is up when the canvas covers the screen's middle in white.
        d.wait_row(400, 600, 400, WHITE)
        return d

    try:
        yield start
        xserver.screenshot(os.path.join(artifacts, "demo.png"))
    finally:
        ends = [d.stop() for d in started]
    for status, errors in ends:
        assert status == 0, f"demo ended with {status}: {errors}"


@pytest.fixture
def demo(start_demo):
    return start_demo()


def test_every_word_is_acted_on_and_shown_in_the_corner(demo):
    expected = {**{w: f"pen {name}" for w, (name, _) in PENS.items()},
                "eare": "eraser", "anew": "page 2 of 2", "prev": "page 1 of 2",
                "next": "page 2 of 2", **{w: "shown" for w in SHOWN}}
    before = demo.corner()
    for word, effect in expected.items():
        assert demo.command(word) == effect, word
        assert wait_until(lambda: demo.corner() != before), f"corner unchanged after {word}"
        before = demo.corner()
    assert demo.command("save").startswith("saved ")


@pytest.mark.parametrize("word", list(PENS))
def test_pen_words_choose_the_stroke_colour(demo, word):
    assert demo.command(word) == f"pen {PENS[word][0]}"
    demo.stroke(200, 700, 300)
    demo.wait_row(210, 690, 300, PENS[word][1])


def test_eraser_wipes_a_stroke_and_a_pen_word_ends_it(demo):
    demo.command("lpen")
    demo.stroke(200, 700, 300)
    demo.wait_row(210, 690, 300, PENS["lpen"][1])
    assert demo.command("eare") == "eraser"
    demo.stroke(150, 750, 300)
    demo.wait_row(210, 690, 300, WHITE)
    demo.command("rpen")
    demo.stroke(200, 700, 500)
    demo.wait_row(210, 690, 500, PENS["rpen"][1])


def test_pages_keep_their_strokes(demo):
    demo.command("rpen")
    demo.stroke(200, 700, 300)
    demo.wait_row(210, 690, 300, PENS["rpen"][1])
    steps = [("anew", "page 2 of 2", WHITE), ("prev", "page 1 of 2", PENS["rpen"][1]),
             ("prev", "page 1 of 2", PENS["rpen"][1]), ("next", "page 2 of 2", WHITE),
             ("next", "page 2 of 2", WHITE)]
    for word, page, colour in steps:
        assert demo.command(word) == page, word
        demo.wait_row(210, 690, 300, colour)
    demo.command("gpen")
    demo.stroke(200, 700, 400)
    demo.wait_row(210, 690, 400, PENS["gpen"][1])
    assert demo.command("prev") == "page 1 of 2"
    demo.wait_row(210, 690, 400, WHITE)
    demo.wait_row(210, 690, 300, PENS["rpen"][1])


def read_png(path, scratch):
    """(width, height, rows of (r, g, b)) through gdk-pixbuf, as the suite's tools load images."""
    raw = os.path.join(scratch, "pixels.rgba")
    out = subprocess.run([PROBE, path, raw], capture_output=True, text=True, check=True)
    width, height, _ = out.stdout.split()
    width, height = int(width), int(height)
    with open(raw, "rb") as f:
        data = f.read()
    rows = [[tuple(data[(y * width + x) * 4:(y * width + x) * 4 + 3]) for x in range(width)]
            for y in range(height)]
    return width, height, rows


def test_save_writes_the_current_page_as_png(demo):
    demo.command("gpen")
    demo.stroke(200, 700, 300)
    demo.wait_row(210, 690, 300, PENS["gpen"][1])
    first = demo.command("save")
    assert first.startswith(f"saved {demo.home}/") and first.endswith(".png"), first
    assert_own_png(saved_path(first), demo.home)
    demo.command("anew")
    second = demo.command("save")
    assert second.startswith("saved ") and second != first

    width, height, rows = read_png(first[len("saved "):], demo.home)
    assert (width, height) == (1024, 768)
    assert all(rows[300][x] == PENS["gpen"][1] for x in range(210, 690))
    assert rows[600][500] == WHITE
    # The corner status belongs to the screen, not to the page.
    assert all(p == WHITE for p in rows[30][1024 - 400:1024 - 20])
    _, _, blank = read_png(second[len("saved "):], demo.home)
    assert all(p == WHITE for p in blank[300][210:690])


def saved_path(line):
    assert line.startswith("saved ") and line.endswith(".png"), line
    return line[len("saved "):]


def assert_own_png(path, folder):
    """A regular file of the demo's own making in folder, holding a PNG."""
    assert os.path.dirname(path) == folder, (path, folder)
    st = os.lstat(path)
    assert stat.S_ISREG(st.st_mode) and st.st_nlink == 1, oct(st.st_mode)
    with open(path, "rb") as f:
        assert f.read(8) == PNG_MAGIC, path


# Where "save" goes without --save-dir: the "Pictures" folder of the home
# only when it is a real folder of the user's own.
PICTURES_CASES = [
    pytest.param(None, "", id="no-pictures"),
    pytest.param("folder", "Pictures", id="pictures-folder"),
    pytest.param("someone-elses", "", id="pictures-of-another-user"),
    pytest.param("link", "", id="pictures-a-link"),
    pytest.param("file", "", id="pictures-a-file"),
]


@pytest.mark.parametrize("pictures,expected", PICTURES_CASES)
def test_save_goes_to_the_users_pictures_or_home(start_demo, home, pictures, expected):
    target = os.path.join(home, "Pictures")
    elsewhere = tempfile.mkdtemp(prefix="e2e-demo-elsewhere-", dir="/tmp")
    if pictures in ("folder", "someone-elses"):
        os.mkdir(target)
        if pictures == "someone-elses":
            os.chown(target, 65534, 65534)
    elif pictures == "link":
        os.symlink(elsewhere, target)
    elif pictures == "file":
        open(target, "w").close()
    folder = os.path.join(home, expected) if expected else home

    d = start_demo()
    assert f"listening on 127.0.0.1:10000, saving to {folder}" in d.lines(), d.lines()
    assert_own_png(saved_path(d.command("save")), folder)
    assert os.listdir(elsewhere) == [] and os.listdir(d.decoy) == []


def predictable_names(folder, pid, counter, seconds):
    """Every name the demo could give its save number counter within seconds from now."""
    now = int(time.time())
    return [os.path.join(folder, time.strftime("whiteboard-%Y%m%d-%H%M%S", time.localtime(t))
                         + f"-{pid}-{counter}.png") for t in range(now - 2, now + seconds)]


# What a local user plants at the names of the next save; none of it may be
# written through or replaced.
PLANTED_CASES = [
    pytest.param("save-dir", "link-to-file", id="link-to-a-file"),
    pytest.param("save-dir", "dangling-link", id="link-to-nothing"),
    pytest.param("save-dir", "file", id="file"),
    pytest.param("home", "link-to-file", id="link-in-home"),
]


@pytest.mark.parametrize("where,planted", PLANTED_CASES)
def test_save_never_writes_through_a_planted_name(start_demo, home, where, planted):
    if where == "save-dir":
        # Shared like /tmp: anyone may create names in it.
        folder = tempfile.mkdtemp(prefix="e2e-demo-shared-", dir="/tmp")
        os.chmod(folder, 0o1777)
        d = start_demo("--save-dir", folder)
    else:
        folder = home
        d = start_demo()
    victim = os.path.join(tempfile.mkdtemp(prefix="e2e-demo-victim-", dir="/tmp"), "victim")
    if planted == "link-to-file":
        with open(victim, "wb") as f:
            f.write(b"the victim's own bytes")
    names = predictable_names(folder, d.proc.pid, 1, int(3 * WAIT))
    for name in names:
        if planted == "file":
            with open(name, "wb") as f:
                f.write(b"someone else's file")
        else:
            os.symlink(victim, name)

    paths = [saved_path(d.command("save")) for _ in range(2)]
    if planted == "link-to-file":
        with open(victim, "rb") as f:
            assert f.read(32) == b"the victim's own bytes", "the link was written through"
    else:
        assert not os.path.lexists(victim), "a dangling link was followed"
    assert len(set(paths)) == 2 and not set(paths) & set(names), paths
    for path in paths:
        assert_own_png(path, folder)
    for name in names:
        if planted == "file":
            with open(name, "rb") as f:
                assert f.read() == b"someone else's file", name
        else:
            assert os.readlink(name) == victim, name


def test_new_pages_stop_at_the_cap_and_keep_their_strokes(demo):
    demo.command("rpen")
    demo.stroke(200, 700, 300)
    demo.wait_row(210, 690, 300, PENS["rpen"][1])
    for n in range(2, MAX_PAGES + 1):
        assert demo.command("anew") == f"page {n} of {n}"
    refused = f"page limit {MAX_PAGES} reached, page {{}} of {MAX_PAGES}"
    assert demo.command("anew") == refused.format(MAX_PAGES)
    assert demo.command("prev") == f"page {MAX_PAGES - 1} of {MAX_PAGES}"
    # Refused on any page: the current page stays.
    assert demo.command("anew") == refused.format(MAX_PAGES - 1)
    for _ in range(MAX_PAGES):
        demo.command("prev")
    assert demo.command("next") == f"page 2 of {MAX_PAGES}"
    assert demo.command("prev") == f"page 1 of {MAX_PAGES}"
    demo.wait_row(210, 690, 300, PENS["rpen"][1])
