#!/usr/bin/env python3
"""About 50 MB of `git status --short --branch` over a monorepo with a
large change set: a branch line, then modified, added, deleted, renamed
and untracked paths that share their directories as a real tree does.
Usage: git_status_short.py OUT_PATH"""
import random
import sys

TARGET = 50_000_000
rng = random.Random(8080)

TOP = ["services", "packages", "libs", "apps", "tools", "vendor"]
MID = ["src", "src/components", "src/server", "src/util", "tests/unit", "tests/e2e", "assets/img", "docs"]
STEMS = ["index", "main", "model", "view", "store", "client", "router", "schema", "worker", "format"]
EXTS = [".ts", ".tsx", ".go", ".rs", ".py", ".css", ".png", ".md"]
CODES = [" M", " M", " M", "M ", "A ", " D", "MM", "??", "??"]


def main(out_path):
    written = 0
    with open(out_path, "w", encoding="utf-8", buffering=1 << 22) as out:
        out.write("## main...origin/main [ahead 3, behind 1]\n")
        project = 0
        while written < TARGET:
            project += 1
            root = f"{rng.choice(TOP)}/module-{project}"
            for mid in rng.sample(MID, rng.randint(3, 6)):
                code = rng.choice(CODES)
                for i in range(rng.randint(5, 60)):
                    path = f"{root}/{mid}/{rng.choice(STEMS)}_{i}{rng.choice(EXTS)}"
                    if code == "R ":
                        path = f"{root}/{mid}/old_{i}.ts -> {path}"
                    line = f"{code} {path}\n"
                    out.write(line)
                    written += len(line)


if __name__ == "__main__":
    main(sys.argv[1])
