"""The installed pictures and the built-in pixmaps: each is where the tools look
for it, in the format and size they expect, loads through gdk-pixbuf as in the
tools, and shows what it stands for. A contact sheet of all of them is kept as
an artefact for a person to look at."""
import colorsys
import os
import struct
import subprocess
import tempfile

import pytest

DRIVER_DIR = "/usr/local/Slatrix_QM_RV_Drivers"
EDGE_KEY_DIR = f"{DRIVER_DIR}/edgetab_res"
EDGE_KEYS = ["NewPage", "Save", "PrePage", "NextPage", "Mouse", "BlackPen", "RedPen", "BluePen",
             "GreenPen", "Eraser", "UserDefine1", "UserDefine2", "Orient", "Start"]
IDLE, ACTIVE, DONE = 1, 2, 3


class Picture:
    """Pixels as gdk-pixbuf decodes them, always as RGBA."""

    def __init__(self, width, height, has_alpha, rgba):
        self.width, self.height, self.has_alpha, self.rgba = width, height, has_alpha, rgba

    def at(self, x, y):
        k = 4 * (y * self.width + x)
        return tuple(self.rgba[k:k + 4])

    def points(self, x0=0, y0=0, x1=None, y1=None):
        for y in range(y0, self.height if y1 is None else y1):
            for x in range(x0, self.width if x1 is None else x1):
                yield x, y, self.at(x, y)


def probe(*args):
    """Loads through the build's pixbuf_probe (gdk-pixbuf, as the tools load)."""
    tool = os.path.join(os.environ["E2E_BUILD"], "tools", "pixbuf_probe")
    with tempfile.NamedTemporaryFile(suffix=".rgba") as out:
        run = subprocess.run([tool, *args, out.name], capture_output=True, text=True, timeout=30)
        assert run.returncode == 0, f"pixbuf_probe {args}: {run.stderr}"
        width, height, has_alpha = map(int, run.stdout.split())
        rgba = out.read()
    assert len(rgba) == 4 * width * height
    return Picture(width, height, bool(has_alpha), rgba)


def identify(path):
    run = subprocess.run(["/usr/bin/identify", "-format", "%m %w %h", path],
                         capture_output=True, text=True, timeout=30)
    assert run.returncode == 0, run.stderr
    kind, width, height = run.stdout.split()
    return kind, int(width), int(height)


