#!/usr/bin/python3
"""Draws the suite's pictures: the installation images of the calibration and
edge-key tools, and the pixmaps compiled into the calibration tool.

    imagegen.py list            relative paths of the installation images
    imagegen.py images OUTDIR   writes the installation images under OUTDIR
    imagegen.py header FILE     writes the C++ header of the built-in pixmaps
                                (zuraze_images.h: namespace tool_images)

Standard library only, so the build needs nothing but Python. Shapes are signed
distance functions; pixels near an edge are supersampled and averaged, which
gives clean anti-aliased edges at icon sizes.
"""
import math
import os
import struct
import sys

import protocol_tables

# ---------------------------------------------------------------------------
# Palette: one set of colours for every picture.

WINDOW_BG = (220, 218, 213)   # GTK 2's default widget background: opaque images blend in
INK = (47, 54, 64)
WHITE = (255, 255, 255)
RED = (214, 40, 46)
RED_DARK = (150, 24, 30)
GREEN = (44, 160, 76)
GREEN_DARK = (26, 112, 50)
BLUE = (40, 104, 200)
BLUE_DARK = (24, 66, 140)
GREY = (150, 152, 156)
PEN_BLACK = (38, 38, 42)
ORANGE = (240, 140, 0)
PAPER_LINE = (170, 178, 190)


def mix(a, b, t):
    """Colour a moved by fraction t towards colour b."""
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def vertical_gradient(top, bottom, y0, y1):
    def colour(_x, y):
        return mix(top, bottom, min(1.0, max(0.0, (y - y0) / (y1 - y0))))
    return colour


def horizontal_gradient(left, right, x0, x1):
    def colour(x, _y):
        return mix(left, right, min(1.0, max(0.0, (x - x0) / (x1 - x0))))
    return colour


# ---------------------------------------------------------------------------
# Shapes: a signed distance (negative inside) that never overstates the true
# distance, and a bounding box (x0, y0, x1, y1).

class Shape:
    def __init__(self, sdf, bbox):
        self.sdf = sdf
        self.bbox = bbox

    def __or__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: min(a(x, y), b(x, y)), _bbox_union(self.bbox, other.bbox))

    def __and__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: max(a(x, y), b(x, y)), _bbox_meet(self.bbox, other.bbox))

    def __sub__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: max(a(x, y), -b(x, y)), self.bbox)

    def grow(self, d):
        a = self.sdf
        return Shape(lambda x, y: a(x, y) - d, _bbox_grow(self.bbox, max(d, 0)))

    def stroke(self, width):
        """The outline of the shape, centred on its edge."""
        a, h = self.sdf, width / 2
        return Shape(lambda x, y: abs(a(x, y)) - h, _bbox_grow(self.bbox, h))

    def placed(self, angle_deg, dx, dy):
        """The shape rotated about the origin, then moved by (dx, dy)."""
        c, s = math.cos(math.radians(angle_deg)), math.sin(math.radians(angle_deg))
        a = self.sdf

        def sdf(x, y):
            px, py = x - dx, y - dy
            return a(c * px + s * py, -s * px + c * py)
        x0, y0, x1, y1 = self.bbox
        corners = [(c * x - s * y + dx, s * x + c * y + dy) for x in (x0, x1) for y in (y0, y1)]
        xs, ys = [p[0] for p in corners], [p[1] for p in corners]
        return Shape(sdf, (min(xs), min(ys), max(xs), max(ys)))


def _bbox_union(a, b):
    return (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))


def _bbox_meet(a, b):
    return (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))


def _bbox_grow(b, d):
    return (b[0] - d, b[1] - d, b[2] + d, b[3] + d)


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def ring(cx, cy, r, width):
    return circle(cx, cy, r).stroke(width)


def rect(x0, y0, x1, y1, radius=0.0):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2

    def sdf(x, y):
        qx = abs(x - cx) - hx + radius
        qy = abs(y - cy) - hy + radius
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - radius
    return Shape(sdf, (x0, y0, x1, y1))


