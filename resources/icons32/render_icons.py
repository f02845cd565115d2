#!/usr/bin/env python3
"""Draws Refscope's toolbar and menu icons into this folder.

Only the Python standard library is used: every shape is a signed distance
function, sampled 4x4 per pixel for antialiasing, and the result is written as
an RGBA PNG with zlib and struct. Run it from anywhere:

    python3 resources/icons32/render_icons.py

The shapes are laid out on the icon's own pixel grid (0..size), so they can be
adjusted here and rendered again; the PNGs are committed beside this script.
"""

import math
import os
import struct
import zlib

# One palette for all icons, so they sit together on a light button.
INK = (44, 62, 80)           # outlines and strokes
BLUE = (36, 113, 185)        # main accent
LIGHT_BLUE = (142, 196, 235)
PALE_BLUE = (214, 234, 248)
GREEN = (34, 150, 84)
FOLDER_BACK = (214, 146, 28)
FOLDER_FRONT = (246, 199, 68)
RED = (200, 58, 45)
WHITE = (255, 255, 255)

SUPERSAMPLE = 4


# ---- signed distance functions: negative inside, in pixels -----------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2


def ellipse_ring(cx, cy, rx, ry, width):
    # Approximate distance, good enough for thin strokes on small icons.
    def d(x, y):
        nx, ny = (x - cx) / rx, (y - cy) / ry
        k = math.hypot(nx, ny)
        if k == 0:
            return min(rx, ry)
        gx, gy = nx / rx, ny / ry
        grad = math.hypot(gx, gy) / k
        return abs((k - 1) / max(grad, 1e-6)) - width / 2
    return d


def line(ax, ay, bx, by, width):
    """A stroke with round caps."""
    def d(x, y):
        px, py, dx, dy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)))
        return math.hypot(px - dx * t, py - dy * t) - width / 2
    return d


def rect(x0, y0, x1, y1, radius=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius
    return d


def polygon(points):
    n = len(points)

    def d(x, y):
        vx, vy = points[0]
        best = (x - vx) ** 2 + (y - vy) ** 2
        sign = 1.0
        j = n - 1
        for i in range(n):
            ix, iy = points[i]
            jx, jy = points[j]
            ex, ey = jx - ix, jy - iy
            wx, wy = x - ix, y - iy
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            bx, by = wx - ex * t, wy - ey * t
            best = min(best, bx * bx + by * by)
            c1, c2, c3 = y >= iy, y < jy, ex * wy > ey * wx
            if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
                sign = -sign
            j = i
        return sign * math.sqrt(best)
    return d


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(a, b):
    return lambda x, y: max(a(x, y), b(x, y))


def grow(shape, amount):
    """The shape widened by amount pixels on every side (used for outlines)."""
    return lambda x, y: shape(x, y) - amount


# ---- rendering ---------------------------------------------------------------

def render(size, layers):
    """layers: list of (shape, rgb) painted in order, each over the ones before."""
    step = 1.0 / SUPERSAMPLE
    offsets = [(i + 0.5) * step for i in range(SUPERSAMPLE)]
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            # Premultiplied accumulation of each sub-sample, then averaged.
            acc = [0.0, 0.0, 0.0, 0.0]
            for oy in offsets:
                for ox in offsets:
                    x, y = px + ox, py + oy
                    r = g = b = a = 0.0
                    for shape, rgb in layers:
                        cover = max(0.0, min(1.0, 0.5 - shape(x, y) * SUPERSAMPLE))
                        if cover <= 0.0:
                            continue
                        r = rgb[0] / 255 * cover + r * (1 - cover)
                        g = rgb[1] / 255 * cover + g * (1 - cover)
                        b = rgb[2] / 255 * cover + b * (1 - cover)
                        a = cover + a * (1 - cover)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            n = SUPERSAMPLE * SUPERSAMPLE
            alpha = acc[3] / n
            if alpha > 0:
                rgb = [min(255, round(c / n / alpha * 255)) for c in acc[:3]]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], round(alpha * 255)))
        pixels.append(row)
    return pixels


def write_png(path, pixels):
    height, width = len(pixels), len(pixels[0])
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for p in row:
            raw.extend(p)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def outlined(shape, fill, outline=INK, width=1.2):
    return [(grow(shape, width), outline), (shape, fill)]


# ---- the icons ---------------------------------------------------------------

