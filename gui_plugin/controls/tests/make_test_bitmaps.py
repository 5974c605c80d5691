#!/usr/bin/env python3
"""Writes the bitmaps of the picture tests into the folder given: the same 16 x 8 picture at each
depth (navy and amber quarters, so that the row order shows), and one whose rows are cut short."""
import struct
import sys

NAVY = (0, 0, 128)
AMBER = (248, 200, 0)  # exact in 5-5-5 as well
WIDTH, HEIGHT = 16, 8


def colour_index(x, y):
    """0 (navy) or 1 (amber) at (x, y), y counted from the top."""
    return 0 if (x < WIDTH // 2) != (y >= HEIGHT // 2) else 1


def stride(bits):
    return (WIDTH * bits + 31) // 32 * 4


def row_bytes(bits, y):
    out = bytearray(stride(bits))
    for x in range(WIDTH):
        i = colour_index(x, y)
        r, g, b = (NAVY, AMBER)[i]
        if bits == 1:
            out[x // 8] |= i << (7 - x % 8)
        elif bits == 4:
            out[x // 2] |= i << (4 if x % 2 == 0 else 0)
        elif bits == 8:
            out[x] = i
        elif bits == 16:
            struct.pack_into("<H", out, 2 * x, ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        elif bits == 24:
            out[3 * x:3 * x + 3] = bytes((b, g, r))
        else:
            out[4 * x:4 * x + 4] = bytes((b, g, r, 0))
    return bytes(out)


def bmp(bits, cut=0):
    entries = 1 << bits if bits <= 8 else 0
    table = b""
    for i in range(entries):
        r, g, b = (NAVY, AMBER)[i] if i < 2 else (i, i, i)
        table += bytes((b, g, r, 0))
    rows = b"".join(row_bytes(bits, y) for y in reversed(range(HEIGHT)))  # bottom-up
    rows = rows[:len(rows) - cut]
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, bits, 0, 0, 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return head + info + table + rows


def main():
    folder = sys.argv[1]
    for bits in (1, 4, 8, 16, 24, 32):
        with open(f"{folder}/depth{bits}.bmp", "wb") as f:
            f.write(bmp(bits))
    with open(f"{folder}/short_rows.bmp", "wb") as f:
        f.write(bmp(24, cut=10))


if __name__ == "__main__":
    main()
