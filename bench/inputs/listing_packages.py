#!/usr/bin/env python3
"""About 100 MB of `find .` over a workspace of many projects, each with
its dependency and build trees: node_modules with nested packages, Rust
target directories, .git object stores and Python virtual environments,
so that most paths lie under directories a listing summary leaves out.
Usage: listing_packages.py OUT_PATH"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402

TARGET = 100_000_000
rng = random.Random(5151)

NPM = ["react", "react-dom", "lodash", "@babel/core", "@babel/parser", "@types/node", "typescript", "eslint",
       "webpack", "chalk", "commander", "debug", "ms", "semver", "glob", "minimatch", "yargs", "express", "axios"]
CRATES = ["serde", "serde_json", "tokio", "regex", "syn", "quote", "proc-macro2", "libc", "memchr", "rand"]
PYPI = ["requests", "urllib3", "numpy", "pandas", "pip", "setuptools", "idna", "certifi", "six", "attrs"]
SRC = ["index", "main", "util", "config", "server", "client", "parser", "model", "view", "store"]


def hexid(n):
    return "".join(rng.choice("0123456789abcdef") for _ in range(n))


def projects():
    yield ".\n"
    project = 0
    while True:
        project += 1
        lines = []
        emit = lines.append
        root = f"./project-{project}"
        emit(root)
        for name in rng.sample(SRC, 5):
            emit(f"{root}/src/{name}.{rng.choice(['ts', 'rs', 'py'])}")
        nm = f"{root}/node_modules"
        emit(nm)
        for pkg in rng.sample(NPM, rng.randint(6, 14)):
            base = f"{nm}/{pkg}"
            emit(base)
            emit(f"{base}/package.json")
            for i in range(rng.randint(5, 40)):
                emit(f"{base}/{rng.choice(['lib', 'dist', 'cjs', 'esm'])}/{rng.choice(SRC)}{i}.js")
            if rng.random() < 0.4:
                nested = f"{base}/node_modules/{rng.choice(NPM)}"
                for i in range(rng.randint(3, 15)):
                    emit(f"{nested}/lib/{rng.choice(SRC)}{i}.js")
        tgt = f"{root}/target/debug"
        for crate in rng.sample(CRATES, rng.randint(3, 8)):
            h = hexid(16)
            for ext in (".d", ".rlib", ".rmeta"):
                emit(f"{tgt}/deps/lib{crate.replace('-', '_')}-{h}{ext}")
            for i in range(rng.randint(2, 10)):
                emit(f"{tgt}/build/{crate}-{h}/out/{rng.choice(SRC)}{i}.rs")
        for _ in range(rng.randint(10, 60)):
            emit(f"{root}/.git/objects/{hexid(2)}/{hexid(38)}")
        venv = f"{root}/venv/lib/python3.11/site-packages"
        for pkg in rng.sample(PYPI, rng.randint(3, 8)):
            for i in range(rng.randint(4, 25)):
                emit(f"{venv}/{pkg}/{rng.choice(SRC)}{i}.py")
                if rng.random() < 0.5:
                    emit(f"{venv}/{pkg}/__pycache__/{rng.choice(SRC)}{i}.cpython-311.pyc")
        yield "\n".join(lines) + "\n"


if __name__ == "__main__":
    write_until(sys.argv[1], TARGET, projects())