def icon_tree():
    """Switch to the tree: a root node with two indented, labelled children."""
    node = lambda x, y: rect(x, y, x + 6.5, y + 6.5, 1.2)
    return [
        (line(6.25, 9, 6.25, 26.25, 2.2), INK),
        (line(6.25, 16.75, 14, 16.75, 2.2), INK),
        (line(6.25, 26.25, 14, 26.25, 2.2), INK),
        *outlined(node(3, 3), BLUE),
        *outlined(node(14, 13.5), LIGHT_BLUE),
        *outlined(node(14, 23), LIGHT_BLUE),
        (line(13.5, 6.25, 28.5, 6.25, 2.5), INK),
        (line(24, 16.75, 28.5, 16.75, 2.5), INK),
        (line(24, 26.25, 28.5, 26.25, 2.5), INK),
    ]


def icon_list():
    """Switch to the list: three bulleted rows."""
    layers = []
    for y in (7, 16, 25):
        layers += outlined(rect(3.5, y - 2.5, 8.5, y + 2.5, 1.0), BLUE)
        layers.append((line(13, y, 28, y, 3.0), INK))
    return layers


def stacked_boxes(sign):
    back = rect(11, 3, 29, 21, 2.0)
    front = rect(3, 11, 21, 29, 2.0)
    layers = outlined(back, PALE_BLUE, width=1.5)
    layers += outlined(front, WHITE, width=1.8)
    layers.append((line(7.5, 20, 16.5, 20, 2.8), BLUE))
    if sign == "+":
        layers.append((line(12, 15.5, 12, 24.5, 2.8), BLUE))
    return layers


def icon_expand_all():
    return stacked_boxes("+")


def icon_collapse_all():
    return stacked_boxes("-")


def icon_folder_open():
    back = polygon([(3, 6), (12, 6), (15, 9), (27, 9), (27, 26), (3, 26)])
    front = polygon([(8.5, 14), (30, 14), (25, 27), (3, 27)])
    return outlined(back, FOLDER_BACK) + outlined(front, FOLDER_FRONT)


def icon_about():
    """Program information: a white "i" on a blue disc."""
    return [
        (circle(16, 16, 14.5), INK),
        (circle(16, 16, 13.3), BLUE),
        (circle(16, 9, 2.4), WHITE),
        (rect(14, 13, 18, 23.5, 1.0), WHITE),
        (rect(12, 21.5, 20, 24, 1.0), WHITE),
        (rect(12, 13, 17, 15.5, 1.0), WHITE),
    ]


def icon_down():
    """Check for an update: a download arrow into a tray."""
    arrow = union(rect(12.5, 2, 19.5, 14, 1.0),
                  polygon([(5.5, 12.5), (26.5, 12.5), (16, 23.5)]))
    return [
        (line(4, 21, 4, 28, 3.0), INK),
        (line(28, 21, 28, 28, 3.0), INK),
        (line(4, 28, 28, 28, 3.0), INK),
        *outlined(arrow, GREEN),
    ]


def icon_world():
    """The web page: a globe with meridians and parallels."""
    disc = circle(16, 16, 13)
    inside = grow(disc, -0.2)
    grid = union(
        ellipse_ring(16, 16, 6, 13, 1.6),
        line(16, 2, 16, 30, 1.6),
        line(2, 16, 30, 16, 1.6),
        line(2, 9.5, 30, 9.5, 1.4),
        line(2, 22.5, 30, 22.5, 1.4),
    )
    return [
        (grow(disc, 1.5), INK),
        (disc, LIGHT_BLUE),
        (intersect(grid, inside), BLUE),
    ]


def icon_search():
    """Search: a magnifier (24 x 24)."""
    return [
        (line(14.5, 14.5, 21, 21, 4.2), INK),
        (circle(9.5, 9.5, 7.6), INK),
        (circle(9.5, 9.5, 5.4), PALE_BLUE),
    ]


def icon_erase():
    """Clear the search: a white cross on a red disc (24 x 24)."""
    return [
        (circle(12, 12, 10.8), RED),
        (line(8, 8, 16, 16, 2.8), WHITE),
        (line(16, 8, 8, 16, 2.8), WHITE),
    ]


ICONS = [
    ("list.png", 32, icon_list),
    ("expandAll.png", 32, icon_expand_all),
    ("collapseAll.png", 32, icon_collapse_all),
    ("folder_open.png", 32, icon_folder_open),
    ("about.png", 32, icon_about),
    ("down.png", 32, icon_down),
    ("tree.png", 32, icon_tree),
    ("world.png", 32, icon_world),
    ("search.png", 24, icon_search),
    ("erase.png", 24, icon_erase),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, size, draw in ICONS:
        write_png(os.path.join(here, name), render(size, draw()))


if __name__ == "__main__":
    main()
