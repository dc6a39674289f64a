#!/usr/bin/env python3
"""Draws the program's pictures: tool icons, window icons, the start screen
and the about picture. Standard library only, so they can be regenerated
anywhere:  python3 resources/make_pictures.py  (writes next to this script).

Shapes are rasterised with 4x4 supersampling so that small glyphs get soft
edges; everything is deterministic (seeded randomness for the star fields).
"""

import math
import os
import random
import struct
import zlib

SUPERSAMPLE = 4


# --------------------------------------------------------------------------
# PNG output


def write_png(path, width, height, pixels, alpha=True):
    """pixels: rows of (r, g, b, a) floats in 0..1, not premultiplied."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for r, g, b, a in row:
            raw += bytes((to_byte(r), to_byte(g), to_byte(b)))
            if alpha:
                raw.append(to_byte(a))
    colour_type = 6 if alpha else 2

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


def to_byte(v):
    return max(0, min(255, int(math.floor(v * 255.0 + 0.5))))


# --------------------------------------------------------------------------
# Canvas: straight-alpha RGBA floats, "over" compositing with coverage.


class Canvas:
    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.px = [[tuple(background) for _ in range(width)] for _ in range(height)]

    def blend(self, x, y, colour, coverage):
        if coverage <= 0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        sr, sg, sb, sa = colour
        sa *= coverage
        dr, dg, db, da = self.px[y][x]
        oa = sa + da * (1 - sa)
        if oa <= 0:
            self.px[y][x] = (0, 0, 0, 0)
            return
        mix = lambda s, d: (s * sa + d * da * (1 - sa)) / oa
        self.px[y][x] = (mix(sr, dr), mix(sg, dg), mix(sb, db), oa)

    def fill(self, inside, bbox, colour):
        """Fills the shape `inside(x, y)` (pixel coordinates, floats) within bbox."""
        x0, y0, x1, y1 = bbox
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.width, int(math.ceil(x1)) + 1), min(self.height, int(math.ceil(y1)) + 1)
        step = 1.0 / SUPERSAMPLE
        offsets = [(i + 0.5) * step for i in range(SUPERSAMPLE)]
        total = SUPERSAMPLE * SUPERSAMPLE
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if inside(x + ox, y + oy):
                            hits += 1
                if hits:
                    self.blend(x, y, colour, hits / total)

    # -- primitives --------------------------------------------------------

    def rect(self, x0, y0, x1, y1, colour):
        self.fill(lambda x, y: x0 <= x < x1 and y0 <= y < y1, (x0, y0, x1, y1), colour)

    def rounded_rect(self, x0, y0, x1, y1, radius, colour):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

        self.fill(inside, (x0, y0, x1, y1), colour)

    def circle(self, cx, cy, r, colour):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
                  (cx - r, cy - r, cx + r, cy + r), colour)

    def ring(self, cx, cy, r, width, colour):
        inner, outer = r - width / 2, r + width / 2

        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            return inner <= d <= outer

        self.fill(inside, (cx - outer, cy - outer, cx + outer, cy + outer), colour)

    def ellipse(self, cx, cy, rx, ry, angle, colour):
        c, s = math.cos(angle), math.sin(angle)

        def inside(x, y):
            dx, dy = x - cx, y - cy
            u, v = dx * c + dy * s, -dx * s + dy * c
            return (u / rx) ** 2 + (v / ry) ** 2 <= 1

        r = max(rx, ry)
        self.fill(inside, (cx - r, cy - r, cx + r, cy + r), colour)

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            odd = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    odd = not odd
                j = i
            return odd

        self.fill(inside, (min(xs), min(ys), max(xs), max(ys)), colour)

    def line(self, x0, y0, x1, y1, width, colour, round_caps=True):
        half = width / 2
        dx, dy = x1 - x0, y1 - y0
        length_sq = dx * dx + dy * dy or 1e-9

        def inside(x, y):
            t = ((x - x0) * dx + (y - y0) * dy) / length_sq
            if not round_caps and (t < 0 or t > 1):
                return False
            t = min(1, max(0, t))
            px, py = x0 + t * dx, y0 + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= half * half

        self.fill(inside, (min(x0, x1) - half, min(y0, y1) - half,
                           max(x0, x1) + half, max(y0, y1) + half), colour)

    def polyline(self, points, width, colour):
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            self.line(ax, ay, bx, by, width, colour)

    def glow(self, cx, cy, radius, colour, strength=1.0):
        """A soft star: gaussian fall-off, cheap enough for large fields."""
        reach = int(math.ceil(radius * 3))
        for y in range(int(cy) - reach, int(cy) + reach + 1):
            for x in range(int(cx) - reach, int(cx) + reach + 1):
                d2 = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2
                a = strength * math.exp(-d2 / (2 * radius * radius))
                if a > 0.004:
                    self.blend(x, y, colour, min(1.0, a))

    def save(self, path, alpha=True):
        write_png(path, self.width, self.height, self.px, alpha)


def rgb(r, g, b, a=255):
    return (r / 255.0, g / 255.0, b / 255.0, a / 255.0)


# Palette shared by the tool icons, so the toolbar reads as one set.
OUTLINE = rgb(46, 52, 64)
STEEL = rgb(96, 110, 128)
GOLD = rgb(236, 178, 46)
GOLD_DARK = rgb(168, 116, 20)
FOLDER = rgb(240, 196, 84)
FOLDER_BACK = rgb(200, 150, 50)
RED = rgb(214, 48, 49)
GREEN = rgb(46, 160, 67)
GREEN_DARK = rgb(24, 110, 42)
BLUE = rgb(52, 120, 210)
WHITE = rgb(255, 255, 255)
NIGHT = rgb(16, 24, 48)


# --------------------------------------------------------------------------
# Tool icons, 22x22 unless stated


def icon_open():
    c = Canvas(22, 22)
    # Back of the folder with its tab.
    c.polygon([(2, 5), (8, 5), (10, 7), (19, 7), (19, 18), (2, 18)], FOLDER_BACK)
    # A sheet peeking out.
    c.rect(5, 8, 17, 14, WHITE)
    # The open front flap, slanted.
    c.polygon([(1, 10), (17, 10), (21, 10), (18, 19), (2, 19)], OUTLINE)
    c.polygon([(2, 11), (20, 11), (17.4, 18), (2.6, 18)], FOLDER)
    return c


def icon_setcrop():
    c = Canvas(22, 22)
    # Two interlocking L shapes: the classic crop-marks glyph.
    c.rect(5, 1, 8, 17, OUTLINE)
    c.rect(5, 14, 21, 17, OUTLINE)
    c.rect(1, 5, 17, 8, STEEL)
    c.rect(14, 5, 17, 21, STEEL)
    return c


def icon_crop():
    c = Canvas(22, 22)
    # Scissors: two blades crossing at the pivot, finger rings below.
    c.line(5, 2, 14, 14, 2.6, STEEL)
    c.line(17, 2, 8, 14, 2.6, STEEL)
    c.ring(6.5, 17, 3.2, 1.8, RED)
    c.ring(15.5, 17, 3.2, 1.8, RED)
    c.circle(11, 8.6, 1.2, OUTLINE)
    return c


def icon_clear():
    c = Canvas(22, 22)
    # A broom: handle down to a fan of bristles.
    c.line(18, 2, 10, 12, 2.2, rgb(140, 90, 40))
    c.polygon([(8, 10), (13, 14), (9, 21), (2, 21), (2, 17)], GOLD)
    for x0, x1 in ((4, 3), (6, 5.5), (8, 8)):
        c.line(x0 + 2, 15, x1, 20.5, 0.8, GOLD_DARK)
    c.line(8, 10, 13, 14, 2, rgb(180, 40, 40))
    return c


def icon_delete():
    c = Canvas(22, 22)
    # Waste bin with its lid and a red cross over it.
    c.rect(8, 2, 14, 4, OUTLINE)
    c.rect(3, 4, 19, 6, OUTLINE)
    c.polygon([(5, 7), (17, 7), (16, 20), (6, 20)], STEEL)
    for x in (8.5, 11, 13.5):
        c.line(x, 9, x, 18, 1, rgb(200, 210, 220))
    c.line(12, 11, 20, 19, 2.6, RED)
    c.line(20, 11, 12, 19, 2.6, RED)
    return c


def icon_reference():
    c = Canvas(22, 22)
    # A target: rings with a cross hair and a bright centre.
    c.ring(11, 11, 8.5, 1.8, OUTLINE)
    c.ring(11, 11, 4.8, 1.8, RED)
    c.line(11, 0.5, 11, 6, 1.4, OUTLINE, round_caps=False)
    c.line(11, 16, 11, 21.5, 1.4, OUTLINE, round_caps=False)
    c.line(0.5, 11, 6, 11, 1.4, OUTLINE, round_caps=False)
    c.line(16, 11, 21.5, 11, 1.4, OUTLINE, round_caps=False)
    c.circle(11, 11, 1.8, RED)
    return c


def icon_go():
    c = Canvas(22, 22)
    # A green arrow pointing right, with a darker rim.
    outline = [(1, 7), (11, 7), (11, 1.5), (21, 11), (11, 20.5), (11, 15), (1, 15)]
    c.polygon(outline, GREEN_DARK)
    c.polygon([(2.3, 8.3), (12.3, 8.3), (12.3, 4.6), (19.1, 11), (12.3, 17.4),
               (12.3, 13.7), (2.3, 13.7)], GREEN)
    c.polygon([(2.3, 8.3), (12.3, 8.3), (12.3, 4.6), (15.5, 7.6), (12.3, 10), (2.3, 10)],
              rgb(120, 210, 130, 150))
    return c


def icon_validate():
    # Opaque RGB: the background matches a light toolbar.
    c = Canvas(24, 21, background=rgb(246, 245, 244))
    c.polyline([(4, 11), (9.5, 16.5), (20, 4)], 3.6, GREEN_DARK)
    c.polyline([(4, 11), (9.5, 16.5), (20, 4)], 2.2, GREEN)
    return c


def icon_safe_area():
    c = Canvas(24, 25)
    # The outer frame of the crop and, inside, the dashed safe-area margin.
    c.rect(1, 2, 23, 4, OUTLINE)
    c.rect(1, 21, 23, 23, OUTLINE)
    c.rect(1, 2, 3, 23, OUTLINE)
    c.rect(21, 2, 23, 23, OUTLINE)
    for x in range(6, 18, 3):
        c.rect(x, 6, x + 2, 7, BLUE)
        c.rect(x, 18, x + 2, 19, BLUE)
    for y in range(6, 19, 3):
        c.rect(6, y, 7, y + 2, BLUE)
        c.rect(17, y, 18, y + 2, BLUE)
    c.circle(12, 12.5, 1.6, GOLD)
    return c


# --------------------------------------------------------------------------
# Window icon: a night-sky tile with a bright star framed by crop corners.


def main_icon(size):
    c = Canvas(size, size)
    s = size / 64.0  # designed on a 64-pixel grid
    c.rounded_rect(1 * s, 1 * s, 63 * s, 63 * s, 12 * s, NIGHT)
    rng = random.Random(7)
    if size >= 32:
        for _ in range(int(10 * s * s) + 4):
            x, y = rng.uniform(6, 58) * s, rng.uniform(6, 58) * s
            c.circle(x, y, max(0.5, 0.7 * s), rgb(200, 210, 255, 200))
    # Crop corners.
    arm, thick = 14 * s, max(1.5, 4 * s)
    for (x, y, dx, dy) in ((12, 12, 1, 1), (52, 12, -1, 1), (12, 52, 1, -1), (52, 52, -1, -1)):
        x, y = x * s, y * s
        c.line(x, y, x + dx * arm, y, thick, GOLD)
        c.line(x, y, x, y + dy * arm, thick, GOLD)
    # The star: a glow and four rays.
    c.circle(32 * s, 32 * s, 6 * s, rgb(255, 250, 220))
    ray = 13 * s
    c.line(32 * s - ray, 32 * s, 32 * s + ray, 32 * s, max(1, 1.6 * s), rgb(255, 250, 220))
    c.line(32 * s, 32 * s - ray, 32 * s, 32 * s + ray, max(1, 1.6 * s), rgb(255, 250, 220))
    return c


# --------------------------------------------------------------------------
# Block letters: a 5x7 grid per glyph, drawn as squares.

GLYPHS = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
}


def block_text(canvas, text, left, top, cell, colour, gap=1):
    """Draws text in block letters; cell is the size of one square."""
    x = left
    for ch in text:
        for row, pattern in enumerate(GLYPHS[ch]):
            for col, mark in enumerate(pattern):
                if mark == "#":
                    x0, y0 = x + col * cell, top + row * cell
                    canvas.rect(x0 + 1, y0 + 1, x0 + cell - 1, y0 + cell - 1, colour)
        x += (5 + gap) * cell
    return x


def block_text_width(text, cell, gap=1):
    return len(text) * (5 + gap) * cell - gap * cell


def star_field(canvas, rng, count, bright):
    w, h = canvas.width, canvas.height
    for _ in range(count):
        x, y = rng.uniform(0, w), rng.uniform(0, h)
        tint = rng.choice((rgb(255, 255, 255), rgb(200, 215, 255), rgb(255, 230, 200)))
        canvas.glow(x, y, rng.uniform(0.35, 0.6), tint, rng.uniform(0.35, 1.0))
    for _ in range(bright):
        x, y = rng.uniform(0, w), rng.uniform(0, h)
        canvas.glow(x, y, rng.uniform(1.0, 1.8), rgb(235, 240, 255), 1.0)


def night_gradient(canvas, top, bottom):
    for y in range(canvas.height):
        t = y / max(1, canvas.height - 1)
        colour = tuple(a + (b - a) * t for a, b in zip(top, bottom))
        row = canvas.px[y]
        for x in range(canvas.width):
            row[x] = colour


def front_screen():
    c = Canvas(800, 600)
    night_gradient(c, rgb(8, 12, 30), rgb(2, 3, 8))
    rng = random.Random(2024)
    # A faint band of dust across the field.
    for _ in range(260):
        t = rng.random()
        x = t * 800
        y = 470 - t * 330 + rng.gauss(0, 38)
        c.glow(x, y, rng.uniform(6, 14), rgb(70, 80, 140), 0.05)
    star_field(c, rng, 900, 40)

    # The product name in block letters, centred, with a crop frame around it.
    cell = 14
    width = block_text_width("TELLVAR", cell)
    left = (800 - width) // 2
    top = 230
    block_text(c, "TELLVAR", left + 3, top + 3, cell, rgb(0, 0, 0, 160))
    block_text(c, "TELLVAR", left, top, cell, rgb(236, 240, 255))

    frame = (left - 40, top - 40, left + width + 40, top + 7 * cell + 40)
    arm = 36
    for (x, y, dx, dy) in ((frame[0], frame[1], 1, 1), (frame[2], frame[1], -1, 1),
                           (frame[0], frame[3], 1, -1), (frame[2], frame[3], -1, -1)):
        c.rect(min(x, x + dx * arm), y - 2, max(x, x + dx * arm), y + 2, GOLD)
        c.rect(x - 2, min(y, y + dy * arm), x + 2, max(y, y + dy * arm), GOLD)
    # A thin underline in the frame's colour.
    c.rect(left, top + 7 * cell + 16, left + width, top + 7 * cell + 18, GOLD_DARK)
    return c


def about_picture():
    c = Canvas(200, 140)
    c.rounded_rect(0, 0, 200, 140, 10, rgb(8, 12, 30))
    rng = random.Random(99)
    inner = Canvas(200, 140)
    star_field(inner, rng, 120, 6)
    # Copy the stars in, clipped to the rounded tile.
    for y in range(140):
        for x in range(200):
            r, g, b, a = inner.px[y][x]
            if a > 0 and c.px[y][x][3] > 0.99:
                c.blend(x, y, (r, g, b, 1.0), a)
    # A small spiral galaxy: tilted glowing ellipses.
    c.ellipse(100, 70, 34, 11, -0.45, rgb(90, 110, 190, 90))
    c.ellipse(100, 70, 22, 7, -0.45, rgb(170, 180, 240, 140))
    c.glow(100, 70, 5, rgb(255, 245, 220), 1.0)
    # The crop frame that found it.
    for (x, y, dx, dy) in ((56, 36, 1, 1), (144, 36, -1, 1), (56, 104, 1, -1), (144, 104, -1, -1)):
        c.line(x, y, x + dx * 18, y, 3, GOLD)
        c.line(x, y, x, y + dy * 18, 3, GOLD)
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = lambda name: os.path.join(here, name)
    icon_open().save(out("icon_open.png"))
    icon_setcrop().save(out("icon_setcrop.png"))
    icon_crop().save(out("icon_crop.png"))
    icon_clear().save(out("icon_clear.png"))
    icon_delete().save(out("icon_delete.png"))
    icon_reference().save(out("icon_reference.png"))
    icon_go().save(out("icon_GO.png"))
    icon_validate().save(out("icon_Validate.png"), alpha=False)
    icon_safe_area().save(out("icon_SafeAreaOn.png"))
    for size in (16, 32, 48, 64, 128):
        main_icon(size).save(out("aaaa_main_icon_%d.png" % size))
    front_screen().save(out("FrontScreen.png"))
    about_picture().save(out("img_about.png"))


if __name__ == "__main__":
    main()
