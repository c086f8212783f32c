#!/usr/bin/env python3
"""Writes a 20 MB `go test -json` event stream: many packages, thousands of
passing tests with their log lines, subtests, a few skips and failures, and
the package result lines."""
import json
import random
import sys

TARGET_BYTES = 20 * 1024 * 1024
WORDS = ("Parse", "Render", "Order", "Invoice", "Cart", "Token", "Session", "Cache", "Retry", "Queue",
         "Refund", "Ledger", "Schema", "Index", "Route", "Buffer", "Stream", "Codec", "Merge", "Limit")
DIRS = ("api", "store", "model", "handlers", "internal/util", "auth", "billing", "search", "sync", "io")


class Clock:
    def __init__(self):
        self.micros = 0

    def stamp(self, rng):
        self.micros += rng.randrange(1, 400)
        seconds, micros = divmod(self.micros, 1000000)
        minutes, seconds = divmod(seconds, 60)
        return "2024-05-14T10:{:02d}:{:02d}.{:06d}123+02:00".format(minutes % 60, seconds, micros)


def event(clock, rng, action, package, test=None, output=None, elapsed=None):
    e = {"Time": clock.stamp(rng), "Action": action, "Package": package}
    if test is not None:
        e["Test"] = test
    if output is not None:
        e["Output"] = output
    if elapsed is not None:
        e["Elapsed"] = elapsed
    return json.dumps(e, separators=(",", ":"))


def package_events(rng, clock, package, index):
    lines = []
    failed_package = False
    total = 0.0
    for _ in range(rng.randrange(20, 60)):
        test = "Test{}{}{}".format(rng.choice(WORDS), rng.choice(WORDS), rng.randrange(1000))
        roll = rng.random()
        fate = "fail" if roll < 0.002 else "skip" if roll < 0.01 else "pass"
        lines.append(event(clock, rng, "run", package, test))
        lines.append(event(clock, rng, "output", package, test, "=== RUN   {}\n".format(test)))
        for _ in range(rng.randrange(0, 6)):
            lines.append(event(clock, rng, "output", package, test, "    {}_test.go:{}: {} {} id={}\n".format(
                package.rsplit("/", 1)[-1], rng.randrange(10, 400), rng.choice(WORDS).lower(),
                rng.choice(WORDS).lower(), rng.getrandbits(32))))
        for sub in range(rng.randrange(0, 4)):
            name = "{}/case_{}".format(test, sub)
            lines.append(event(clock, rng, "run", package, name))
            lines.append(event(clock, rng, "output", package, name, "=== RUN   {}\n".format(name)))
            lines.append(event(clock, rng, "output", package, name, "    --- PASS: {} (0.00s)\n".format(name)))
            lines.append(event(clock, rng, "pass", package, name, elapsed=0))
        elapsed = round(rng.random() * 0.2, 2)
        total += elapsed
        if fate == "fail":
            failed_package = True
            lines.append(event(clock, rng, "output", package, test, "    {}_test.go:{}: got {}, want {}\n".format(
                package.rsplit("/", 1)[-1], rng.randrange(10, 400), rng.randrange(100), rng.randrange(100))))
            lines.append(event(clock, rng, "output", package, test, "--- FAIL: {} ({:.2f}s)\n".format(test, elapsed)))
        elif fate == "skip":
            lines.append(event(clock, rng, "output", package, test, "    {}_test.go:{}: skipping: needs database\n".format(
                package.rsplit("/", 1)[-1], rng.randrange(10, 400))))
            lines.append(event(clock, rng, "output", package, test, "--- SKIP: {} ({:.2f}s)\n".format(test, elapsed)))
        else:
            lines.append(event(clock, rng, "output", package, test, "--- PASS: {} ({:.2f}s)\n".format(test, elapsed)))
        lines.append(event(clock, rng, fate, package, test, elapsed=elapsed))
    total = round(total + 0.004, 3)
    if failed_package:
        lines.append(event(clock, rng, "output", package, None, "FAIL\n"))
        lines.append(event(clock, rng, "output", package, None, "FAIL\t{}\t{:.3f}s\n".format(package, total)))
        lines.append(event(clock, rng, "fail", package, elapsed=total))
    else:
        lines.append(event(clock, rng, "output", package, None, "PASS\n"))
        lines.append(event(clock, rng, "output", package, None, "ok  \t{}\t{:.3f}s\n".format(package, total)))
        lines.append(event(clock, rng, "pass", package, elapsed=total))
    return "\n".join(lines) + "\n"


def main():
    rng = random.Random(4242)
    clock = Clock()
    out = []
    size = 0
    index = 0
    while size < TARGET_BYTES:
        package = "example.com/shop/{}/{}{}".format(rng.choice(DIRS), rng.choice(WORDS).lower(), index)
        block = package_events(rng, clock, package, index)
        out.append(block)
        size += len(block)
        index += 1
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        f.write("".join(out))


if __name__ == "__main__":
    main()
