"""Reads an X window dump (xwd, ZPixmap, 24 or 32 bits per pixel) on standard input and writes
it as a PNG file, with nothing but the standard library.

Usage: xwd_to_png.py OUT.png [X Y WIDTH HEIGHT]   (the optional rectangle crops the dump)"""
import struct
import sys
import zlib

data = sys.stdin.buffer.read()
fields = struct.unpack(">25I", data[:100])
header_size, _, fmt, depth, width, height = fields[:6]
byte_order, bpp, bytes_per_line, ncolors = fields[7], fields[11], fields[12], fields[19]
if fmt != 2 or bpp not in (24, 32):
    sys.exit("unsupported window dump (format %d, %d bits per pixel)" % (fmt, bpp))
red_mask, green_mask, blue_mask = fields[14:17]
pixels = data[header_size + 12 * ncolors:]
step = bpp // 8


def shift(mask):
    return (mask & -mask).bit_length() - 1


rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
left, top = 0, 0
if len(sys.argv) == 6:
    left, top, w, h = (int(a) for a in sys.argv[2:6])
    left, top = max(0, min(left, width - 1)), max(0, min(top, height - 1))
    width, height = min(w, width - left), min(h, height - top)
rows = bytearray()
for y in range(top, top + height):
    line = pixels[y * bytes_per_line:y * bytes_per_line + (left + width) * step]
    rows.append(0)
    for x in range(left, left + width):
        chunk = line[x * step:(x + 1) * step]
        v = int.from_bytes(chunk, "little" if byte_order == 0 else "big")
        rows += bytes(((v & red_mask) >> rs, (v & green_mask) >> gs, (v & blue_mask) >> bs))


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
with open(sys.argv[1], "wb") as f:
    f.write(png)
