#!/usr/bin/env python3
"""Prints the images of an .ico file (size and bits per pixel) and fails unless
they are the eight the window icon needs."""
import struct
import sys

WANTED = sorted([(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)])


def entries(data):
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        raise ValueError("not an icon file")
    for i in range(count):
        w, h, colours, _, planes, bpp, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        body = data[offset : offset + size]
        if body[:8] == b"\x89PNG\r\n\x1a\n":
            bpp = 32
        else:
            # The bitmap header's own count is the truth; the directory's may be zero.
            bpp = struct.unpack_from("<H", body, 14)[0]
        yield (w or 256, bpp)


def main(path):
    with open(path, "rb") as f:
        found = sorted(entries(f.read()))
    for size, bpp in found:
        print(f"{size}x{size} {bpp} bpp")
    if found != WANTED:
        sys.exit(f"{path}: images {found}, wanted {WANTED}")


if __name__ == "__main__":
    main(sys.argv[1])
