#!/usr/bin/env python3
"""Draws the program's icons and writes them as multi-size ICO files.

    res/quorvane.ico       icon 101: a pair of monitors in colour
    res/quorvane-mono.ico  icon 102: the same pair as a white glyph, for the
                           notification area when the monochrome icon is chosen

Each file holds 16, 24, 32, 48 and 256 pixel images: the small ones as 32-bit
DIBs with an AND mask, the 256 pixel one as PNG. Shapes are signed distance
functions rendered straight at every size (with a minimum stroke of about one
pixel), so the small sizes stay crisp instead of being scaled down.

Standard library only; the output is the same on every run.

    python3 scripts/make-icons.py [output-folder]   (default: res/ beside this script)
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)


# ---------------------------------------------------------------- geometry --

def rounded_box(px, py, x0, y0, x1, y1, r):
    """Signed distance from (px, py) to a rounded rectangle (negative inside)."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - r


def coverage(distance, size):
    """Fraction of a pixel covered by a shape, from its distance in unit space."""
    return min(max(0.5 - distance * size, 0.0), 1.0)


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def hex_colour(text):
    text = text.lstrip("#")
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


class Canvas:
    """Premultiplied RGBA pixels in floats, composited with 'over'."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def paint(self, shape, colour, opacity=1.0):
        """shape(px, py) -> signed distance; colour(px, py) -> (r, g, b)."""
        n = self.size
        for y in range(n):
            py = (y + 0.5) / n
            for x in range(n):
                px = (x + 0.5) / n
                a = coverage(shape(px, py), n) * opacity
                if a <= 0.0:
                    continue
                r, g, b = colour(px, py)
                p = self.pixels[y * n + x]
                keep = 1.0 - a
                p[0] = r * a + p[0] * keep
                p[1] = g * a + p[1] * keep
                p[2] = b * a + p[2] * keep
                p[3] = a + p[3] * keep

    def erase(self, shape):
        """Clears what lies under the shape (a knockout gap)."""
        n = self.size
        for y in range(n):
            py = (y + 0.5) / n
            for x in range(n):
                px = (x + 0.5) / n
                a = coverage(shape(px, py), n)
                if a <= 0.0:
                    continue
                p = self.pixels[y * n + x]
                for i in range(4):
                    p[i] *= 1.0 - a

    def rgba_rows(self):
        """Rows top to bottom of straight (not premultiplied) 8-bit RGBA."""
        n = self.size
        rows = []
        for y in range(n):
            row = bytearray()
            for x in range(n):
                r, g, b, a = self.pixels[y * n + x]
                if a > 0.0:
                    r, g, b = r / a, g / a, b / a
                row += bytes(int(round(min(max(c, 0.0), 1.0) * 255)) for c in (r, g, b, a))
            rows.append(bytes(row))
        return rows


# ------------------------------------------------------------------ design --

# Two monitors: one behind at the upper left, one in front at the lower right
# standing on its foot. Unit coordinates, origin at the top left.
BACK = (0.05, 0.12, 0.63, 0.55)
FRONT = (0.33, 0.33, 0.95, 0.78)
NECK = (0.60, 0.76, 0.68, 0.88)
FOOT = (0.48, 0.86, 0.80, 0.93)
GAP = 0.035  # the knockout between the front monitor and the one behind


def snap(value, size):
    """Puts an edge on a pixel boundary at the small sizes, where half-covered
    pixels would blur it."""
    return round(value * size) / size if size <= 48 else value


def snapped(rect, size):
    return tuple(snap(v, size) for v in rect)


def radius(size):
    return max(0.055, 1.5 / size)


def bezel(size):
    return max(snap(0.04, size), 1.0 / size)


def box(rect, r, grow=0.0):
    x0, y0, x1, y1 = rect
    return lambda px, py: rounded_box(px, py, x0 - grow, y0 - grow, x1 + grow, y1 + grow, r + grow)


def inset(rect, amount):
    x0, y0, x1, y1 = rect
    return (x0 + amount, y0 + amount, x1 - amount, y1 - amount)


def front_silhouette(size, r, grow):
    shapes = [box(snapped(FRONT, size), r, grow), box(snapped(NECK, size), 0.0, grow),
              box(snapped(FOOT, size), 0.02, grow)]
    return lambda px, py: min(s(px, py) for s in shapes)


def gradient(top_left, bottom_right, rect):
    x0, y0, x1, y1 = rect

    def colour(px, py):
        t = ((px - x0) / (x1 - x0) + (py - y0) / (y1 - y0)) / 2
        return lerp(top_left, bottom_right, min(max(t, 0.0), 1.0))

    return colour


def solid(colour):
    return lambda px, py: colour


def draw_colour(size):
    c = Canvas(size)
    r, b = radius(size), bezel(size)
    back, front, neck, foot = (snapped(rect, size) for rect in (BACK, FRONT, NECK, FOOT))
    gap = max(snap(GAP, size), 1.0 / size)
    frame = hex_colour("1e293b")
    stand = hex_colour("334155")

    back_screen = inset(back, b)
    c.paint(box(back, r), solid(frame))
    c.paint(box(back_screen, max(r - b, 0.0)),
            gradient(hex_colour("6366f1"), hex_colour("312e81"), back_screen))
    c.erase(front_silhouette(size, r, gap))

    front_screen = inset(front, b)
    c.paint(box(neck, 0.0), solid(stand))
    c.paint(box(foot, 0.02), solid(stand))
    c.paint(box(front, r), solid(frame))
    c.paint(box(front_screen, max(r - b, 0.0)),
            gradient(hex_colour("22d3ee"), hex_colour("2563eb"), front_screen))
    if size >= 32:
        # A soft reflection across the upper part of the front screen.
        x0, y0, x1, y1 = front_screen
        glare = lambda px, py: max(box(front_screen, max(r - b, 0.0))(px, py),
                                   (py - y0) - 0.45 * (y1 - y0) + 0.35 * (px - x0))
        c.paint(glare, solid((1.0, 1.0, 1.0)), opacity=0.22)
    return c


def draw_mono(size):
    c = Canvas(size)
    r = radius(size)
    back, front, neck, foot = (snapped(rect, size) for rect in (BACK, FRONT, NECK, FOOT))
    gap = max(snap(GAP, size), 1.0 / size)
    stroke = max(snap(0.075, size), 1.0 / size)
    white = (1.0, 1.0, 1.0)

    def outline(rect):
        outer = box(rect, r)
        inner = box(inset(rect, stroke), max(r - stroke, 0.0))
        return lambda px, py: max(outer(px, py), -inner(px, py))

    c.paint(outline(back), solid(white))
    c.erase(front_silhouette(size, r, gap))
    c.paint(outline(front), solid(white))
    c.paint(box(neck, 0.0), solid(white))
    c.paint(box(foot, 0.02), solid(white))
    return c


# ------------------------------------------------------------------ output --

def png(rows, size):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def dib(rows, size):
    """BITMAPINFOHEADER, bottom-up BGRA rows and the AND mask (set where transparent)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(rows):
        for x in range(size):
            r, g, b, a = row[4 * x:4 * x + 4]
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x in range(size):
            if row[4 * x + 3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(colour) + bytes(mask)


def ico(images):
    """images: list of (size, bytes) in the order of the directory."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def write_icon(path, draw):
    images = []
    for size in SIZES:
        rows = draw(size).rgba_rows()
        images.append((size, png(rows, size) if size >= 256 else dib(rows, size)))
    with open(path, "wb") as f:
        f.write(ico(images))
    print(f"wrote {path}")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res")
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, "quorvane.ico"), draw_colour)
    write_icon(os.path.join(out, "quorvane-mono.ico"), draw_mono)


if __name__ == "__main__":
    main()
