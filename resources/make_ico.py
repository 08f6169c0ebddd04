#!/usr/bin/python3
"""Packs square PNG images (8-bit RGBA, as rsvg-convert writes them) into one
Windows icon file.

    make_ico.py OUT.ico IMAGE.png...

Images under 256 px are stored as 32-bit bitmaps with an AND mask, which every
Windows version and every icon reader takes; the 256 px image stays PNG, as
Windows' own icons store it (a bitmap that size would be 256 KiB).
"""

import struct
import sys
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_chunks(data):
    pos = len(PNG_SIGNATURE)
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        yield kind, data[pos + 8:pos + 8 + length]
        pos += 12 + length


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def rgba_rows(data, path):
    """The image's rows of RGBA bytes, top first, and its size."""
    if not data.startswith(PNG_SIGNATURE):
        sys.exit(f"make_ico: {path} is not a PNG")
    idat = b""
    for kind, body in png_chunks(data):
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if (depth, colour, interlace) != (8, 6, 0):
                sys.exit(f"make_ico: {path} is not 8-bit RGBA without interlacing")
        elif kind == b"IDAT":
            idat += body
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prior = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, row = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = row[i - 4] if i >= 4 else 0
            c = prior[i - 4] if i >= 4 else 0
            b = prior[i]
            row[i] = (row[i] + (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]) & 0xFF
        rows.append(row)
        prior = row
    return width, height, rows


def bitmap_entry(width, height, rows):
    # BITMAPINFOHEADER with the height doubled for the AND mask, then the
    # pixels bottom-up as BGRA, then the mask (1 = transparent), rows padded to 4 bytes.
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_stride = ((width + 31) // 32) * 4
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x in range(width):
            r, g, b, alpha = row[4 * x:4 * x + 4]
            pixels += bytes((b, g, r, alpha))
            if alpha == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + mask


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    entries = []
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            data = f.read()
        width, height, rows = rgba_rows(data, path)
        if width != height or width > 256:
            sys.exit(f"make_ico: {path} is {width}x{height}; icons are square, at most 256 px")
        entries.append((width, data if width == 256 else bitmap_entry(width, height, rows)))
    entries.sort(key=lambda e: e[0])
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, body in entries:
        # 0 stands for 256 in the one-byte width and height.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    out += b"".join(body for _, body in entries)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
