#!/usr/bin/env python3
"""Draws the product's pictures for rcimage.dll into the folder given: the wizard's header band
(header.bmp), the picture behind the exterior pages (side.bmp) and the product icon at 16, 32, 48
and 128 pixels (product.ico). The mark is a download arrow dropping into a tray, on the product's
blue; edges are smoothed by sampling each pixel four times."""
import math
import struct
import sys

BLUE_DARK = (12, 52, 112)
BLUE = (28, 104, 184)
TEAL = (30, 160, 180)
AMBER = (250, 176, 40)
WHITE = (255, 255, 255)
PALE = (236, 243, 250)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def rounded_square(x, y, size, radius):
    """Whether (x, y) lies inside a square of that size with rounded corners."""
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and 0 <= x <= size and 0 <= y <= size


def mark(u, v):
    """The mark over the unit square: None outside it, else its colour at (u, v)."""
    if not rounded_square(u, v, 1.0, 0.22):
        return None
    colour = mix(BLUE, BLUE_DARK, (u + v) / 2)
    # Arrow: a shaft and a head pointing down, in white.
    if 0.42 <= u <= 0.58 and 0.16 <= v <= 0.50:
        return WHITE
    if 0.50 <= v <= 0.68 and abs(u - 0.5) <= (0.68 - v) * 1.25:
        return WHITE
    # Tray: an amber U under the arrow.
    in_tray = 0.22 <= u <= 0.78 and 0.70 <= v <= 0.82
    side = (0.22 <= u <= 0.31 or 0.69 <= u <= 0.78) and 0.58 <= v <= 0.82
    if in_tray or side:
        return AMBER
    return colour


def sample(draw, x, y, size, grid=2):
    """Colour and coverage of pixel (x, y): the mean of grid * grid samples of draw over the unit
    square scaled to size; samples where draw gives None are transparent."""
    total = [0.0, 0.0, 0.0]
    covered = 0
    for j in range(grid):
        for i in range(grid):
            c = draw((x + (i + 0.5) / grid) / size, (y + (j + 0.5) / grid) / size)
            if c is not None:
                covered += 1
                for k in range(3):
                    total[k] += c[k]
    if covered == 0:
        return None, 0.0
    return tuple(t / covered for t in total), covered / float(grid * grid)


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


def header_pixel(width, height):
    mark_size = height - 16
    mark_x = width - mark_size - 14

    def pixel(x, y):
        base = mix(WHITE, PALE, x / width)
        # A soft wave across the band's lower part.
        wave = height * 0.78 + math.sin(x / width * math.pi * 1.6) * height * 0.12
        if y > wave:
            base = mix(base, mix(TEAL, BLUE, x / width), min(1.0, (y - wave) / 6.0) * 0.35)
        if mark_x <= x < mark_x + mark_size and 8 <= y < 8 + mark_size:
            c, alpha = sample(lambda u, v: mark(u, v), x - mark_x, y - 8, mark_size)
            if c is not None:
                base = mix(base, c, alpha)
        return base

    return pixel


def side_pixel(width, height):
    band = width * 0.36
    mark_size = int(band * 0.62)
    mark_x = int((band - mark_size) / 2)
    mark_y = int(height * 0.12)

    def pixel(x, y):
        if x < band:
            base = mix(BLUE, BLUE_DARK, y / height)
            # Two light arcs rising from the bottom.
            for k, radius in enumerate((height * 0.55, height * 0.75)):
                d = math.hypot(x - band * 1.1, y - height * 1.05)
                if abs(d - radius) < 5 + 2 * k:
                    base = mix(base, TEAL, 0.55 - 0.15 * k)
            if mark_x <= x < mark_x + mark_size and mark_y <= y < mark_y + mark_size:
                c, alpha = sample(lambda u, v: mark(u, v), x - mark_x, y - mark_y, mark_size)
                if c is not None:
                    base = mix(base, c, alpha)
            return base
        # The pages' texts stand on the light part; it fades in from the band's edge.
        return mix(mix(TEAL, PALE, 0.85), WHITE, (x - band) / 24.0)

    return pixel


def icon_image(size, draw=mark, grid=2):
    """One image of an icon file: BITMAPINFOHEADER (double height), 32-bit BGRA rows bottom-up,
    then the AND mask (1 = transparent) rows bottom-up, each padded to 32 bits."""
    pixels = bytearray()
    mask_stride = (size + 31) // 32 * 4
    mask = bytearray(mask_stride * size)
    for row, y in enumerate(reversed(range(size))):
        for x in range(size):
            c, alpha = sample(draw, x, y, size, grid)
            if c is None:
                pixels += bytes(4)
                mask[row * mask_stride + x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b = (int(round(v)) for v in c)
                pixels += bytes((b, g, r, int(round(alpha * 255))))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0,
                       0, 0)
    return info + bytes(pixels) + bytes(mask)


def ico(sizes, draw_for=lambda size: mark, grid_for=lambda size: 2):
    """An icon file of one image per size; draw_for(size) gives the drawing for that size and
    grid_for(size) how many samples a side each pixel takes."""
    images = [icon_image(s, draw_for(s), grid_for(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        dim = 0 if s >= 256 else s
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    folder = sys.argv[1]
    with open(f"{folder}/header.bmp", "wb") as f:
        f.write(bmp(497, 58, header_pixel(497, 58)))
    with open(f"{folder}/side.bmp", "wb") as f:
        f.write(bmp(497, 313, side_pixel(497, 313)))
    with open(f"{folder}/product.ico", "wb") as f:
        f.write(ico([16, 32, 48, 128]))


if __name__ == "__main__":
    main()
