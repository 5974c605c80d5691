#!/usr/bin/env python3
"""Draws the flag picture (bitmap 107) of each interface-language library into the folder given:
flag_<code>.bmp, 24-bit, 36 by 20 pixels, the height of a row of the language page's list.

The flag itself (30 by 16) sits inside a grey hairline on a pure white margin. The language page
turns every pure white pixel of a selected row into the selection colour, so the margin follows
the selection while the flag's own white, drawn as (254, 254, 254), stays white. Edges of the
shapes are smoothed by sampling each pixel four times."""
import math
import struct
import sys

WIDTH, HEIGHT = 36, 20
FLAG_X, FLAG_Y, FLAG_W, FLAG_H = 3, 2, 30, 16
MARGIN = (255, 255, 255)
HAIRLINE = (128, 128, 128)
FLAG_WHITE = (254, 254, 254)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def horizontal(*colours):
    def draw(u, v):
        return colours[min(int(v * len(colours)), len(colours) - 1)]
    return draw


def vertical(*colours):
    def draw(u, v):
        return colours[min(int(u * len(colours)), len(colours) - 1)]
    return draw


# 5 by 7 capitals for the letter badge.
GLYPHS = {
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
}


def letters(text, field, ink):
    """A plain field with the text in 5x7 capitals, each dot two by two pixels, centred."""
    dot = 2
    width = (len(text) * 6 - 1) * dot
    left = (FLAG_W - width) // 2
    top = (FLAG_H - 7 * dot) // 2

    def draw(u, v):
        x = int(u * FLAG_W) - left
        y = int(v * FLAG_H) - top
        if 0 <= x < width and 0 <= y < 7 * dot:
            column, row = x // dot, y // dot
            glyph, col = divmod(column, 6)
            if col < 5 and GLYPHS[text[glyph]][row][col] == "#":
                return ink
        return field
    return draw


def inside_triangle(px, py, points):
    (x1, y1), (x2, y2), (x3, y3) = points
    d1 = (px - x2) * (y1 - y2) - (x1 - x2) * (py - y2)
    d2 = (px - x3) * (y2 - y3) - (x2 - x3) * (py - y3)
    d3 = (px - x1) * (y3 - y1) - (x3 - x1) * (py - y1)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


def star_of_david(u, v, cx, cy, radius, line):
    """Whether (u, v), in flag pixels, lies on the outline of the two interlaced triangles."""
    for turn in (0.0, math.pi):
        outer = [(cx + radius * math.sin(turn + k * 2 * math.pi / 3),
                  cy - radius * math.cos(turn + k * 2 * math.pi / 3)) for k in range(3)]
        inner_r = radius - line * 2
        inner = [(cx + inner_r * math.sin(turn + k * 2 * math.pi / 3),
                  cy - inner_r * math.cos(turn + k * 2 * math.pi / 3)) for k in range(3)]
        if inside_triangle(u, v, outer) and not inside_triangle(u, v, inner):
            return True
    return False


def israel(u, v):
    blue = (0, 56, 184)
    x, y = u * FLAG_W, v * FLAG_H
    if 1.5 <= y < 4.0 or 12.0 <= y < 14.5:
        return blue
    if star_of_david(x, y, FLAG_W / 2, FLAG_H / 2, 4.6, 0.55):
        return blue
    return FLAG_WHITE


FLAGS = {
    # English is spoken in many countries: no country's flag, but a neutral badge with the
    # language's letters on a slate blue field.
    "en": letters("EN", (52, 84, 132), FLAG_WHITE),
    # German: the flag of Germany, the language's largest country.
    "de": horizontal((0, 0, 0), (221, 0, 0), (255, 206, 0)),
    # French: the flag of France; it is not symmetric, so a mirrored drawing shows at once.
    "fr": vertical((0, 35, 149), FLAG_WHITE, (237, 41, 57)),
    # Russian: the flag of Russia.
    "ru": horizontal(FLAG_WHITE, (0, 57, 166), (213, 43, 30)),
    # Hebrew: the flag of Israel, the one country where it is the main language.
    "he": israel,
}


def sample(draw, x, y):
    total = [0.0, 0.0, 0.0]
    for dx, dy in ((0.25, 0.25), (0.75, 0.25), (0.25, 0.75), (0.75, 0.75)):
        c = draw((x + dx) / FLAG_W, (y + dy) / FLAG_H)
        for i in range(3):
            total[i] += c[i] / 4.0
    return tuple(total)


def flag_pixel(draw):
    def pixel(x, y):
        fx, fy = x - FLAG_X, y - FLAG_Y
        if 0 <= fx < FLAG_W and 0 <= fy < FLAG_H:
            return sample(draw, fx, fy)
        if FLAG_X - 1 <= x <= FLAG_X + FLAG_W and FLAG_Y - 1 <= y <= FLAG_Y + FLAG_H:
            return HAIRLINE
        return MARGIN
    return pixel


def bmp(width, height, pixel):
    """A 24-bit bottom-up BMP file of pixel(x, y) (y from the top)."""
    stride = (width * 3 + 3) // 4 * 4
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = (int(round(c)) for c in pixel(x, y))
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows += row
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    return head + info + bytes(rows)


def main():
    folder = sys.argv[1]
    codes = sys.argv[2:] or sorted(FLAGS)
    for code in codes:
        with open(f"{folder}/flag_{code}.bmp", "wb") as f:
            f.write(bmp(WIDTH, HEIGHT, flag_pixel(FLAGS[code])))


if __name__ == "__main__":
    main()
