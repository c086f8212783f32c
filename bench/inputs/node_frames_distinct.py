#!/usr/bin/env python3
"""A Node.js error headline followed by about 40 MB of distinct stack
frames, each naming its own function, file and position.
Usage: node_frames_distinct.py OUT_PATH"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402


def pieces():
    yield "Error: boom\n"
    n = 0
    while True:
        lines = []
        for _ in range(1000):
            n += 1
            lines.append(f"    at handler{n} (/srv/app/src/mod{n % 97}.js:{n % 5000}:{n % 80})\n")
        yield "".join(lines)


if __name__ == "__main__":
    write_until(sys.argv[1], 40_000_000, pieces())
