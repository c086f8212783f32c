#!/usr/bin/env python3
"""A Node.js error headline followed by about 30 MB of one stack frame
repeated, as a runaway recursion prints it.
Usage: node_frames_same.py OUT_PATH"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402


def pieces():
    yield "Error: boom\n"
    block = "    at f (file.js:1:1)\n" * 1000
    while True:
        yield block


if __name__ == "__main__":
    write_until(sys.argv[1], 30_000_000, pieces())
