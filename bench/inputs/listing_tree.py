#!/usr/bin/env python3
"""About 100 MB of `find .` output over many checked-out projects, each with
its node_modules, target, .git and venv directories beside the sources:
the generated and vendor directories make up most of the lines."""
import random
import sys

TARGET = 100_000_000
rng = random.Random(777)

WORDS = ["alpha", "bravo", "cargo", "delta", "ember", "forge", "gamma", "harbor", "index", "jolt", "kite",
         "lumen", "mesa", "nova", "orbit", "pixel", "quartz", "relay", "sigma", "tango"]
NPM = ["react", "react-dom", "lodash", "@babel/core", "@babel/parser", "@types/node", "typescript", "eslint",
       "webpack", "chalk", "debug", "semver", "glob", "yargs", "express", "axios", "iconv-lite", "picomatch"]
PY = ["pip", "setuptools", "requests", "urllib3", "idna", "certifi", "charset_normalizer", "numpy", "yaml"]


def word():
    return rng.choice(WORDS)


def main(out_path):
    written = 0
    with open(out_path, "w", encoding="utf-8", newline="\n", buffering=1 << 22) as out:
        def emit(line):
            nonlocal written
            out.write(line + "\n")
            written += len(line) + 1

        emit(".")
        project = 0
        while written < TARGET:
            project += 1
            root = "./{}-{}".format(word(), project)
            emit(root)
            for d in ["src", "src/bin", "tests", "docs"]:
                emit(root + "/" + d)
                for i in range(rng.randint(2, 15)):
                    emit("{}/{}/{}_{}.{}".format(root, d, word(), i, rng.choice(["rs", "py", "ts", "md"])))
            for f in ["Cargo.toml", "package.json", "README.md", ".gitignore"]:
                emit(root + "/" + f)
            nm = root + "/node_modules"
            emit(nm)
            for pkg in rng.sample(NPM, rng.randint(4, 12)):
                p = nm + "/" + pkg
                emit(p)
                for f in ["package.json", "README.md", "LICENSE", "index.js"]:
                    emit(p + "/" + f)
                for i in range(rng.randint(5, 30)):
                    emit("{}/lib/{}-{}.js".format(p, word(), i))
            tgt = root + "/target/debug"
            emit(root + "/target")
            emit(tgt)
            for i in range(rng.randint(10, 60)):
                emit("{}/deps/{}-{:016x}.{}".format(tgt, word(), rng.getrandbits(64), rng.choice(["d", "rlib", "rmeta"])))
            git = root + "/.git"
            emit(git)
            for f in ["HEAD", "config", "description", "index", "packed-refs"]:
                emit(git + "/" + f)
            for _ in range(rng.randint(20, 120)):
                h = "{:040x}".format(rng.getrandbits(160))
                emit("{}/objects/{}/{}".format(git, h[:2], h[2:]))
            venv = root + "/venv"
            emit(venv)
            for f in ["bin/activate", "bin/python3", "pyvenv.cfg"]:
                emit(venv + "/" + f)
            for pkg in rng.sample(PY, rng.randint(2, 6)):
                base = "{}/lib/python3.11/site-packages/{}".format(venv, pkg)
                emit(base)
                for i in range(rng.randint(3, 25)):
                    emit("{}/{}_{}.py".format(base, word(), i))


if __name__ == "__main__":
    main(sys.argv[1])
