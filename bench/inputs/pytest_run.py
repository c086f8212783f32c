#!/usr/bin/env python3
"""About 20 MB of a verbose pytest run: the session header, hundreds of
thousands of PASSED lines (with some SKIPPED and XFAIL) across many test
modules with parametrised ids, a handful of FAILED tests with their
failure sections, the short summary and the closing count line."""
import random
import sys

TARGET = 20_000_000
WIDTH = 80
rng = random.Random(1234)

PKGS = ["tests/unit", "tests/integration", "tests/api", "tests/models", "tests/services/billing"]
SUBJECTS = ["user", "order", "invoice", "cart", "search", "token", "session", "parser", "cache", "money"]
VERBS = ["creates", "rejects", "updates", "deletes", "serialises", "parses", "validates", "rounds", "retries"]


def centred(title, fill="="):
    if not title:
        return fill * WIDTH
    title = " " + title + " "
    left = (WIDTH - len(title)) // 2
    return fill * max(left, 1) + title + fill * max(WIDTH - left - len(title), 1)


def plan():
    tests, seen, size = [], set(), 0
    while size < TARGET:
        module = "{}/test_{}_{}.py".format(rng.choice(PKGS), rng.choice(SUBJECTS), len(tests) // 40)
        cls = "" if rng.random() < 0.6 else "Test{}::".format(rng.choice(SUBJECTS).capitalize())
        for _ in range(rng.randint(10, 70)):
            name = "test_{}_{}".format(rng.choice(VERBS), rng.choice(SUBJECTS))
            if rng.random() < 0.4:
                name += "[{}-{}]".format(rng.choice(["case", "utf8", "empty", "big"]), rng.randint(0, 50))
            if (module, cls + name) in seen:
                continue
            seen.add((module, cls + name))
            tests.append((module, cls + name))
            size += max(WIDTH, len(module) + len(cls) + len(name) + 16) + 1
    return tests


def main(out_path):
    tests = plan()
    total = len(tests)
    failed_at = set(rng.sample(range(total), 5))
    out = []
    out.append(centred("test session starts"))
    out.append("platform linux -- Python 3.11.2, pytest-7.2.1, pluggy-1.0.0 -- /usr/bin/python3")
    out.append("cachedir: .pytest_cache")
    out.append("rootdir: /home/dev/shop, configfile: pyproject.toml, testpaths: tests")
    out.append("plugins: cov-4.0.0, xdist-3.1.0, timeout-2.1.0")
    out.append("collecting ... collected {} items".format(total))
    out.append("")
    counts = {"passed": 0, "failed": 0, "skipped": 0, "xfailed": 0}
    failures = []
    for i, (module, name) in enumerate(tests):
        if i in failed_at:
            word, key = "FAILED", "failed"
            failures.append((module, name))
        else:
            r = rng.random()
            word, key = ("SKIPPED", "skipped") if r < 0.01 else ("XFAIL", "xfailed") if r < 0.012 else ("PASSED", "passed")
        counts[key] += 1
        head = "{}::{} {}".format(module, name, word)
        pct = "[{:3d}%]".format((i + 1) * 100 // total)
        out.append(head + " " * max(1, WIDTH - len(head) - len(pct)) + pct)
    out.append("")
    out.append(centred("FAILURES"))
    for module, name in failures:
        out.append(centred(name.replace("::", "."), "_"))
        out.append("")
        func = name.split("::")[-1].split("[")[0]
        out.append("    def {}({}):".format(func, "self" if "::" in name else ""))
        out.append("        result = compute_total([Item(price=10), Item(price=5)], discount=0.1)")
        out.append(">       assert result == Decimal(\"13.50\")")
        out.append("E       AssertionError: assert Decimal('13.49') == Decimal('13.50')")
        out.append("E        +  where Decimal('13.49') = compute_total([...], discount=0.1)")
        out.append("")
        out.append("{}:{}: AssertionError".format(module, rng.randint(10, 400)))
        out.append(centred("Captured log call", "-"))
        out.append("WARNING  shop.pricing:pricing.py:88 rounding drift 0.01 on order 4411")
    out.append(centred("short test summary info"))
    for module, name in failures:
        out.append("FAILED {}::{} - AssertionError: assert Decimal('13.49') == Decimal('13.50')".format(module, name))
    summary = "{} failed, {} passed, {} skipped, {} xfailed in 1843.27s (0:30:43)".format(
        counts["failed"], counts["passed"], counts["skipped"], counts["xfailed"])
    out.append(centred(summary))
    with open(out_path, "w", encoding="utf-8", newline="\n") as f:
        for k in range(0, len(out), 50000):
            f.write("\n".join(out[k:k + 50000]) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
