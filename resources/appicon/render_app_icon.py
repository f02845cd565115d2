#!/usr/bin/env python3
"""Draws Refscope's application icon, the one a desktop shows in its menus and task bar.

The icon reuses the shapes and the PNG writer of ../icons32/render_icons.py: a
blue tile with a white tree of path segments, looked at through a lens. It is
laid out on a 64-unit grid and rendered at every size the hicolor theme uses,
so that small sizes are drawn from the shapes rather than scaled down from a
large image. Run it from anywhere:

    python3 resources/appicon/render_app_icon.py

It writes refscope_<size>.png beside itself, and refscope.ico, the Windows
program's icon, holding every size; all of them are committed.
"""

import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "icons32"))

import render_icons as icons  # noqa: E402
from render_icons import INK, WHITE, circle, line, rect, ring  # noqa: E402

SIZES = (16, 24, 32, 48, 64, 128, 256)
GRID = 64.0

TILE = (31, 97, 160)
TILE_EDGE = (22, 58, 98)
LENS = (214, 234, 248)
HANDLE = (246, 199, 68)
HANDLE_EDGE = (150, 98, 12)


def scaled(shape, k):
    """The shape drawn k times larger; distances stay in output pixels."""
    return lambda x, y: shape(x / k, y / k) * k


def tree_glyph(colour):
    """A root node with three indented children, as the tree view shows a path."""
    node = lambda x, y, s: rect(x, y, x + s, y + s, 1.5)
    return [
        (line(16, 20, 16, 47, 3.2), colour),
        (line(16, 29, 25, 29, 3.2), colour),
        (line(16, 38, 25, 38, 3.2), colour),
        (line(16, 47, 25, 47, 3.2), colour),
        (node(11, 11, 10), colour),
        (node(24, 25, 8), colour),
        (node(24, 34, 8), colour),
        (node(24, 43, 8), colour),
        (line(25, 16, 52, 16, 4.0), colour),
    ]


def lens():
    """A magnifier over the lower right of the tree."""
    return [
        (line(46, 46, 55, 55, 8.5), HANDLE_EDGE),
        (line(46, 46, 55, 55, 5.5), HANDLE),
        (circle(40, 40, 13.5), INK),
        (circle(40, 40, 10.5), LENS),
        # What the lens shows: the branch it sits on, enlarged.
        (rect(33, 33.5, 41, 41.5, 1.5), TILE),
        (line(44, 37.5, 48.5, 37.5, 3.0), TILE),
        (line(33, 45.5, 46, 45.5, 2.4), INK),
        (ring(40, 40, 12, 3.0), WHITE),
    ]


def app_icon():
    tile = rect(3, 3, 61, 61, 12)
    return [(icons.grow(tile, 1.2), TILE_EDGE), (tile, TILE)] + tree_glyph(WHITE) + lens()


def write_ico(path, pngs):
    """An icon file of PNG images, as Windows reads them since Vista: a header, one directory
    entry per size (a width or height of 0 stands for 256), then the images themselves."""
    header = struct.pack("<HHH", 0, 1, len(pngs))
    offset = len(header) + 16 * len(pngs)
    entries = b""
    for size, data in pngs:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(header + entries + b"".join(data for _, data in pngs))


def main():
    pngs = []
    for size in SIZES:
        k = size / GRID
        # Large sizes need fewer sub-samples per pixel for smooth edges.
        icons.SUPERSAMPLE = 4 if size <= 64 else 2
        layers = [(scaled(shape, k), rgb) for shape, rgb in app_icon()]
        path = os.path.join(HERE, "refscope_%d.png" % size)
        icons.write_png(path, icons.render(size, layers))
        with open(path, "rb") as f:
            pngs.append((size, f.read()))
    write_ico(os.path.join(HERE, "refscope.ico"), pngs)


if __name__ == "__main__":
    main()
