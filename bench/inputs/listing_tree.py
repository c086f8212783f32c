#!/usr/bin/env python3
"""About 100 MB of `find .` output over many checked-out projects, each with
its node_modules, target, .git and venv directories beside the sources:
the generated and vendor directories make up most of the lines."""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402

TARGET = 100_000_000
rng = random.Random(777)

WORDS = ["alpha", "bravo", "cargo", "delta", "ember", "forge", "gamma", "harbor", "index", "jolt", "kite",
         "lumen", "mesa", "nova", "orbit", "pixel", "quartz", "relay", "sigma", "tango"]
NPM = ["react", "react-dom", "lodash", "@babel/core", "@babel/parser", "@types/node", "typescript", "eslint",
       "webpack", "chalk", "debug", "semver", "glob", "yargs", "express", "axios", "iconv-lite", "picomatch"]
PY = ["pip", "setuptools", "requests", "urllib3", "idna", "certifi", "charset_normalizer", "numpy", "yaml"]


def word():
    return rng.choice(WORDS)


def project_lines(project):
    """The lines of one checked-out project, the project's own directory first."""
    root = "./{}-{}".format(word(), project)
    yield root
    for d in ["src", "src/bin", "tests", "docs"]:
        yield root + "/" + d
        for i in range(rng.randint(2, 15)):
            yield "{}/{}/{}_{}.{}".format(root, d, word(), i, rng.choice(["rs", "py", "ts", "md"]))
    for f in ["Cargo.toml", "package.json", "README.md", ".gitignore"]:
        yield root + "/" + f
    nm = root + "/node_modules"
    yield nm
    for pkg in rng.sample(NPM, rng.randint(4, 12)):
        p = nm + "/" + pkg
        yield p
        for f in ["package.json", "README.md", "LICENSE", "index.js"]:
            yield p + "/" + f
        for i in range(rng.randint(5, 30)):
            yield "{}/lib/{}-{}.js".format(p, word(), i)
    tgt = root + "/target/debug"
    yield root + "/target"
    yield tgt
    for i in range(rng.randint(10, 60)):
        yield "{}/deps/{}-{:016x}.{}".format(tgt, word(), rng.getrandbits(64), rng.choice(["d", "rlib", "rmeta"]))
    git = root + "/.git"
    yield git
    for f in ["HEAD", "config", "description", "index", "packed-refs"]:
        yield git + "/" + f
    for _ in range(rng.randint(20, 120)):
        h = "{:040x}".format(rng.getrandbits(160))
        yield "{}/objects/{}/{}".format(git, h[:2], h[2:])
    venv = root + "/venv"
    yield venv
    for f in ["bin/activate", "bin/python3", "pyvenv.cfg"]:
        yield venv + "/" + f
    for pkg in rng.sample(PY, rng.randint(2, 6)):
        base = "{}/lib/python3.11/site-packages/{}".format(venv, pkg)
        yield base
        for i in range(rng.randint(3, 25)):
            yield "{}/{}_{}.py".format(base, word(), i)


def blocks():
    # Whole projects, so the size check falls between projects.
    yield ".\n"
    project = 0
    while True:
        project += 1
        yield "".join(line + "\n" for line in project_lines(project))


if __name__ == "__main__":
    write_until(sys.argv[1], TARGET, blocks())
