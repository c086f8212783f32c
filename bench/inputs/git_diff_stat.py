#!/usr/bin/env python3
"""About 50 MB of `git diff --stat` over a large change set: one stat line
per file (path, bar, change count and a bar graph) and git's summary line
at the end. Usage: git_diff_stat.py OUT_PATH"""
import random
import sys

TARGET = 50_000_000
rng = random.Random(9090)

TOP = ["services", "packages", "libs", "apps", "tools", "vendor"]
MID = ["src", "src/components", "src/server", "src/util", "tests/unit", "tests/e2e", "assets/img", "docs"]
STEMS = ["index", "main", "model", "view", "store", "client", "router", "schema", "worker", "format"]
EXTS = [".ts", ".tsx", ".go", ".rs", ".py", ".css", ".png", ".md"]


def main(out_path):
    written = 0
    files = insertions = deletions = 0
    with open(out_path, "w", encoding="utf-8", buffering=1 << 22) as out:
        project = 0
        while written < TARGET:
            project += 1
            root = f"{rng.choice(TOP)}/module-{project}"
            for mid in rng.sample(MID, rng.randint(3, 6)):
                for i in range(rng.randint(5, 60)):
                    ext = rng.choice(EXTS)
                    path = f"{root}/{mid}/{rng.choice(STEMS)}_{i}{ext}"
                    if ext == ".png":
                        stat = f"Bin {rng.randrange(100, 9000)} -> {rng.randrange(100, 9000)} bytes"
                    else:
                        plus, minus = rng.randrange(0, 120), rng.randrange(0, 60)
                        insertions += plus
                        deletions += minus
                        scale = max(1, (plus + minus + 39) // 40)
                        stat = f"{plus + minus} {'+' * (plus // scale)}{'-' * (minus // scale)}"
                    line = f" {path} | {stat}\n"
                    out.write(line)
                    written += len(line)
                    files += 1
        out.write(f" {files} files changed, {insertions} insertions(+), {deletions} deletions(-)\n")


if __name__ == "__main__":
    main(sys.argv[1])
