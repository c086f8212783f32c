#!/usr/bin/env python3
"""Writes a ~50 MB `git log -p` transcript: commits with messages and many
diff sections (hunks with context, new, deleted and renamed files, binary
patches). Usage: git_log_patch.py OUT_PATH"""
import random
import sys

TARGET_BYTES = 50 * 1024 * 1024
rng = random.Random(20240603)

DIRS = ["src/core", "src/filters/git", "src/filters/diff", "src/platform/io", "tests/unit",
        "tests/integration/fixtures", "docs/guide", "tools/release", "lib/vendor/parser"]
STEMS = ["reader", "writer", "buffer", "engine", "session", "config", "parser", "render",
         "index", "cache", "worker", "scheduler", "report", "walker", "format"]
EXTS = [".rs", ".cpp", ".h", ".py", ".ts", ".md"]
WORDS = ["value", "count", "input", "result", "buffer", "offset", "length", "state", "config",
         "handle", "entry", "limit", "items", "total", "index", "error", "option", "cursor"]
AUTHORS = ["Ada Byron <ada@example.org>", "Lin Chen <lin@example.org>", "Sam Okafor <sam@example.org>",
           "Rosa Diaz <rosa@example.org>"]
B85 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz!#$%&()*+-;<=>?@^_`{|}~"


def hexid(n):
    return "".join(rng.choice("0123456789abcdef") for _ in range(n))


def path():
    return f"{rng.choice(DIRS)}/{rng.choice(STEMS)}_{rng.randrange(40)}{rng.choice(EXTS)}"


def code_line():
    a, b, c = rng.sample(WORDS, 3)
    indent = " " * rng.choice([0, 4, 4, 8, 8, 12])
    form = rng.randrange(5)
    if form == 0:
        return f"{indent}let {a}_{b} = {c}.{b}({rng.randrange(1000)});"
    if form == 1:
        return f"{indent}if {a} > {b} {{ return {c}; }}"
    if form == 2:
        return f"{indent}// {a} {b} {c}: keep the {b} in sync with the {c}"
    if form == 3:
        return f"{indent}{a}.push({b}_{c}[{rng.randrange(64)}]);"
    return ""


def hunk(out, start):
    before = rng.randrange(1, 4)
    after = rng.randrange(1, 4)
    removed = rng.randrange(0, 4)
    added = rng.randrange(1 if removed == 0 else 0, 5)
    old_len = before + removed + after
    new_len = before + added + after
    out.append(f"@@ -{start},{old_len} +{start},{new_len} @@ fn {rng.choice(WORDS)}_{rng.choice(STEMS)}()")
    for _ in range(before):
        out.append(" " + code_line())
    for _ in range(removed):
        out.append("-" + code_line())
    for _ in range(added):
        out.append("+" + code_line())
    for _ in range(after):
        out.append(" " + code_line())
    return start + old_len + rng.randrange(10, 80)


def modified(out):
    p = path()
    out += [f"diff --git a/{p} b/{p}", f"index {hexid(7)}..{hexid(7)} 100644", f"--- a/{p}", f"+++ b/{p}"]
    start = rng.randrange(1, 50)
    for _ in range(rng.randrange(1, 5)):
        start = hunk(out, start)
    if rng.random() < 0.05:
        out.append("\\ No newline at end of file")


def created(out):
    p = path()
    n = rng.randrange(3, 30)
    out += [f"diff --git a/{p} b/{p}", "new file mode 100644", f"index 0000000..{hexid(7)}", "--- /dev/null",
            f"+++ b/{p}", f"@@ -0,0 +1,{n} @@"]
    out += ["+" + code_line() for _ in range(n)]


def deleted(out):
    p = path()
    n = rng.randrange(3, 20)
    out += [f"diff --git a/{p} b/{p}", "deleted file mode 100644", f"index {hexid(7)}..0000000", f"--- a/{p}",
            "+++ /dev/null", f"@@ -1,{n} +0,0 @@"]
    out += ["-" + code_line() for _ in range(n)]


def renamed(out):
    a, b = path(), path()
    out += [f"diff --git a/{a} b/{b}", f"similarity index {rng.randrange(80, 101)}%", f"rename from {a}",
            f"rename to {b}"]
    if rng.random() < 0.5:
        out += [f"index {hexid(7)}..{hexid(7)} 100644", f"--- a/{a}", f"+++ b/{b}"]
        hunk(out, rng.randrange(1, 200))


def binary(out):
    p = f"assets/img/{rng.choice(STEMS)}_{rng.randrange(40)}.png"
    out += [f"diff --git a/{p} b/{p}", f"index {hexid(7)}..{hexid(7)} 100644", "GIT binary patch"]
    for _ in range(2):
        out.append(f"literal {rng.randrange(200, 4000)}")
        for _ in range(rng.randrange(3, 25)):
            out.append(rng.choice("zZyX") + "".join(rng.choice(B85) for _ in range(52)))
        out.append("")


KINDS = [(modified, 70), (created, 10), (deleted, 6), (renamed, 8), (binary, 6)]


def commit(out):
    out.append(f"commit {hexid(40)}")
    out.append(f"Author: {rng.choice(AUTHORS)}")
    out.append(f"Date:   Mon Jun {rng.randrange(1, 29)} {rng.randrange(24):02}:{rng.randrange(60):02}:00 2024 +0200")
    out.append("")
    out.append(f"    {rng.choice(['Fix', 'Add', 'Refactor', 'Speed up', 'Document'])} the "
               f"{rng.choice(WORDS)} handling in {rng.choice(STEMS)}")
    if rng.random() < 0.5:
        out.append("")
        out.append(f"    The {rng.choice(WORDS)} was read twice when the {rng.choice(WORDS)} was empty.")
    out.append("")
    funcs, weights = zip(*KINDS)
    for _ in range(rng.randrange(1, 8)):
        rng.choices(funcs, weights)[0](out)
    out.append("")


def main():
    size = 0
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        while size < TARGET_BYTES:
            out = []
            for _ in range(200):
                commit(out)
            chunk = "\n".join(out) + "\n"
            f.write(chunk)
            size += len(chunk.encode())


if __name__ == "__main__":
    main()
