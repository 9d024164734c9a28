#!/usr/bin/env python3
"""Writes the true PE checksum into a linked image's optional header.

The linker's checksum covers the image as linked; every later change (the
load-configuration patch) makes it wrong, and scanners read a wrong one as a
sign that the image was altered. So this runs last before signing, which
keeps the checksum field out of its hash and rewrites it itself.

The checksum: the image as 16-bit little-endian words (a last odd byte padded
with zero), the checksum field itself taken as zero, added with the carry
folded back into the low 16 bits, plus the file's length.

usage: pe_checksum.py IMAGE
"""
import array
import struct
import sys


def checksum_offset(image):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("pe_checksum: not a PE image")
    # The same offset in PE32 and PE32+ optional headers.
    return pe + 24 + 64


def pe_checksum(image, field):
    data = bytearray(image)
    data[field:field + 4] = b"\0\0\0\0"
    if len(data) % 2:
        data.append(0)
    words = array.array("H", bytes(data))
    if sys.byteorder != "little":
        words.byteswap()
    total = 0
    for word in words:
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def main(image_path):
    with open(image_path, "rb") as image_file:
        image = bytearray(image_file.read())
    field = checksum_offset(image)
    struct.pack_into("<I", image, field, pe_checksum(image, field))
    with open(image_path, "wb") as image_file:
        image_file.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
