#!/usr/bin/env python3
"""About 100 MB of a recursive file listing in the style of `find .` over a
large monorepo: sources, tests, build output, dependency directories and
version-control objects, deep paths and long runs of siblings."""
import random
import sys

TARGET = 100_000_000
rng = random.Random(4242)

TOP = ["services", "packages", "libs", "apps", "tools", "docs", "infra"]
WORDS = ["auth", "billing", "catalog", "checkout", "common", "core", "events", "gateway", "inventory",
         "ledger", "mailer", "metrics", "notify", "orders", "payments", "profile", "search", "session",
         "shipping", "storage", "users", "util", "web", "worker", "admin", "api", "cli", "config"]
SUBDIRS = ["src", "src/components", "src/hooks", "src/lib", "src/pages", "src/server", "src/utils",
           "tests", "tests/unit", "tests/integration", "dist", "dist/assets", "build/classes",
           "node_modules/.cache", "target/debug/deps", "__pycache__", "fixtures", "migrations"]
EXTS = {"src": [".ts", ".tsx", ".js", ".py", ".go", ".rs", ".java", ".css", ".json"],
        "tests": ["_test.go", ".test.ts", ".spec.js", "_test.py", ".snap"],
        "dist": [".js", ".js.map", ".css", ".html"],
        "build": [".class"], "node_modules": [".json", ".pack"], "target": [".rlib", ".rmeta", ".d", ".o"],
        "__pycache__": [".cpython-311.pyc"], "fixtures": [".json", ".yaml", ".csv", ".txt"],
        "migrations": [".sql"]}
NPM = ["react", "react-dom", "lodash", "@babel/core", "@types/node", "typescript", "eslint", "webpack",
       "chalk", "commander", "debug", "ms", "semver", "glob", "minimatch", "yargs", "express", "axios"]


def stem():
    a = rng.choice(WORDS)
    r = rng.random()
    if r < 0.3:
        return a + "_" + rng.choice(WORDS)
    if r < 0.5:
        return a.capitalize() + rng.choice(WORDS).capitalize()
    if r < 0.6:
        return "{}-{:08x}".format(a, rng.getrandbits(32))
    return a


def main(out_path):
    written = 0
    # A large buffer keeps the writes to the file in big chunks.
    with open(out_path, "w", encoding="utf-8", newline="\n", buffering=1 << 22) as out:
        def emit(line):
            nonlocal written
            out.write(line + "\n")
            written += len(line) + 1

        emit(".")
        project = 0
        while written < TARGET:
            project += 1
            root = "./{}/{}-{}".format(rng.choice(TOP), rng.choice(WORDS), project)
            emit(root)
            seen = set()
            for sub in rng.sample(SUBDIRS, rng.randint(4, 10)):
                d = root
                for part in sub.split("/"):
                    d += "/" + part
                    if d not in seen:
                        seen.add(d)
                        emit(d)
                kind = sub.split("/")[0]
                exts = EXTS.get(kind, [".txt"])
                for _ in range(rng.randint(3, 60)):
                    emit("{}/{}{}".format(d, stem(), rng.choice(exts)))
                if kind == "src" and rng.random() < 0.3:
                    deep = d
                    for _ in range(rng.randint(2, 7)):
                        deep += "/" + rng.choice(WORDS)
                        emit(deep)
                    for _ in range(rng.randint(2, 20)):
                        emit("{}/{}{}".format(deep, stem(), rng.choice(exts)))
            if rng.random() < 0.25:
                nm = root + "/node_modules"
                if nm not in seen:
                    emit(nm)
                for pkg in rng.sample(NPM, rng.randint(3, 10)):
                    p = nm + "/" + pkg
                    emit(p)
                    for f in ["package.json", "README.md", "LICENSE", "index.js", "index.d.ts"]:
                        emit(p + "/" + f)
                    for _ in range(rng.randint(5, 40)):
                        emit("{}/lib/{}.js".format(p, stem()))
            if rng.random() < 0.1:
                g = root + "/.git/objects"
                emit(g)
                for _ in range(rng.randint(50, 300)):
                    h = "{:040x}".format(rng.getrandbits(160))
                    emit("{}/{}/{}".format(g, h[:2], h[2:]))


if __name__ == "__main__":
    main(sys.argv[1])
