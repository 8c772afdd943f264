#!/usr/bin/env python3
"""Writes the benchmark's mixed payload: a deterministic folder of files totalling SIZE MiB.

Shares of the total: 40 % text-like files (zlib shrinks them about 3:1), 25 % random bytes (do not
shrink), 10 % long runs of a few byte values (shrink about 100:1), 25 % small files of 4 to 60 KiB
of mixed kinds in subfolders. Usage: make_payload.py FOLDER SIZE_MIB
"""
import os
import random
import sys

WORDS = ("setup engine package record stream folder install product update agent version window "
         "message progress extract archive trailer checksum language charset button caption drive "
         "space cluster temporary option switch command parameter").split()


def text_bytes(rng, n):
    out = bytearray()
    while len(out) < n:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 14)))
        out += f"{rng.randint(0, 99999):05d} {line}.\r\n".encode()
    return bytes(out[:n])


def random_bytes(rng, n):
    return rng.randbytes(n)


def runs_bytes(rng, n):
    out = bytearray()
    while len(out) < n:
        out += bytes([rng.choice((0, 0, 0, 0xFF, 0x20))]) * rng.randint(512, 65536)
    return bytes(out[:n])


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    root, total = sys.argv[1], int(sys.argv[2]) * 1048576
    rng = random.Random(20240611)
    chunk = 8 * 1048576

    def big_files(kind, share, prefix, maker):
        left = int(total * share)
        i = 0
        while left > 0:
            n = min(left, rng.randint(chunk // 2, chunk * 3))
            write(os.path.join(root, kind, f"{prefix}{i:03d}.dat"), maker(rng, n))
            left -= n
            i += 1

    big_files("text", 0.40, "doc", text_bytes)
    big_files("media", 0.25, "blob", random_bytes)
    big_files("images", 0.10, "raw", runs_bytes)
    left, i = int(total * 0.25), 0
    makers = (text_bytes, random_bytes, runs_bytes)
    while left > 0:
        n = min(left, rng.randint(4096, 61440))
        write(os.path.join(root, "small", f"dir{i % 40:02d}", f"item{i:05d}.bin"), makers[i % 3](rng, n))
        left -= n
        i += 1


if __name__ == "__main__":
    main()