def segment(x0, y0, x1, y1, width):
    """A line with round caps."""
    ex, ey, h = x1 - x0, y1 - y0, width / 2
    length2 = ex * ex + ey * ey or 1e-12

    def sdf(x, y):
        wx, wy = x - x0, y - y0
        t = min(1.0, max(0.0, (wx * ex + wy * ey) / length2))
        return math.hypot(wx - ex * t, wy - ey * t) - h
    return Shape(sdf, (min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h))


def polyline(points, width):
    shape = segment(*points[0], *points[1], width)
    for a, b in zip(points[1:], points[2:]):
        shape = shape | segment(*a, *b, width)
    return shape


def polygon(points):
    n = len(points)

    def sdf(x, y):
        d = (x - points[0][0]) ** 2 + (y - points[0][1]) ** 2
        inside = False
        j = n - 1
        for i in range(n):
            xi, yi = points[i]
            xj, yj = points[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            t = min(1.0, max(0.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            bx, by = wx - ex * t, wy - ey * t
            d = min(d, bx * bx + by * by)
            if (yi > y) != (yj > y) and x < xi + (y - yi) * ex / ey:
                inside = not inside
            j = i
        return -math.sqrt(d) if inside else math.sqrt(d)
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return Shape(sdf, (min(xs), min(ys), max(xs), max(ys)))


def arc(cx, cy, r, start_deg, end_deg, width):
    """Part of a circle from start to end angle (screen angles, y down), round caps."""
    a0, a1, h = math.radians(start_deg), math.radians(end_deg), width / 2
    ends = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a in (a0, a1)]

    def sdf(x, y):
        angle = (math.atan2(y - cy, x - cx) - a0) % (2 * math.pi) + a0
        if angle <= a1:
            return abs(math.hypot(x - cx, y - cy) - r) - h
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - h
    return Shape(sdf, (cx - r - h, cy - r - h, cx + r + h, cy + r + h))


def wave(x0, x1, y, amplitude, periods, width, steps=24):
    points = [(x0 + (x1 - x0) * k / steps,
               y - amplitude * math.sin(2 * math.pi * periods * k / steps)) for k in range(steps + 1)]
    return polyline(points, width)


# ---------------------------------------------------------------------------
# Raster: premultiplied RGBA floats; each shape is painted with its coverage.

SUPERSAMPLE = 4
_OFFSETS = [(k + 0.5) / SUPERSAMPLE for k in range(SUPERSAMPLE)]
_SURE = 0.75   # farther than this from an edge a pixel is wholly in or out


def coverage(sdf, i, j):
    d = sdf(i + 0.5, j + 0.5)
    if d >= _SURE:
        return 0.0
    if d <= -_SURE:
        return 1.0
    hits = sum(1 for oy in _OFFSETS for ox in _OFFSETS if sdf(i + ox, j + oy) < 0)
    return hits / (SUPERSAMPLE * SUPERSAMPLE)


class Canvas:
    def __init__(self, width, height, background=None):
        self.width, self.height = width, height
        fill = [c / 255 for c in background] + [1.0] if background else [0.0] * 4
        self.pixels = [list(fill) for _ in range(width * height)]

    def paint(self, shape, colour, opacity=1.0):
        """colour: an RGB triple, or a function (x, y) -> RGB triple."""
        x0, y0, x1, y1 = shape.bbox
        for j in range(max(0, int(y0) - 1), min(self.height, int(math.ceil(y1)) + 1)):
            for i in range(max(0, int(x0) - 1), min(self.width, int(math.ceil(x1)) + 1)):
                alpha = coverage(shape.sdf, i, j) * opacity
                if alpha <= 0:
                    continue
                rgb = colour(i + 0.5, j + 0.5) if callable(colour) else colour
                p = self.pixels[j * self.width + i]
                keep = 1 - alpha
                p[0] = rgb[0] / 255 * alpha + p[0] * keep
                p[1] = rgb[1] / 255 * alpha + p[1] * keep
                p[2] = rgb[2] / 255 * alpha + p[2] * keep
                p[3] = alpha + p[3] * keep

    def rgba(self):
        """Rows top-down of straight (not premultiplied) 8-bit RGBA pixels."""
        out = bytearray()
        for r, g, b, a in self.pixels:
            if a <= 0:
                out += b"\0\0\0\0"
            else:
                out += bytes(_byte(c / a) for c in (r, g, b)) + bytes([_byte(a)])
        return bytes(out)

    def rgb_over(self, background):
        """Rows top-down of 8-bit RGB pixels, composited over an opaque colour."""
        bg = [c / 255 for c in background]
        out = bytearray()
        for p in self.pixels:
            out += bytes(_byte(p[k] + bg[k] * (1 - p[3])) for k in range(3))
        return bytes(out)


def _byte(v):
    return max(0, min(255, int(round(v * 255))))


# ---------------------------------------------------------------------------
# File formats.

def bmp_bytes(width, height, rgb):
    """24-bit uncompressed BMP: bottom-up rows of BGR, each padded to 4 bytes."""
    stride = width * 3
    pad = b"\0" * ((4 - stride % 4) % 4)
    rows = []
    for j in reversed(range(height)):
        row = rgb[j * stride:(j + 1) * stride]
        bgr = bytearray(stride)
        bgr[0::3], bgr[1::3], bgr[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(bytes(bgr) + pad)
    data = b"".join(rows)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data),
                              2835, 2835, 0, 0)   # 72 dpi
    return file_header + info_header + data


# Characters for XPM pixels: printable, without the quote and the backslash.
_XPM_CHARS = "".join(chr(c) for c in range(35, 127) if chr(c) != "\\") + " !"


def xpm_text(name, width, height, rgba, background):
    """XPM with fully transparent pixels as "None"; partly covered pixels are
    blended over `background` since XPM has no partial transparency."""
    pixels = []
    for k in range(width * height):
        r, g, b, a = rgba[4 * k:4 * k + 4]
        if a == 0:
            pixels.append(None)
        else:
            t = a / 255
            pixels.append("#%02X%02X%02X" % tuple(
                _byte((c * t + bg * (1 - t)) / 255) for c, bg in zip((r, g, b), background)))
    colours = sorted(set(p for p in pixels if p), key=str)
    if None in pixels:
        colours.insert(0, None)
    per_pixel = 1 if len(colours) <= len(_XPM_CHARS) else 2
    codes = {}
    for index, colour in enumerate(colours):
        code = ""
        for _ in range(per_pixel):
            index, digit = divmod(index, len(_XPM_CHARS))
            code += _XPM_CHARS[digit]
        codes[colour] = code
    lines = ["/* XPM */", "static char *%s[] = {" % name,
             '"%d %d %d %d",' % (width, height, len(colours), per_pixel)]
    lines += ['"%s c %s",' % (codes[c], c or "None") for c in colours]
    rows = ['"%s"' % "".join(codes[p] for p in pixels[j * width:(j + 1) * width])
            for j in range(height)]
    lines.append(",\n".join(rows))
    lines.append("};")
    return "\n".join(lines) + "\n"


def c_array(name, data, per_line=16):
    body = ",\n".join("    " + ", ".join("0x%02x" % b for b in data[k:k + per_line])
                      for k in range(0, len(data), per_line))
    return "static const guint8 %s[%d] = {\n%s\n};\n" % (name, len(data), body)


# ---------------------------------------------------------------------------
# Calibration targets, 30 by 30, centred on the touch point (15, 15).

TARGET_SIZE = 30


def draw_target(canvas, main, dark, halo=0.92):
    c = TARGET_SIZE / 2
    canvas.paint(circle(c, c, 13.6), WHITE, halo)
    canvas.paint(ring(c, c, 11.2, 2.6), main)
    canvas.paint(rect(c - 1, 2, c + 1, TARGET_SIZE - 2), main)
    canvas.paint(rect(2, c - 1, TARGET_SIZE - 2, c + 1), main)
    canvas.paint(circle(c, c, 3.2), dark)


def red_target():
    canvas = Canvas(TARGET_SIZE, TARGET_SIZE)
    draw_target(canvas, RED, RED_DARK)
    return canvas


def green_target():
    canvas = Canvas(TARGET_SIZE, TARGET_SIZE)
    draw_target(canvas, GREEN, GREEN_DARK)
    return canvas


def grey_target():
    canvas = Canvas(TARGET_SIZE, TARGET_SIZE)
    c = TARGET_SIZE / 2
    canvas.paint(circle(c, c, 13.2), WHITE, 0.5)
    canvas.paint(ring(c, c, 11.2, 2.2), GREY)
    canvas.paint(circle(c, c, 2.2), GREY)
    return canvas


# ---------------------------------------------------------------------------
# Pen: tip at the origin, body along +x; placed with Shape.placed.

def pen_parts(body_length, half_width):
    end = 8 + body_length
    return {
        "cone": polygon([(1.4, -1.2), (8.2, -half_width), (8.2, half_width), (1.4, 1.2)]),
        "nib": polygon([(0, 0), (2.2, -1.5), (2.2, 1.5)]).grow(0.3),
        "body": rect(8, -half_width, end, half_width, 1.4),
        "band": rect(end - 6, -half_width - 0.4, end - 4.4, half_width + 0.4, 0.5),
        "shine": rect(9.5, -half_width + 0.9, end - 7, -half_width + 1.9, 0.5),
    }


def draw_pen(paint, colour, tip, body_length, half_width, angle=-45.0):
    parts = {k: s.placed(angle, *tip) for k, s in pen_parts(body_length, half_width).items()}
    outline = parts["cone"] | parts["body"]
    paint(outline.grow(0.9), mix(colour, INK, 0.55))
    paint(parts["cone"], (236, 214, 176))
    paint(parts["nib"], colour)
    paint(parts["body"], colour)
    paint(parts["band"], mix(colour, WHITE, 0.55))
    paint(parts["shine"], WHITE, 0.35)


# ---------------------------------------------------------------------------
# Window icon, 48 by 48: a whiteboard on its stand with a target and a pen.

ICON_SIZE = 48


def window_icon():
    canvas = Canvas(ICON_SIZE, ICON_SIZE)
    paint = canvas.paint
    paint(segment(15, 36, 10.5, 45.5, 2.8), INK)
    paint(segment(33, 36, 37.5, 45.5, 2.8), INK)
    board = rect(3, 4, 45, 35, 3.5)
    paint(board, INK)
    paint(rect(5.2, 6.2, 42.8, 32.8, 1.8), vertical_gradient(WHITE, (228, 236, 246), 6, 33))
    paint(rect(9, 34, 39, 38, 1.5), (150, 158, 170))
    paint(ring(18, 19.5, 6.5, 2.3), RED)
    paint(segment(18, 10, 18, 29, 1.5), RED)
    paint(segment(8.5, 19.5, 27.5, 19.5, 1.5), RED)
    paint(circle(18, 19.5, 2.0), RED_DARK)
    draw_pen(paint, BLUE, (28.5, 30.5), 13, 3.2)
    return canvas


# ---------------------------------------------------------------------------
# Layout previews of the settings window: a small screen showing the targets.

PREVIEW_W, PREVIEW_H = 150, 110
PREVIEW_SCREEN = (11, 9, 139, 85)    # x0, y0, x1, y1 of the picture area
LAYOUTS = {"S4": (2, 2), "S9": (3, 3), "S20": (5, 4)}   # columns, rows


def target_centres(columns, rows, area):
    """Targets 10 % inside the edges of the area, evenly spaced."""
    x0, y0, x1, y1 = area
    return [(x0 + (x1 - x0) * (0.1 + 0.8 * c / (columns - 1)),
             y0 + (y1 - y0) * (0.1 + 0.8 * r / (rows - 1)))
            for r in range(rows) for c in range(columns)]


def layout_preview(columns, rows):
    canvas = Canvas(PREVIEW_W, PREVIEW_H, WINDOW_BG)
    paint = canvas.paint
    x0, y0, x1, y1 = PREVIEW_SCREEN
    # stand, then the monitor over it
    paint(polygon([(66, 92), (84, 92), (88, 103), (62, 103)]), vertical_gradient(
        (120, 128, 140), (96, 104, 116), 92, 103))
    paint(rect(48, 101.5, 102, 106.5, 2.5), (90, 98, 110))
    paint(rect(x0 - 7, y0 - 6.5, x1 + 7, y1 + 9, 6), vertical_gradient(
        (72, 82, 96), (40, 46, 56), y0 - 6, y1 + 9))
    paint(rect(x0, y0, x1, y1, 1), vertical_gradient((240, 246, 253), (206, 224, 244), y0, y1))
    paint(polygon([(x0, y0), (x0 + 58, y0), (x0 + 22, y1), (x0, y1)]), WHITE, 0.18)
    paint(circle((x0 + x1) / 2, y1 + 4.8, 1.2), (120, 200, 140))
    for cx, cy in target_centres(columns, rows, PREVIEW_SCREEN):
        cx, cy = math.floor(cx) + 0.5, math.floor(cy) + 0.5   # crisp one-pixel lines
        paint(circle(cx, cy, 5.6), WHITE, 0.9)
        paint(segment(cx - 7, cy, cx + 7, cy, 1.1), RED, 0.85)
        paint(segment(cx, cy - 7, cx, cy + 7, 1.1), RED, 0.85)
        paint(ring(cx, cy, 4.3, 1.7), RED)
        paint(circle(cx, cy, 1.4), RED_DARK)
    return canvas


# ---------------------------------------------------------------------------
# About box background, 510 by 200: light, calm, the middle left free for text.

LOGO_W, LOGO_H = 510, 200


def logo():
    canvas = Canvas(LOGO_W, LOGO_H, WHITE)
    paint = canvas.paint
    paint(rect(0, 0, LOGO_W, LOGO_H), vertical_gradient((252, 253, 255), (228, 236, 246), 0, LOGO_H))
    paint(rect(0, 0, LOGO_W, 5), horizontal_gradient(BLUE, (0, 150, 160), 0, LOGO_W))
    paint(rect(0, 5, LOGO_W, 6.5), (0, 150, 160), 0.25)
    # left: a board with a faint calibration grid
    board = rect(24, 50, 112, 122, 5)
    paint(board.grow(2.2), (196, 210, 228))
    paint(board, vertical_gradient(WHITE, (240, 245, 251), 50, 122))
    for cx, cy in target_centres(3, 3, (24, 50, 112, 122)):
        paint(ring(cx, cy, 4.2, 1.5), RED, 0.35)
        paint(circle(cx, cy, 1.3), RED, 0.45)
    paint(rect(51, 122, 85, 127, 2), (180, 192, 208))
    paint(segment(59, 127, 51, 147, 3), (180, 192, 208))
    paint(segment(77, 127, 85, 147, 3), (180, 192, 208))
    # right: a pen that has just written a stroke
    paint(wave(386, 440, 124, 4.5, 1.0, 3.2), BLUE, 0.4)
    draw_pen(lambda s, c, o=1.0: paint(s, c, 0.55 * o), BLUE, (440, 124), 46, 7.5, angle=-52)
    # bottom: a long ink swoosh, very light
    paint(wave(-10, LOGO_W + 10, 186, 6, 1.0, 2.2, steps=60), BLUE, 0.16)
    paint(wave(-10, LOGO_W + 10, 191, 5, 1.5, 1.4, steps=60), (0, 150, 160), 0.14)
    return canvas


# ---------------------------------------------------------------------------
# Edge-key pictures, 36 by 36: a tile whose frame tells the state, with the
# key's pictogram on it.

KEY_SIZE = 36
IDLE, ACTIVE, DONE = 1, 2, 3
TILE_FILL_IDLE = (238, 238, 236)


def pictogram_new_page(paint):
    page = polygon([(12, 5.5), (22.5, 5.5), (28, 11), (28, 30.5), (12, 30.5)])
    paint(page.grow(0.7), INK)
    paint(page, WHITE)
    fold = polygon([(22.5, 5.5), (22.5, 11), (28, 11)])
    paint(fold.grow(0.5), INK)
    paint(fold, (214, 220, 230))
    for y, x1 in ((15, 24), (19, 25), (23, 21)):
        paint(segment(16, y, x1, y, 1.3), PAPER_LINE)
    paint(circle(11.5, 25.5, 6.6), WHITE)
    paint(circle(11.5, 25.5, 5.6), BLUE)
    paint(segment(8.6, 25.5, 14.4, 25.5, 1.9), WHITE)
    paint(segment(11.5, 22.6, 11.5, 28.4, 1.9), WHITE)


def pictogram_save(paint):
    body = polygon([(8, 7), (25, 7), (29, 11), (29, 29), (8, 29)])
    paint(body.grow(1.0), BLUE_DARK)
    paint(body, vertical_gradient(mix(BLUE, WHITE, 0.15), BLUE, 7, 29))
    paint(rect(12, 7, 24, 15, 0.8), (222, 228, 236))
    paint(rect(19.6, 8.6, 22.2, 13.4, 0.5), BLUE_DARK)
    paint(rect(11.5, 18.5, 25.5, 29, 1.2), WHITE)
    for y in (22, 25.5):
        paint(segment(14, y, 23, y, 1.2), PAPER_LINE)


_LEFT_ARROW = [(6.5, 18), (17, 7.5), (17, 13.5), (29, 13.5), (29, 22.5), (17, 22.5), (17, 28.5)]


def pictogram_arrow(paint, pointing_left):
    points = _LEFT_ARROW if pointing_left else [(KEY_SIZE - x, y) for x, y in _LEFT_ARROW]
    arrow = polygon(points)
    paint(arrow.grow(1.0), BLUE_DARK)
    paint(arrow, vertical_gradient(mix(BLUE, WHITE, 0.25), BLUE, 7.5, 28.5))


def pictogram_mouse(paint):
    body = rect(10.5, 10, 25.5, 31, 7.5)
    paint(polyline([(18, 10), (18, 7.5), (20.5, 5.6), (25, 5.4)], 1.5), INK)
    paint(body.grow(0.8), INK)
    paint(body, vertical_gradient(WHITE, (226, 230, 236), 10, 31))
    paint(body & rect(10, 9, 18, 17.5), (178, 206, 242))
    paint(segment(18, 10, 18, 17.5, 1.2), INK)
    paint(segment(11, 17.5, 25, 17.5, 1.2), INK)
    paint(rect(16.9, 11.6, 19.1, 15.6, 1.1), INK)


def pictogram_pen(colour):
    def draw(paint):
        paint(wave(9.5, 23, 30.2, 1.5, 1.0, 1.9), colour)
        draw_pen(paint, colour, (8.5, 26.5), 14.5, 3.5)
    return draw


def pictogram_eraser(paint):
    for x, y in ((9, 30.5), (13.5, 31.2), (18, 30.5)):
        paint(circle(x, y, 1.0), GREY)
    block = rect(-10, -5.5, 10, 5.5, 2).placed(-45, 18.5, 16.5)
    sleeve = rect(-1.5, -6, 11, 6).placed(-45, 18.5, 16.5)
    paint(block.grow(1.0), INK)
    paint(block, (241, 138, 160))
    paint(block & sleeve, BLUE)
    paint(rect(-8.5, -4, -2.5, -2.6, 0.6).placed(-45, 18.5, 16.5), WHITE, 0.5)


def _key_cap(paint):
    paint(rect(7.5, 8, 28.5, 30.5, 4.5), (156, 164, 178))
    paint(rect(8.5, 7, 27.5, 27.5, 4), vertical_gradient(WHITE, (232, 236, 242), 7, 27.5))


DIGIT_COLOUR = (36, 70, 140)


def pictogram_user(digit):
    def draw(paint):
        _key_cap(paint)
        w = 2.7
        if digit == 1:
            paint(polyline([(15.2, 13.8), (18.8, 11.4), (18.8, 23.4)], w), DIGIT_COLOUR)
        else:
            end = (18 + 3.8 * math.cos(math.radians(35)), 15 + 3.8 * math.sin(math.radians(35)))
            paint(arc(18, 15, 3.8, 185, 395, w), DIGIT_COLOUR)
            paint(segment(*end, 14.4, 23.4, w), DIGIT_COLOUR)
        paint(segment(14.6, 23.4, 22, 23.4, w), DIGIT_COLOUR)
    return draw


def pictogram_orient(paint):
    c = KEY_SIZE / 2
    paint(circle(c, c, 10.5), WHITE, 0.9)
    for x0, y0, x1, y1 in ((c, 5.5, c, 12.5), (c, 23.5, c, 30.5), (5.5, c, 12.5, c), (23.5, c, 30.5, c)):
        paint(segment(x0, y0, x1, y1, 2.0), RED_DARK)
    paint(ring(c, c, 7.6, 2.6), RED)
    paint(circle(c, c, 2.4), RED)


def pictogram_start(paint):
    c = KEY_SIZE / 2
    paint(circle(c, c, 11.2), GREEN_DARK)
    paint(circle(c, c, 10.2), vertical_gradient(mix(GREEN, WHITE, 0.25), GREEN, 8, 28))
    paint(polygon([(15.2, 12.6), (15.2, 23.4), (24.2, 18)]).grow(0.6), WHITE)


# Picture stem (as installed, before the state digit) -> pictogram painter; the
# stems drawn are the edge-key table's (Share/protocol/edge_keys.h).
EDGE_KEY_PICTOGRAMS = {
    "NewPage": pictogram_new_page,
    "Save": pictogram_save,
    "PrePage": lambda paint: pictogram_arrow(paint, True),
    "NextPage": lambda paint: pictogram_arrow(paint, False),
    "Mouse": pictogram_mouse,
    "BlackPen": pictogram_pen(PEN_BLACK),
    "RedPen": pictogram_pen(RED),
    "BluePen": pictogram_pen(BLUE),
    "GreenPen": pictogram_pen(GREEN),
    "Eraser": pictogram_eraser,
    "UserDefine1": pictogram_user(1),
    "UserDefine2": pictogram_user(2),
    "Orient": pictogram_orient,
    "Start": pictogram_start,
}


def _muted(colour):
    """Idle pictograms: the same hues, quieter."""
    grey = 0.3 * colour[0] + 0.59 * colour[1] + 0.11 * colour[2]
    return mix(mix(colour, (grey,) * 3, 0.45), TILE_FILL_IDLE, 0.2)


def edge_key(pictogram, state):
    canvas = Canvas(KEY_SIZE, KEY_SIZE, WINDOW_BG)
    tile = rect(0.5, 0.5, KEY_SIZE - 0.5, KEY_SIZE - 0.5, 6)
    if state == IDLE:
        canvas.paint(tile, (160, 162, 166))
        canvas.paint(tile.grow(-1.4), TILE_FILL_IDLE)
    elif state == ACTIVE:
        canvas.paint(tile, vertical_gradient((255, 176, 40), ORANGE, 0, KEY_SIZE))
        canvas.paint(tile.grow(-3), vertical_gradient((255, 249, 222), (255, 228, 150), 3, 33))
    else:
        canvas.paint(tile, GREEN)
        canvas.paint(tile.grow(-3), (229, 245, 233))

    if state == IDLE:
        def paint(shape, colour, opacity=1.0):
            toned = (lambda x, y: _muted(colour(x, y))) if callable(colour) else _muted(colour)
            canvas.paint(shape, toned, opacity)
    else:
        paint = canvas.paint
    pictogram(paint)

    if state == DONE:
        canvas.paint(circle(28, 28, 7.2), WHITE)
        canvas.paint(circle(28, 28, 6.0), GREEN)
        canvas.paint(polyline([(25, 28.2), (27.2, 30.4), (31, 25.8)], 1.8), WHITE)
    return canvas


# ---------------------------------------------------------------------------
# What gets written.

EDGE_KEY_DIR = "edgetab_res"


def installation_images():
    """Relative path -> function returning the file's bytes."""
    images = {
        "Red.bmp": lambda: bmp_bytes(TARGET_SIZE, TARGET_SIZE, red_target().rgb_over(WINDOW_BG)),
        "Grey.xpm": lambda: xpm_text("Grey", TARGET_SIZE, TARGET_SIZE,
                                     grey_target().rgba(), WINDOW_BG).encode(),
        "Logo.bmp": lambda: bmp_bytes(LOGO_W, LOGO_H, logo().rgb_over(WHITE)),
    }
    for name, (columns, rows) in LAYOUTS.items():
        images[name + ".bmp"] = (lambda c=columns, r=rows:
                                 bmp_bytes(PREVIEW_W, PREVIEW_H, layout_preview(c, r).rgb_over(WINDOW_BG)))
    stems = [key.stem for key in protocol_tables.edge_keys()]
    if sorted(stems) != sorted(EDGE_KEY_PICTOGRAMS):
        raise ValueError("edge-key stems without a painter: %s; painters without a stem: %s"
                         % (sorted(set(stems) - set(EDGE_KEY_PICTOGRAMS)),
                            sorted(set(EDGE_KEY_PICTOGRAMS) - set(stems))))
    for name in stems:
        pictogram = EDGE_KEY_PICTOGRAMS[name]
        for state in (IDLE, ACTIVE, DONE):
            images["%s/%s%d.bmp" % (EDGE_KEY_DIR, name, state)] = (
                lambda p=pictogram, s=state: bmp_bytes(KEY_SIZE, KEY_SIZE, edge_key(p, s).rgb_over(WINDOW_BG)))
    return images


def header_text():
    return "".join([
        "// Generated by tools/imagegen.py at build time; do not edit.\n"
        "// Raw gdk-pixbuf data: 8-bit RGBA, not premultiplied, rows top-down,\n"
        "// rowstride 4 * width (gdk_pixbuf_new_from_data with has_alpha TRUE).\n"
        "#pragma once\n\n#include <glib.h>\n\nnamespace tool_images {\n\n",
        "// The window icon of every dialog.\n"
        "static const int iconPixWidth = %d;\nstatic const int iconPixHeight = %d;\n"
        % (ICON_SIZE, ICON_SIZE),
        c_array("iconPix", window_icon().rgba()),
        "\n// The targets of the calibration window: to touch next, and captured.\n"
        "static const int targetPixWidth = %d;\nstatic const int targetPixHeight = %d;\n"
        % (TARGET_SIZE, TARGET_SIZE),
        c_array("redPix", red_target().rgba()),
        c_array("greenPix", green_target().rgba()),
        "\n}  // namespace tool_images\n",
    ])


def _write(path, data):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def main(argv):
    if len(argv) == 2 and argv[1] == "list":
        print("\n".join(installation_images()))
    elif len(argv) == 3 and argv[1] == "images":
        for relative, draw in installation_images().items():
            _write(os.path.join(argv[2], relative), draw())
    elif len(argv) == 3 and argv[1] == "header":
        _write(argv[2], header_text().encode())
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
