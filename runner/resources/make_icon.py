#!/usr/bin/env python3
"""Draws the program icon, a camera lens seen from the front, and writes it as app_icon.ico.

The icon holds one 48 x 48 image with 32 bits per pixel, stored as a PNG. Only the standard
library is used, so the icon can be remade on any machine:

    make_icon.py [OUTPUT]          write the icon (default: app_icon.ico beside this script)
    make_icon.py --check ICON      exit 1 unless ICON holds exactly the pixels drawn here
"""

import math
import os
import struct
import sys
import zlib

SIZE = 48
SUBSAMPLES = 4  # per axis; smooths the edges of the rings
CENTRE = SIZE / 2.0

BODY = (43, 47, 54)  # charcoal lens barrel
BODY_EDGE = (92, 99, 110)  # lighter rim around the barrel
GLASS_INNER = (38, 132, 196)  # blue at the centre of the glass
GLASS_OUTER = (14, 52, 92)  # darker blue at the rim of the glass
APERTURE = (120, 196, 232)  # thin bright ring inside the glass
PUPIL = (8, 20, 34)
HIGHLIGHT = (255, 255, 255)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def sample(x, y):
    """Colour and opacity (0..1) of the picture at one point."""
    r = math.hypot(x - CENTRE, y - CENTRE)
    if r > 22.5:
        return (0.0, 0.0, 0.0), 0.0
    if r > 21.0:
        return BODY_EDGE, 1.0
    if r > 16.5:
        return BODY, 1.0
    if r < 5.5:
        colour = PUPIL
    elif 9.5 < r < 11.0:
        colour = APERTURE
    else:
        colour = mix(GLASS_INNER, GLASS_OUTER, r / 16.5)
    # A soft reflection up and to the left, as light falling on curved glass.
    glint = math.hypot((x - 18.5) / 3.6, (y - 17.5) / 2.6)
    if glint < 1.0:
        colour = mix(colour, HIGHLIGHT, 0.85 * (1.0 - glint * glint))
    return colour, 1.0


def render():
    """RGBA rows, each a bytes object of SIZE * 4 bytes, with straight (unpremultiplied) alpha."""
    rows = []
    step = 1.0 / SUBSAMPLES
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            total = [0.0, 0.0, 0.0]
            coverage = 0.0
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    colour, alpha = sample(px + (sx + 0.5) * step, py + (sy + 0.5) * step)
                    coverage += alpha
                    for i in range(3):
                        total[i] += colour[i] * alpha
            count = SUBSAMPLES * SUBSAMPLES
            if coverage == 0.0:
                row += bytes(4)
                continue
            row += bytes(min(255, int(round(total[i] / coverage))) for i in range(3))
            row.append(min(255, int(round(255.0 * coverage / count))))
        rows.append(bytes(row))
    return rows


def png_chunk(kind, payload):
    body = kind + payload
    return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(rows):
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA, no interlace
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def wrap_ico(png):
    directory = struct.pack("<HHH", 0, 1, 1)  # reserved, type icon, one image
    # Width, height, palette size, reserved, planes, bits per pixel, data size, data offset.
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(png), 6 + 16)
    return directory + entry + png


def decoded_rows(ico):
    """The RGBA rows of the single PNG image inside an icon made by this script."""
    _, _, count = struct.unpack_from("<HHH", ico, 0)
    if count != 1:
        raise ValueError("expected one image, found %d" % count)
    size, offset = struct.unpack_from("<II", ico, 6 + 8)
    png = ico[offset:offset + size]
    position = 8
    idat = b""
    while position < len(png):
        (length,) = struct.unpack_from(">I", png, position)
        kind = png[position + 4:position + 8]
        if kind == b"IDAT":
            idat += png[position + 8:position + 8 + length]
        position += 12 + length
    raw = zlib.decompress(idat)
    stride = SIZE * 4 + 1
    return [raw[y * stride + 1:(y + 1) * stride] for y in range(SIZE)]


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    if len(argv) == 3 and argv[1] == "--check":
        with open(argv[2], "rb") as existing:
            if decoded_rows(existing.read()) != render():
                print("%s does not hold the picture that make_icon.py draws" % argv[2],
                      file=sys.stderr)
                return 1
        return 0
    if len(argv) > 2:
        print(__doc__, file=sys.stderr)
        return 2
    output = argv[1] if len(argv) == 2 else os.path.join(here, "app_icon.ico")
    with open(output, "wb") as icon:
        icon.write(wrap_ico(encode_png(render())))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
