#!/usr/bin/env python3
"""Packs PNG pictures into one Windows icon file (each image kept as PNG, as
the system reads them since Vista): make_ico.py OUT.ico IN.png..."""
import struct
import sys


def png_size(data, path):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise SystemExit("%s: not a PNG picture" % path)
    width, height = struct.unpack(">II", data[16:24])
    if not 0 < width <= 256 or not 0 < height <= 256:
        raise SystemExit("%s: %dx%d is no icon size" % (path, width, height))
    return width, height


def main():
    if len(sys.argv) < 3:
        raise SystemExit("usage: make_ico.py OUT.ico IN.png...")
    images = []
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            data = f.read()
        images.append((png_size(data, path), data))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (width, height), data in images:
        # 256 is written as 0; the colour count and depth say "true colour".
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
