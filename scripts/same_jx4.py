#!/usr/bin/env python3
"""Tells whether two folders hold the same .jx4 files: the same file names and,
in each file, the same products (product id and image bytes). The order of
the products in a file may differ, as it does between runs in parallel.

    same_jx4.py FOLDER_A FOLDER_B     exit 0 when the same, 1 otherwise

Reads the documented layout: a 980-byte little-endian header; the entry count
at byte 16; 60 entries of 16 bytes from byte 20 (id, reserved, offset, length).
"""
import hashlib
import os
import struct
import sys

HEADER_SIZE = 980
MAX_ENTRIES = 60


def products(path):
    """The set of (product id, sha256 of its image) in one .jx4 file."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < HEADER_SIZE or data[:4] != b"JX4\0":
        raise ValueError(f"{path}: not a .jx4 file")
    (count,) = struct.unpack_from("<I", data, 16)
    if count > MAX_ENTRIES:
        raise ValueError(f"{path}: entry count {count}")
    found = set()
    for i in range(count):
        product_id, _, offset, length = struct.unpack_from("<4I", data, 20 + 16 * i)
        if offset < HEADER_SIZE or offset + length > len(data):
            raise ValueError(f"{path}: entry {i} outside the file")
        found.add((product_id, hashlib.sha256(data[offset:offset + length]).hexdigest()))
    if len(found) != count:
        raise ValueError(f"{path}: a product is stored twice")
    return found


def jx4_names(folder):
    return sorted(n for n in os.listdir(folder) if n.endswith(".jx4"))


def main(a, b):
    names_a, names_b = jx4_names(a), jx4_names(b)
    if names_a != names_b:
        print(f"different files: only in {a}: {sorted(set(names_a) - set(names_b))}; "
              f"only in {b}: {sorted(set(names_b) - set(names_a))}")
        return 1
    different = 0
    total = 0
    for name in names_a:
        pa, pb = products(os.path.join(a, name)), products(os.path.join(b, name))
        total += len(pa)
        if pa != pb:
            different += 1
            print(f"{name}: products differ: ids only in {a}: "
                  f"{sorted(i for i, _ in pa - pb)}; only in {b}: {sorted(i for i, _ in pb - pa)}")
    if different:
        return 1
    print(f"same: {len(names_a)} .jx4 files, {total} products")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        sys.exit(main(sys.argv[1], sys.argv[2]))
    except (OSError, ValueError) as error:
        sys.exit(f"same_jx4.py: {error}")
