#!/usr/bin/env python3
"""About 50 MB of `git diff --stat` over a large change set: one stat line
per file (path, bar, change count and a bar graph of at most 40 signs, or
a binary size change) and git's summary line at the end.
Usage: git_diff_stat.py OUT_PATH"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import EXTS, STEMS, module_dirs, write_until  # noqa: E402

TARGET = 50_000_000
rng = random.Random(9090)
totals = {"files": 0, "insertions": 0, "deletions": 0}


def stat():
    plus, minus = rng.randrange(0, 120), rng.randrange(0, 60)
    totals["insertions"] += plus
    totals["deletions"] += minus
    scale = max(1, (plus + minus + 39) // 40)
    return f"{plus + minus} {'+' * (plus // scale)}{'-' * (minus // scale)}"


def blocks():
    for dirs in module_dirs(rng):
        lines = []
        for d in dirs:
            for i in range(rng.randint(5, 60)):
                ext = rng.choice(EXTS)
                change = (f"Bin {rng.randrange(100, 9000)} -> {rng.randrange(100, 9000)} bytes" if ext == ".png"
                          else stat())
                lines.append(f" {d}/{rng.choice(STEMS)}_{i}{ext} | {change}\n")
                totals["files"] += 1
        yield "".join(lines)

def summary():
    return " {files} files changed, {insertions} insertions(+), {deletions} deletions(-)\n".format(**totals)


if __name__ == "__main__":
    write_until(sys.argv[1], TARGET, blocks(), tail=summary)
