"""What the generators of the newer inputs share: writing pieces of text to
a file until it holds about a target number of bytes, and the directories
of a monorepo's change set."""

TOP = ["services", "packages", "libs", "apps", "tools", "vendor"]
MID = ["src", "src/components", "src/server", "src/util", "tests/unit", "tests/e2e", "assets/img", "docs"]
STEMS = ["index", "main", "model", "view", "store", "client", "router", "schema", "worker", "format"]
EXTS = [".ts", ".tsx", ".go", ".rs", ".py", ".css", ".png", ".md"]


def module_dirs(rng):
    """Yields, for ever, the changed directories of one module after another."""
    module = 0
    while True:
        module += 1
        root = f"{rng.choice(TOP)}/module-{module}"
        yield [f"{root}/{mid}" for mid in rng.sample(MID, rng.randint(3, 6))]


def write_until(out_path, target_bytes, pieces, tail=None, newline="\n"):
    """Writes the strings that the iterator `pieces` yields until at least
    `target_bytes` bytes are written (the last piece whole), then what
    `tail()` returns, when given."""
    written = 0
    with open(out_path, "w", encoding="utf-8", newline=newline, buffering=1 << 22) as out:
        for piece in pieces:
            out.write(piece)
            written += len(piece.encode())
            if written >= target_bytes:
                break
        if tail:
            out.write(tail())
