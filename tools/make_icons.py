#!/usr/bin/env python3
"""Draws the library's message icons, a folder and a document, and writes them as .ico files.

    tools/make_icons.py [output folder]      (default: res/icons)

Each icon is described by shapes in a unit square (circles, convex polygons, thick
strokes) and rendered with 8 x 8 samples per pixel, so edges are antialiased.
The output depends only on this file: running it again gives the same bytes.
"""
import math
import os
import struct
import sys

SIZES = (16, 24, 32, 48)
SAMPLES = 8


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width, start, end):
    """An arc of a circle, angles in degrees, clockwise from 3 o'clock (y down)."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return (a - start) % 360 <= (end - start) % 360
    return inside


def stroke(x0, y0, x1, y1, width):
    """A line with round ends."""
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - x0 - t * dx, y - y0 - t * dy) <= width / 2
    return inside


def triangle(points, inset=0.0):
    """A triangle; inset > 0 shrinks it towards its centre."""
    cx = sum(p[0] for p in points) / 3
    cy = sum(p[1] for p in points) / 3
    pts = [(cx + (px - cx) * (1 - inset), cy + (py - cy) * (1 - inset)) for px, py in points]

    def inside(x, y):
        s = []
        for i in range(3):
            ax, ay = pts[i]
            bx, by = pts[(i + 1) % 3]
            s.append((bx - ax) * (y - ay) - (by - ay) * (x - ax))
        return all(v >= 0 for v in s) or all(v <= 0 for v in s)
    return inside


def polygon(points):
    """A convex polygon."""
    def inside(x, y):
        s = []
        for i in range(len(points)):
            ax, ay = points[i]
            bx, by = points[(i + 1) % len(points)]
            s.append((bx - ax) * (y - ay) - (by - ay) * (x - ax))
        return all(v >= 0 for v in s) or all(v <= 0 for v in s)
    return inside


def box(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def shaded(top, bottom):
    """A colour that runs from top to bottom of the square."""
    return lambda x, y: tuple(t + (b - t) * y for t, b in zip(top, bottom))


def solid(c):
    return lambda x, y: c


def disc_badge(rim, top, bottom, glyph, glyph_colour):
    return [
        (circle(0.5, 0.5, 0.47), solid(rim)),
        (circle(0.5, 0.5, 0.42), shaded(top, bottom)),
        (glyph, solid(glyph_colour)),
    ]


WHITE = (255, 255, 255)

ICONS = {
    # Error: a red disc with a white cross.
    "error": disc_badge((140, 20, 20), (236, 84, 72), (196, 30, 30),
                        union(stroke(0.33, 0.33, 0.67, 0.67, 0.13),
                              stroke(0.67, 0.33, 0.33, 0.67, 0.13)), WHITE),
    # Warning: a yellow triangle with a dark exclamation mark.
    "warning": [
        (triangle([(0.5, 0.04), (0.97, 0.91), (0.03, 0.91)]), solid((150, 100, 0))),
        (triangle([(0.5, 0.04), (0.97, 0.91), (0.03, 0.91)], 0.12),
         shaded((255, 226, 90), (240, 180, 20))),
        (union(stroke(0.5, 0.36, 0.5, 0.62, 0.11), circle(0.5, 0.76, 0.065)),
         solid((40, 32, 16))),
    ],
    # Information: a blue disc with a white "i".
    "information": disc_badge((20, 66, 140), (84, 150, 236), (30, 96, 200),
                              union(circle(0.5, 0.27, 0.075),
                                    stroke(0.5, 0.44, 0.5, 0.76, 0.13)), WHITE),
    # Question: a teal disc with a white question mark.
    "question": disc_badge((10, 96, 110), (70, 186, 200), (20, 130, 160),
                           union(ring(0.5, 0.37, 0.14, 0.11, 170, 80),
                                 stroke(0.5 + 0.14 * math.cos(math.radians(80)),
                                        0.37 + 0.14 * math.sin(math.radians(80)),
                                        0.5, 0.60, 0.11),
                                 circle(0.5, 0.76, 0.07)), WHITE),
    # Folder: a yellow folder with its tab and a lighter front flap.
    "folder": [
        (union(box(0.04, 0.16, 0.44, 0.34), box(0.03, 0.24, 0.97, 0.88)), solid((150, 104, 16))),
        (union(box(0.08, 0.20, 0.40, 0.34), box(0.07, 0.28, 0.93, 0.84)),
         shaded((246, 204, 96), (226, 166, 44))),
        (box(0.07, 0.39, 0.93, 0.42), solid((170, 120, 24))),
        (box(0.07, 0.42, 0.93, 0.84), shaded((255, 230, 140), (242, 192, 70))),
    ],
    # Document: a white page with a folded corner and lines of text.
    "document": [
        (polygon([(0.16, 0.03), (0.64, 0.03), (0.86, 0.25), (0.86, 0.97), (0.16, 0.97)]),
         solid((96, 104, 120))),
        (polygon([(0.20, 0.07), (0.62, 0.07), (0.82, 0.27), (0.82, 0.93), (0.20, 0.93)]),
         shaded((255, 255, 255), (226, 232, 240))),
        (polygon([(0.62, 0.05), (0.62, 0.27), (0.84, 0.27)]), solid((186, 194, 208))),
        (union(*(stroke(0.30, y, 0.72, y, 0.05) for y in (0.42, 0.54, 0.66, 0.78))),
         solid((120, 140, 170))),
    ],
}


def render(layers, size):
    """BGRA rows, top row first."""
    rows = []
    n = SAMPLES
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    colour = None
                    for shape, paint in layers:
                        if shape(x, y):
                            colour = paint(x, y)
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            if a:
                # Straight (not premultiplied) alpha: the colour of the covered part.
                row += bytes((round(b / a), round(g / a), round(r / a), round(255 * a / (n * n))))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def dib(rows, size):
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(reversed(rows))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x in range(size):
            if row[4 * x + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico(layers):
    images = [dib(render(layers, s), s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "res", "icons")
    os.makedirs(folder, exist_ok=True)
    for name, layers in ICONS.items():
        with open(os.path.join(folder, name + ".ico"), "wb") as f:
            f.write(ico(layers))


if __name__ == "__main__":
    main()
