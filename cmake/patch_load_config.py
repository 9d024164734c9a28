#!/usr/bin/env python3
"""Points the PE load-configuration directory of a linked image at the
structure the program defines as _load_config_used.

GNU ld 2.40 leaves that directory empty, so the loader would never see the
DependentLoadFlags the structure carries. The symbol's address comes from the
linker map (the image itself is stripped).

usage: patch_load_config.py IMAGE MAPFILE
"""
import re
import struct
import sys

IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG = 10


def main(image_path, map_path):
    with open(map_path, encoding="latin-1") as map_file:
        found = re.search(r"^\s+0x([0-9a-fA-F]+)\s+_?_load_config_used\s*$", map_file.read(), re.M)
    if not found:
        sys.exit("patch_load_config: _load_config_used is not in " + map_path)
    symbol_va = int(found.group(1), 16)

    with open(image_path, "rb") as image_file:
        image = bytearray(image_file.read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("patch_load_config: not a PE image: " + image_path)
    section_count, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic == 0x10B:
        image_base = struct.unpack_from("<I", image, optional + 28)[0]
        directories = optional + 96
    elif magic == 0x20B:
        image_base = struct.unpack_from("<Q", image, optional + 24)[0]
        directories = optional + 112
    else:
        sys.exit("patch_load_config: unknown optional header magic %#x" % magic)
    rva = symbol_va - image_base

    # The directory's size is the structure's own leading size field.
    sections = optional + optional_size
    for index in range(section_count):
        header = sections + 40 * index
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<IIII", image, header + 8)
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            structure_size = struct.unpack_from("<I", image, raw_offset + rva - virtual_address)[0]
            break
    else:
        sys.exit("patch_load_config: _load_config_used lies in no section")

    struct.pack_into("<II", image, directories + 8 * IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG, rva, structure_size)
    with open(image_path, "wb") as image_file:
        image_file.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
