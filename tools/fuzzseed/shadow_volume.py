#!/usr/bin/env python3
"""Writes a small volume that holds one shadow copy, for the shadow copy fuzz target's seed.

Usage: shadow_volume.py OUT

The volume (160 KiB) keeps the structures Windows writes, each a 16 KiB block: the volume header
at 0x1e00 leads to the catalog, whose entries give the copy's size and creation time and where its
header, block list, block range list and bitmap lie; the block list sends two 16 KiB blocks of the
copy to blocks of their own, which hold other bytes than the live blocks they stand for.
"""

import struct
import sys

IDENTIFIER = bytes.fromhex("6b87083876c1484eb7ae04046e6cc752")  # every structure begins with it
BLOCK = 0x4000
SIZE = 10 * BLOCK
CATALOG, HEADER, LIST, RANGES, BITMAP, DATA = (n * BLOCK for n in (1, 2, 3, 4, 5, 8))
STORE = bytes(range(16))  # the copy's identifier
CREATED = 132598898400000000  # 2021-03-10 22:44:00 UTC as a FILETIME


def block(kind, at, relative=0):
    """A structure block's 128-byte header: version 1, its kind, where it lies, no next block."""
    return IDENTIFIER + struct.pack("<IIQQQ", 1, kind, relative, at, 0).ljust(112, b"\0")


def put(volume, at, data):
    volume[at:at + len(data)] = data


def main():
    volume = bytearray(SIZE)
    put(volume, 0x1e00, IDENTIFIER + struct.pack("<IIQQQQQ", 1, 1, 0x1e00, 0x1e00, 0, CATALOG, 4 * BLOCK))
    catalog = block(2, CATALOG)
    catalog += struct.pack("<QQ16sQQQ", 2, SIZE, STORE, 1, 0x40, CREATED).ljust(128, b"\0")
    catalog += struct.pack("<QQ16sQQQQ", 3, LIST, STORE, HEADER, RANGES, BITMAP, 0).ljust(128, b"\0")
    put(volume, CATALOG, catalog)
    name = "SEED".encode("utf-16-le")
    information = STORE + bytes(32) + struct.pack("<IIII", 0x1d, 1, 0x2001d, 0)
    information += 2 * (struct.pack("<H", len(name)) + name)
    put(volume, HEADER, block(4, HEADER)[:0x30] + struct.pack("<Q", len(information)).ljust(80, b"\0") + information)
    descriptors = b"".join(struct.pack("<QQQII", original, stored - DATA, stored, 0, 0)
                           for original, stored in ((0, DATA), (2 * BLOCK, DATA + BLOCK)))
    put(volume, LIST, block(3, LIST, BLOCK) + descriptors)
    put(volume, RANGES, block(5, RANGES) + struct.pack("<QQQ", DATA, 0, 2 * BLOCK))
    put(volume, BITMAP, block(6, BITMAP) + b"\xff\x03")
    for n in range(2):
        put(volume, DATA + n * BLOCK, bytes([0xa0 + n]) * BLOCK)
    with open(sys.argv[1], "wb") as out:
        out.write(volume)


main()
