#!/usr/bin/env python3
"""About 50 MB of compiler error lines, one diagnostic a line with no source
excerpts: `src/a.c:LINE:COL: error: ...`, messages from a small set, as a
build that fails the same way in many places prints them.
Usage: compiler_error_lines.py OUT_PATH"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402

TARGET = 50_000_000
rng = random.Random(4242)
MESSAGES = [
    "error: 'count' undeclared (first use in this function)",
    "error: expected ';' before '}' token",
    "error: implicit declaration of function 'frob' [-Wimplicit-function-declaration]",
    "error: incompatible types when assigning to type 'int' from type 'char *'",
]


def pieces():
    while True:
        yield "".join(f"src/a.c:{rng.randint(1, 9999)}:{rng.randint(1, 80)}: {rng.choice(MESSAGES)}\n" for _ in range(1000))


if __name__ == "__main__":
    write_until(sys.argv[1], TARGET, pieces())
