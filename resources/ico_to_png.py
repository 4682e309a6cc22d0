#!/usr/bin/env python3
"""Writes the images of an icon file as PNG files, one per size, for the
Linux desktop's icon theme.

  ico_to_png.py ICON OUT_DIR NAME

makes OUT_DIR/<size>x<size>/apps/NAME.png for every image of ICON. The
icons hold 32-bit bottom-up bitmaps (as make_icons.py writes them).
"""

import os
import struct
import sys
import zlib


def images(data):
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    if kind != 1:
        raise SystemExit("not an icon file")
    for i in range(count):
        w, h, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w, h = w or 256, h or 256
        header = struct.unpack_from("<IiiHH", data, offset)
        if bits != 32 or header[4] != 32:
            raise SystemExit("only 32-bit icon images are handled")
        pixels = data[offset + header[0]:offset + header[0] + w * h * 4]
        rows = []
        for y in range(h):  # bottom-up BGRA
            row = pixels[(h - 1 - y) * w * 4:(h - y) * w * 4]
            rgba = bytearray()
            for x in range(w):
                b, g, r, a = row[x * 4:x * 4 + 4]
                rgba += bytes((r, g, b, a))
            rows.append(bytes(rgba))
        yield w, h, rows


def png(w, h, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    icon, out, name = sys.argv[1:4]
    with open(icon, "rb") as f:
        data = f.read()
    for w, h, rows in images(data):
        folder = os.path.join(out, f"{w}x{h}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name + ".png"), "wb") as f:
            f.write(png(w, h, rows))


if __name__ == "__main__":
    main()
