#!/usr/bin/env python3
"""Draws the two shortcut icons that lie beside the install helper into the folder given: the
product's (brisco.ico: the product mark of rcimage/make_pictures.py, a download arrow dropping
into a tray on the product's blue) and the uninstall shortcut's (brisco_uninstall.ico: the same
mark with a red removal badge, a white cross in a red disc, over its lower right corner). Each file
holds 16, 24, 32, 48, 64 and 128 pixel images, 32-bit with an alpha channel and an AND mask, which
every Windows from XP on reads; edges are smoothed by sampling each pixel 16 times (4 times from 64 pixels on)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "rcimage"))
from make_pictures import WHITE, ico, mark  # noqa: E402  (the product mark and the icon format,
# shared with rcimage.dll)

SIZES = (16, 24, 32, 48, 64, 128)
RED = (206, 38, 38)
RED_DARK = (150, 18, 18)

# The badge: a disc over the lower right corner, ringed in white so that it stands apart from the
# mark, with a white cross. The smallest images get a larger disc and bolder strokes, so that the
# cross still reads as one at 16 pixels.
def badge_for(size):
    if size <= 16:
        return dict(x=0.63, y=0.63, r=0.37, ring=0.065, half=0.19, width=0.10)
    if size <= 24:
        return dict(x=0.67, y=0.67, r=0.33, ring=0.06, half=0.14, width=0.11)
    return dict(x=0.70, y=0.70, r=0.30, ring=0.055, half=0.12, width=0.09)


def badged_mark_for(size):
    """The uninstall icon's drawing for an image of that size."""
    b = badge_for(size)

    def draw(u, v):
        dx, dy = u - b["x"], v - b["y"]
        d2 = dx * dx + dy * dy
        if d2 <= (b["r"] - b["ring"]) ** 2:
            # The cross: two strokes along the diagonals, within the disc.
            if max(abs(dx), abs(dy)) <= b["half"] and \
                    min(abs(dx - dy), abs(dx + dy)) / 1.41421356 <= b["width"] / 2:
                return WHITE
            t = max(0.0, min(1.0, (dx + dy) / (2 * b["r"]) + 0.5))
            return tuple(RED[i] + (RED_DARK[i] - RED[i]) * t for i in range(3))
        if d2 <= b["r"] ** 2:
            return WHITE
        return mark(u, v)

    return draw


def main():
    folder = sys.argv[1]
    for name, draw_for in (("brisco.ico", lambda size: mark),
                           ("brisco_uninstall.ico", badged_mark_for)):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(ico(SIZES, draw_for, lambda size: 4 if size < 64 else 2))


if __name__ == "__main__":
    main()
