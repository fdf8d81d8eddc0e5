#!/usr/bin/env python3
"""make_update.py <release.exe> <update.exe>: the stand-in of the next
version: the release with 4 KiB inserted near the start and 16 bytes changed
in three places further on, all in the padding after the image, so that the
program still starts."""
import sys

data = bytearray(open(sys.argv[1], "rb").read())
inserted = bytes((i * 7 + 3) % 256 for i in range(4096))
data[1 << 20:1 << 20] = inserted
for fraction in (0.25, 0.5, 0.75):
    at = int(len(data) * fraction)
    data[at:at + 16] = bytes(b ^ 0x5A for b in data[at:at + 16])
open(sys.argv[2], "wb").write(bytes(data))
