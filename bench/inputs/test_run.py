#!/usr/bin/env python3
"""Writes a 20 MB test run: a workspace of crates whose test binaries print
thousands of passing tests, a few ignored ones and a handful of failures
with their panic messages, in the shape cargo test prints them."""
import random
import sys

TARGET_BYTES = 20 * 1024 * 1024
WORDS = ("parse", "render", "order", "invoice", "cart", "token", "session", "cache", "retry", "queue",
         "refund", "ledger", "schema", "index", "route", "buffer", "stream", "codec", "merge", "limit")
MODULES = ("api", "db", "model", "handlers", "util", "auth", "billing", "search", "sync", "io")


def test_name(rng):
    return "{}::{}::{}_{}_{}".format(rng.choice(MODULES), rng.choice(MODULES), rng.choice(WORDS),
                                     rng.choice(WORDS), rng.randrange(10000))


def crate_block(rng, index, failing):
    name = "crate_{:04d}".format(index)
    count = rng.randrange(150, 400)
    tests = [test_name(rng) for _ in range(count)]
    failed = set(rng.sample(range(count), 1)) if failing else set()
    lines = ["     Running unittests src/lib.rs (target/debug/deps/{}-{:016x})".format(name, rng.getrandbits(64)),
             "", "running {} tests".format(count)]
    ignored = 0
    for k, t in enumerate(tests):
        if k in failed:
            lines.append("test {} ... FAILED".format(t))
        elif rng.random() < 0.01:
            ignored += 1
            lines.append("test {} ... ignored".format(t))
        else:
            lines.append("test {} ... ok".format(t))
    if failed:
        lines += ["", "failures:", ""]
        for k in sorted(failed):
            lines += ["---- {} stdout ----".format(tests[k]),
                      "thread '{}' panicked at src/{}.rs:{}:9:".format(tests[k], rng.choice(MODULES),
                                                                     rng.randrange(20, 900)),
                      "assertion `left == right` failed", "  left: {}".format(rng.randrange(100)),
                      " right: {}".format(rng.randrange(100)),
                      "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace", ""]
        lines += ["", "failures:"] + ["    " + tests[k] for k in sorted(failed)]
    passed = count - len(failed) - ignored
    status = "FAILED" if failed else "ok"
    lines += ["", "test result: {}. {} passed; {} failed; {} ignored; 0 measured; 0 filtered out; "
              "finished in {:.2f}s".format(status, passed, len(failed), ignored, rng.random() * 3), ""]
    return "\n".join(lines) + "\n"


def main():
    rng = random.Random(4242)
    out = ["   Compiling workspace v0.1.0 (/home/dev/workspace)\n",
           "    Finished `test` profile [unoptimized + debuginfo] target(s) in 41.27s\n"]
    size = sum(len(s) for s in out)
    index = 0
    while size < TARGET_BYTES:
        block = crate_block(rng, index, failing=index % 97 == 13)
        out.append(block)
        size += len(block)
        index += 1
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        f.write("".join(out))


if __name__ == "__main__":
    main()
