#!/usr/bin/env python3
"""About 50 MB of `git status --short --branch` over a monorepo with a
large change set: a branch line, then modified, added, deleted, renamed
and untracked paths that share their directories as a real tree does.
Usage: git_status_short.py OUT_PATH"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import EXTS, STEMS, module_dirs, write_until  # noqa: E402

TARGET = 50_000_000
rng = random.Random(8080)
CODES = [" M", " M", " M", "M ", "A ", " D", "MM", "??", "??", "R "]


def blocks():
    yield "## main...origin/main [ahead 3, behind 1]\n"
    for dirs in module_dirs(rng):
        lines = []
        for d in dirs:
            code = rng.choice(CODES)
            for i in range(rng.randint(5, 60)):
                path = f"{d}/{rng.choice(STEMS)}_{i}{rng.choice(EXTS)}"
                if code == "R ":
                    path = f"{d}/old_{i}.ts -> {path}"
                lines.append(f"{code} {path}\n")
        yield "".join(lines)

if __name__ == "__main__":
    write_until(sys.argv[1], TARGET, blocks())
