#!/usr/bin/env python3
"""Packs PNG pictures (8-bit RGB or RGBA, not interlaced) into one Windows
icon file of 32-bit images, the form every Windows and Wine reads:
make_ico.py OUT.ico IN.png..."""
import struct
import sys
import zlib


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(path):
    """(width, height, rows of RGBA bytes), top row first."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("%s: not a PNG picture" % path)
    pos, idat, head = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if not head:
        raise SystemExit("%s: no header" % path)
    width, height, depth, colour, _, _, interlace = head
    if depth != 8 or colour not in (2, 6) or interlace or not 0 < width <= 256 \
            or not 0 < height <= 256:
        raise SystemExit("%s: only 8-bit RGB or RGBA pictures up to 256 pixels" % path)
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            c = prev[i - bpp] if i >= bpp else 0
            b = prev[i]
            line[i] = (line[i] + (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]) & 0xFF
        rows.append(bytes(line) if bpp == 4 else
                    b"".join(bytes(line[i:i + 3]) + b"\xff" for i in range(0, stride, 3)))
        prev = line
    return width, height, rows


def icon_image(width, height, rows):
    """A BITMAPINFOHEADER, BGRA rows bottom-up, then the all-opaque mask."""
    pixels = b"".join(bytes(v for i in range(0, len(r), 4)
                            for v in (r[i + 2], r[i + 1], r[i], r[i + 3]))
                      for r in reversed(rows))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytes(mask_stride * height)
    header = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def main():
    if len(sys.argv) < 3:
        raise SystemExit("usage: make_ico.py OUT.ico IN.png...")
    images = []
    for path in sys.argv[2:]:
        width, height, rows = read_png(path)
        images.append((width, height, icon_image(width, height, rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, data in images:
        # 256 is written as 0.
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