def assert_24bit_bmp(path, width, height):
    """Uncompressed 24-bit, bottom-up, rows padded to 4 bytes."""
    with open(path, "rb") as f:
        data = f.read()
    magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    header_size, w, h, planes, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    assert (magic, header_size, planes, bits, compression) == (b"BM", 40, 1, 24, 0), path
    assert (w, h) == (width, height), f"{path}: {w}x{h}, bottom-up means positive height"
    assert file_size == len(data) == offset + ((3 * width + 3) // 4 * 4) * height, path


def hsv(pixel):
    return colorsys.rgb_to_hsv(*(c / 255 for c in pixel[:3]))


def hue_deg(pixel):
    return hsv(pixel)[0] * 360


def hue_near(pixel, expected, tolerance):
    return abs((hue_deg(pixel) - expected + 180) % 360 - 180) <= tolerance


def luminance(pixel):
    return 0.3 * pixel[0] + 0.59 * pixel[1] + 0.11 * pixel[2]


def reddish(pixel):
    return pixel[0] > 120 and pixel[0] - max(pixel[1], pixel[2]) > 80


def red_tinted(pixel):
    return pixel[0] - max(pixel[1], pixel[2]) > 40


def greenish(pixel):
    return pixel[1] > 100 and pixel[1] - max(pixel[0], pixel[2]) > 50


def blobs(picture, inside):
    """Centres (in pixel-edge coordinates) of the 8-connected regions of pixels
    for which inside(pixel) holds."""
    seen, centres = set(), []
    for x, y, pixel in picture.points():
        if (x, y) in seen or not inside(pixel):
            continue
        stack, region = [(x, y)], []
        seen.add((x, y))
        while stack:
            px, py = stack.pop()
            region.append((px, py))
            for nx in (px - 1, px, px + 1):
                for ny in (py - 1, py, py + 1):
                    if (0 <= nx < picture.width and 0 <= ny < picture.height
                            and (nx, ny) not in seen and inside(picture.at(nx, ny))):
                        seen.add((nx, ny))
                        stack.append((nx, ny))
        centres.append((sum(p[0] for p in region) / len(region) + 0.5,
                        sum(p[1] for p in region) / len(region) + 0.5))
    return centres


def distinct(values, within=3.0):
    groups = []
    for v in sorted(values):
        if not groups or v - groups[-1][-1] > within:
            groups.append([v])
        else:
            groups[-1].append(v)
    return [sum(g) / len(g) for g in groups]


# --- files, formats, sizes -------------------------------------------------

CALIBRATION_FILES = [
    # name, identify's format, width, height
    ("Red.bmp", "BMP", 30, 30),
    ("Grey.xpm", "XPM", 30, 30),
    ("S4.bmp", "BMP", 150, 110),
    ("S9.bmp", "BMP", 150, 110),
    ("S20.bmp", "BMP", 150, 110),
    ("Logo.bmp", "BMP", 510, 200),
]
EDGE_KEY_FILES = [f"{key}{state}.bmp" for key in EDGE_KEYS for state in (IDLE, ACTIVE, DONE)]


@pytest.mark.parametrize("path,kind,width,height",
                         [(f"{DRIVER_DIR}/{n}", k, w, h) for n, k, w, h in CALIBRATION_FILES]
                         + [(f"{EDGE_KEY_DIR}/{n}", "BMP", 36, 36) for n in EDGE_KEY_FILES])
def test_installed_file_has_its_format_and_size(path, kind, width, height):
    found_kind, found_width, found_height = identify(path)
    assert found_kind.startswith(kind) and (found_width, found_height) == (width, height)
    if kind == "BMP":
        assert_24bit_bmp(path, width, height)
    picture = probe(path)
    assert (picture.width, picture.height) == (width, height)


def test_edge_key_directory_holds_exactly_the_42_pictures():
    assert sorted(os.listdir(EDGE_KEY_DIR)) == sorted(EDGE_KEY_FILES)
    assert len(EDGE_KEY_FILES) == 42


# --- what they show --------------------------------------------------------

BUILTINS = [
    # name, size, colour test for the centre pixel
    ("iconPix", 48, None),
    ("redPix", 30, reddish),
    ("greenPix", 30, greenish),
]


@pytest.mark.parametrize("name,size,centre_colour", BUILTINS)
def test_builtin_pixmap_is_transparent_around_its_motif(name, size, centre_colour):
    picture = probe("--builtin", name)
    assert (picture.width, picture.height, picture.has_alpha) == (size, size, True)
    corners = [picture.at(x, y) for x in (0, size - 1) for y in (0, size - 1)]
    assert all(p[3] == 0 for p in corners), corners
    visible = sum(1 for _, _, p in picture.points() if p[3] >= 128)
    assert visible > size * size // 4, f"{name}: only {visible} visible pixels"
    if centre_colour:
        centre = picture.at(size // 2, size // 2)
        assert centre_colour(centre) and centre[3] == 255, centre
        ring = [picture.at(size // 2 + dx, size // 2) for dx in range(-12, -9)]
        assert any(centre_colour(p) for p in ring), ring


def test_first_target_is_red_on_light_background():
    picture = probe(f"{DRIVER_DIR}/Red.bmp")
    assert reddish(picture.at(15, 15)) and reddish(picture.at(4, 15))
    assert all(luminance(picture.at(x, y)) > 180 for x in (0, 29) for y in (0, 29))


def test_idle_target_is_a_grey_ring_on_transparency():
    picture = probe(f"{DRIVER_DIR}/Grey.xpm")
    assert picture.has_alpha
    assert all(picture.at(x, y)[3] == 0 for x in (0, 29) for y in (0, 29))
    ring = [picture.at(15, y) for y in range(3, 6)]
    assert any(hsv(p)[1] < 0.1 and 100 < luminance(p) < 190 for p in ring), ring
    assert not any(reddish(p) or greenish(p) for _, _, p in picture.points())


def screen_area(picture):
    """Bounding box of the preview's light blue screen: the rows and columns
    mostly made of light blue pixels."""
    def blue(p):
        return p[2] - p[0] >= 8 and min(p[:3]) > 150
    rows = [y for y in range(picture.height)
            if sum(blue(picture.at(x, y)) for x in range(picture.width)) > picture.width // 2]
    columns = [x for x in range(picture.width)
               if sum(blue(picture.at(x, y)) for y in range(picture.height)) > picture.height // 2]
    return min(columns), min(rows), max(columns) + 1, max(rows) + 1


@pytest.mark.parametrize("name,columns,rows", [("S4", 2, 2), ("S9", 3, 3), ("S20", 5, 4)])
def test_layout_preview_shows_the_targets_10_percent_inside_the_screen(name, columns, rows):
    picture = probe(f"{DRIVER_DIR}/{name}.bmp")
    targets = blobs(picture, red_tinted)
    assert len(targets) == columns * rows, targets
    x0, y0, x1, y1 = screen_area(picture)
    assert x1 - x0 > 100 and y1 - y0 > 60, (x0, y0, x1, y1)
    xs, ys = distinct([x for x, _ in targets]), distinct([y for _, y in targets])
    expected_xs = [x0 + (x1 - x0) * (0.1 + 0.8 * c / (columns - 1)) for c in range(columns)]
    expected_ys = [y0 + (y1 - y0) * (0.1 + 0.8 * r / (rows - 1)) for r in range(rows)]
    assert len(xs) == columns and len(ys) == rows, (xs, ys)
    assert all(abs(a - b) <= 2 for a, b in zip(xs + ys, expected_xs + expected_ys)), (xs, ys)


def test_about_background_is_light_and_calm_where_the_text_goes():
    picture = probe(f"{DRIVER_DIR}/Logo.bmp")
    lums = [luminance(p) for _, _, p in picture.points()]
    assert sum(lums) / len(lums) > 200
    # The about text is centred in the 510 by 130 label at (2, 40).
    text_area = [luminance(p) for _, _, p in picture.points(130, 55, 380, 155)]
    assert min(text_area) > 215 and max(text_area) - min(text_area) < 25


def frame(picture):
    """Pixels in the middle of the four sides of a key's frame."""
    return [picture.at(x, y) for x, y in ((18, 1), (1, 18), (34, 18), (18, 34))]


FRAME_LOOKS = {
    IDLE: ("muted grey", lambda p: hsv(p)[1] < 0.1 and 120 < luminance(p) < 200),
    ACTIVE: ("orange", lambda p: hsv(p)[1] > 0.7 and hue_near(p, 35, 15)),
    DONE: ("green", lambda p: hsv(p)[1] > 0.5 and hue_near(p, 135, 25)),
}


@pytest.mark.parametrize("key", EDGE_KEYS)
def test_edge_key_states_differ_by_their_frame(key):
    pictures = {s: probe(f"{EDGE_KEY_DIR}/{key}{s}.bmp") for s in FRAME_LOOKS}
    for state, (look, matches) in FRAME_LOOKS.items():
        assert all(matches(p) for p in frame(pictures[state])), (state, look, frame(pictures[state]))
    # The done picture carries a check mark badge: white strokes on green.
    badge = [p for _, _, p in pictures[DONE].points(24, 24, 33, 33)]
    assert sum(1 for p in badge if min(p[:3]) > 235) >= 6
    assert sum(1 for p in badge if greenish(p)) >= 20


PEN_HUES = [("RedPen", 358), ("BluePen", 216), ("GreenPen", 136)]


@pytest.mark.parametrize("state,min_saturation", [(IDLE, 0.3), (ACTIVE, 0.5)])
@pytest.mark.parametrize("key,hue", PEN_HUES)
def test_coloured_pen_is_drawn_in_its_colour(key, hue, state, min_saturation):
    picture = probe(f"{EDGE_KEY_DIR}/{key}{state}.bmp")
    ink = [p for _, _, p in picture.points(4, 4, 32, 32) if hsv(p)[1] >= min_saturation]
    assert len(ink) >= 40, len(ink)
    on_hue = sum(1 for p in ink if hue_near(p, hue, 20))
    assert on_hue >= 0.8 * len(ink), (on_hue, len(ink))


def test_black_pen_is_dark_and_colourless():
    picture = probe(f"{EDGE_KEY_DIR}/BlackPen{ACTIVE}.bmp")
    inner = [p for _, _, p in picture.points(4, 4, 32, 32)]
    assert sum(1 for p in inner if max(p[:3]) < 70) >= 40
    assert not any(reddish(p) or greenish(p) for p in inner)


def montage(files, out, *options):
    # Options stand before the files: montage applies -label to files after it.
    subprocess.run(["/usr/bin/montage", *options, "-background", "#dcdad5", *files, out],
                   check=True, timeout=120)


def test_contact_sheet_for_a_person_to_look_at():
    """Every picture on one sheet, kept as an artefact: the edge keys three
    states to a key and the targets enlarged (pixels kept sharp), the previews
    and the about background at their own size."""
    sheet = os.path.join(os.environ["E2E_ARTIFACTS"], "images_contact_sheet.png")
    with tempfile.TemporaryDirectory() as tmp:
        targets = [f"{DRIVER_DIR}/Red.bmp", f"{DRIVER_DIR}/Grey.xpm"]
        for name, _, _ in BUILTINS:
            picture = probe("--builtin", name)
            raw = os.path.join(tmp, name + ".rgba")
            with open(raw, "wb") as f:
                f.write(picture.rgba)
            targets.append(os.path.join(tmp, name + ".png"))
            subprocess.run(["/usr/bin/convert", "-size", f"{picture.width}x{picture.height}",
                            "-depth", "8", f"rgba:{raw}", targets[-1]], check=True, timeout=30)
        rows = [os.path.join(tmp, f"row{k}.png") for k in range(4)]
        montage([f"{EDGE_KEY_DIR}/{n}" for n in EDGE_KEY_FILES], rows[0],
                "-tile", "9x", "-geometry", "108x108+6+6", "-filter", "point")
        montage(targets, rows[1], "-label", "%t", "-tile", "5x", "-geometry", "144x144+12+6", "-filter", "point")
        montage([f"{DRIVER_DIR}/S{n}.bmp" for n in (4, 9, 20)], rows[2],
                "-label", "%t", "-geometry", "+24+6")
        montage([f"{DRIVER_DIR}/Logo.bmp"], rows[3], "-label", "%t", "-geometry", "+6+6")
        subprocess.run(["/usr/bin/convert", *rows, "-background", "#dcdad5", "-gravity", "center",
                        "-append", sheet], check=True, timeout=120)
    kind, width, height = identify(sheet)
    assert kind == "PNG" and width >= 9 * 120 and height > 5 * 120 + 144 + 110 + 200
