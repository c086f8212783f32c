#!/usr/bin/env python3
"""Writes a ~50 MB `git log -p --abbrev-commit` transcript of a C project:
7-hex commit headers, multi-paragraph messages and hunks of C code, with
no traceback or test output anywhere, so that every detector that scores
lines reads all of them. Usage: git_log_abbrev.py OUT_PATH"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402

TARGET_BYTES = 50 * 1024 * 1024
rng = random.Random(7310)

DIRS = ["src", "src/net", "src/storage", "include/app", "lib/compat", "tests", "doc"]
STEMS = ["socket", "pool", "queue", "page", "btree", "wal", "lock", "hash", "arena", "timer"]
EXTS = [".c", ".h", ".c", ".c", ".md"]
NAMES = ["len", "buf", "pos", "cap", "node", "key", "ret", "fd", "flags", "page", "slot", "tail"]
AUTHORS = ["Mira Holm <mira@example.net>", "Tomas Reyes <tomas@example.net>", "Ines Park <ines@example.net>"]
SUBJECTS = ["Avoid a copy of the {} in {}", "Check the {} before {} grows", "Keep the {} aligned in {}",
            "Split {} handling out of {}", "Document how {} reaches {}"]


def hexid(n):
    return "".join(rng.choice("0123456789abcdef") for _ in range(n))


def path():
    return f"{rng.choice(DIRS)}/{rng.choice(STEMS)}{rng.choice(EXTS)}"


def c_line():
    a, b = rng.sample(NAMES, 2)
    indent = "\t" * rng.choice([1, 1, 2, 2, 3])
    form = rng.randrange(4)
    if form == 0:
        return f"{indent}if ({a} > {b}) return -{rng.randrange(1, 30)};"
    if form == 1:
        return f"{indent}{a} = {rng.choice(STEMS)}_{b}({a}, {rng.randrange(4096)});"
    if form == 2:
        return f"{indent}memcpy({a} + {b}, src, sizeof(*{a}));"
    return f"{indent}/* {a} stays below {b} */"


def section(out):
    p = path()
    out += [f"diff --git a/{p} b/{p}", f"index {hexid(7)}..{hexid(7)} 100644", f"--- a/{p}", f"+++ b/{p}"]
    start = rng.randrange(1, 400)
    for _ in range(rng.randrange(1, 4)):
        ctx = rng.randrange(2, 4)
        removed = rng.randrange(0, 3)
        added = rng.randrange(1, 5)
        out.append(f"@@ -{start},{2 * ctx + removed} +{start},{2 * ctx + added} @@ static int {rng.choice(STEMS)}_{rng.choice(NAMES)}(void)")
        out += [" " + c_line() for _ in range(ctx)]
        out += ["-" + c_line() for _ in range(removed)]
        out += ["+" + c_line() for _ in range(added)]
        out += [" " + c_line() for _ in range(ctx)]
        start += rng.randrange(20, 90)


def commit(out):
    out.append(f"commit {hexid(7)}")
    out.append(f"Author: {rng.choice(AUTHORS)}")
    out.append(f"Date:   Tue Mar {rng.randrange(1, 29)} {rng.randrange(24):02}:{rng.randrange(60):02}:{rng.randrange(60):02} 2024 +0100")
    out.append("")
    out.append("    " + rng.choice(SUBJECTS).format(rng.choice(NAMES), rng.choice(STEMS)))
    for _ in range(rng.randrange(0, 3)):
        out.append("")
        out.append(f"    The {rng.choice(NAMES)} of a {rng.choice(STEMS)} could pass its {rng.choice(NAMES)};")
        out.append(f"    this keeps it within the {rng.choice(NAMES)} it was given.")
    out.append("")
    for _ in range(rng.randrange(1, 6)):
        section(out)
    out.append("")


def chunks():
    while True:
        out = []
        for _ in range(200):
            commit(out)
        yield "\n".join(out) + "\n"


if __name__ == "__main__":
    write_until(sys.argv[1], TARGET_BYTES, chunks())
