#!/usr/bin/env python3
"""publish_app.py <program.exe> <size> <out.exe>: the demo application padded
to the size of the real one (29,011,464 bytes), with data that compresses
about as well as a real program, so downloads and progress look real.
The padding sits after the image, where Windows ignores it."""
import random
import sys

program, size, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
data = bytearray(open(program, "rb").read())
rng = random.Random(20261207)
words = [bytes(rng.randrange(256) for _ in range(rng.randrange(4, 24))) for _ in range(512)]
while len(data) < size:
    block = bytearray(rng.randbytes(1536))
    while len(block) < 4096:
        block += words[rng.randrange(len(words))]
    data += block[:4096]
open(out, "wb").write(bytes(data[:size]))
