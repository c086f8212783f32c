#!/usr/bin/env python3
"""About 50 MB of short lines coloured with terminal sequences, as a
coloured progress or status display prints them: every line is a word or
two between colour codes, so the text holds many lines for its size.
Usage: ansi_short_lines.py OUT_PATH"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402

TARGET = 50_000_000
rng = random.Random(77)
WORDS = ["ok", "done", "skip", "wait", "run", "pass", "sync", "up"]
COLOURS = ["\x1b[32m", "\x1b[33m", "\x1b[1;34m", "\x1b[2m"]


def pieces():
    while True:
        yield "".join(f"{rng.choice(COLOURS)}{rng.choice(WORDS)}\x1b[0m {rng.randint(0, 99)}\n" for _ in range(1000))


if __name__ == "__main__":
    write_until(sys.argv[1], TARGET, pieces())
