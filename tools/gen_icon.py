#!/usr/bin/env python3
"""Draws the program's icon (ui/res/tolvarenquista.ico): a claim sheet with a reference-number tag.

The icon is committed; this is how it was made. Images of 16, 24, 32, 48 and 256 pixels (what
Windows shows in lists, on the taskbar, on the desktop at 100 to 200 %, and in Explorer's large
views), 32 bits with alpha; the 256-pixel one as PNG, as Windows Vista and later take it.
Usage: tools/gen_icon.py ui/res/tolvarenquista.ico
"""
import struct
import sys
import zlib

PAPER = (250, 250, 245, 255)
EDGE = (40, 70, 120, 255)
LINE = (120, 150, 200, 255)
TAG = (215, 90, 40, 255)
TAG_TEXT = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)


def draw(size):
    """Returns rows (top first) of RGBA tuples for one image of size x size pixels."""
    s = size / 32.0
    pixels = [[CLEAR] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < size and 0 <= y < size:
                    pixels[y][x] = colour

    # The sheet with its folded corner.
    fill(5, 2, 27, 30, EDGE)
    fill(6, 3, 26, 29, PAPER)
    for i in range(6):
        fill(20 + i, 3, 26, 3 + 6 - i, CLEAR)
    fill(20, 3, 21, 9, EDGE)
    fill(20, 8, 26, 9, EDGE)
    # Record lines of the claim.
    for y in (11, 14, 17):
        fill(9, y, 23, y + 1, LINE)
    # The reference-number tag: a hash sign on an orange label.
    fill(12, 20, 29, 30, TAG)
    fill(16, 22, 17, 29, TAG_TEXT)
    fill(22, 22, 23, 29, TAG_TEXT)
    fill(14, 24, 26, 25, TAG_TEXT)
    fill(14, 27, 26, 28, TAG_TEXT)
    return pixels


def image_data(size):
    """One icon image: BITMAPINFOHEADER (double height), BGRA rows bottom first, AND mask."""
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


def png_data(size):
    """One icon image as a PNG file: 8-bit RGBA rows, top first, each after a filter byte of 0."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in draw(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def main():
    sizes = (16, 24, 32, 48, 256)
    images = [png_data(size) if size >= 256 else image_data(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        # A width and height of 256 are written as 0.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
