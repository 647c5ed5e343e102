#!/usr/bin/python3
"""Writes the application icon: one drawing (a tape with two reels under a recording dot on a
rounded tile) as the scalable SVG and as PNGs of the hicolor sizes, rendered here with 4x4
supersampling so that no image tool is needed. Run it after changing the drawing.

Usage: desktop/make_icons.py   (writes desktop/icons/hicolor/...)
"""
import os
import struct
import zlib

NAME = "org.tellwick.Tellwick"
SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
TEAL, WHITE, RED = (0x1F, 0x6F, 0x8B), (0xFF, 0xFF, 0xFF), (0xE5, 0x39, 0x35)

# Shapes on a 128-unit canvas, painted in order: ("rect", x, y, w, h, radius, colour) or
# ("circle", cx, cy, r, colour).
SHAPES = [
    ("rect", 8, 8, 112, 112, 24, TEAL),
    ("rect", 22, 40, 84, 54, 8, WHITE),
    ("circle", 46, 64, 13, TEAL),
    ("circle", 82, 64, 13, TEAL),
    ("circle", 46, 64, 4, WHITE),
    ("circle", 82, 64, 4, WHITE),
    ("rect", 46, 80, 36, 5, 0, TEAL),
    ("circle", 98, 30, 13, RED),
]


def inside(shape, x, y):
    if shape[0] == "circle":
        _, cx, cy, r, _ = shape
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    _, rx, ry, w, h, radius, _ = shape
    if not (rx <= x <= rx + w and ry <= y <= ry + h):
        return False
    # Inside the rectangle: only the corner squares need the circle test.
    cx = min(max(x, rx + radius), rx + w - radius)
    cy = min(max(y, ry + radius), ry + h - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def render(size):
    rows = []
    steps = [(i + 0.5) / 4 for i in range(4)]
    for py in range(size):
        row = bytearray([0])  # filter type 0
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in steps:
                for sx in steps:
                    x, y = (px + sx) * 128 / size, (py + sy) * 128 / size
                    colour = None
                    for shape in SHAPES:
                        if inside(shape, x, y):
                            colour = shape[-1]
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = acc[3]
            # Colour averaged over covered samples; coverage as alpha.
            pixel = [round(acc[i] / n) if n else 0 for i in range(3)] + [round(255 * n / 16)]
            row += bytes(pixel)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, raw):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def svg():
    hexed = lambda c: "#%02x%02x%02x" % c
    parts = []
    for s in SHAPES:
        if s[0] == "circle":
            parts.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (s[1], s[2], s[3],
                                                                          hexed(s[4])))
        else:
            parts.append('  <rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>'
                         % (s[1], s[2], s[3], s[4], s[5], hexed(s[6])))
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" '
            'viewBox="0 0 128 128">\n' + "\n".join(parts) + "\n</svg>\n")


def main():
    base = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons", "hicolor")
    folder = os.path.join(base, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, NAME + ".svg"), "w") as f:
        f.write(svg())
    for size in SIZES:
        folder = os.path.join(base, "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, NAME + ".png"), "wb") as f:
            f.write(png(size, render(size)))


main()
