#!/usr/bin/python3
"""Times Pillow's BILINEAR resize on the same work as resample_bench (for comparison)."""
import random
import statistics
import sys
import timeit

from PIL import Image


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 9
    random.seed(1)
    src = Image.frombytes("RGB", (4000, 3000), random.randbytes(4000 * 3000 * 3))
    for size in ((1000, 750), (256, 256)):
        times = timeit.repeat(lambda: src.resize(size, Image.BILINEAR), number=1, repeat=repeats)
        print(f"Pillow {Image.__version__} BILINEAR 4000x3000 -> {size[0]}x{size[1]}: "
              f"median {statistics.median(times) * 1000:.2f} ms, min {min(times) * 1000:.2f} ms")


if __name__ == "__main__":
    main()
