#!/usr/bin/env python3
"""About 50 MB of `rg -n -C2` output over a large source tree: matches with
their context lines and "--" separators, many hits per file, paths several
directories deep, an occasional column and a few files listed once."""
import random
import sys

TARGET = 50_000_000
rng = random.Random(20241)

ROOTS = ["src", "lib", "internal", "pkg", "web/src", "services/api/src", "crates/core/src", "tests"]
DIRS = ["handlers", "models", "store", "cache", "auth", "billing", "search", "util", "config", "jobs",
        "metrics", "http", "grpc", "db/migrations", "components/forms", "hooks"]
NAMES = ["client", "server", "router", "session", "invoice", "worker", "retry", "pager", "schema", "query",
         "token", "limits", "loader", "events", "mapper"]
EXTS = [".rs", ".go", ".ts", ".tsx", ".py", ".java"]
IDENT = ["config", "request", "response", "ctx", "user", "order", "timeout", "retries", "cursor", "buffer",
         "handle", "state", "result", "payload", "session_id"]


def code(match):
    a, b, c = rng.choice(IDENT), rng.choice(IDENT), rng.choice(IDENT)
    ind = " " * (4 * rng.randint(0, 3))
    if match:
        forms = ["let {a} = load_config(&{b})?;", "{a}.load_config({b}, {c})", "def load_config({a}, {b}):",
                 "const {a} = loadConfig({b});", "// TODO(load_config): drop {a} once {b} lands",
                 "return load_config({a}).map_err(|e| {b}(e));"]
    else:
        forms = ["if {a}.is_empty() {{", "}}", "for {a} in {b}.iter() {{", "{a} = {b} + {c}", "", "#[derive(Debug)]",
                 "    .with({a}, {b})", "log::debug!(\"{a}={{}}\", {b});", "import {{ {a} }} from './{b}';"]
    return ind + rng.choice(forms).format(a=a, b=b, c=c)


def main(out_path):
    written = 0
    with open(out_path, "w", encoding="utf-8", newline="\n", buffering=1 << 22) as out:
        n = 0
        while written < TARGET:
            n += 1
            path = "{}/{}/{}_{}{}".format(rng.choice(ROOTS), rng.choice(DIRS), rng.choice(NAMES), n, rng.choice(EXTS))
            lines = []
            line_no = rng.randint(1, 40)
            column = rng.random() < 0.1
            for _ in range(rng.randint(1, 12)):
                before, after = rng.randint(0, 2), rng.randint(0, 2)
                if lines:
                    lines.append("--")
                for k in range(before):
                    lines.append("{}-{}-{}".format(path, line_no + k, code(False)))
                m = line_no + before
                if column:
                    lines.append("{}:{}:{}:{}".format(path, m, rng.randint(1, 30), code(True)))
                else:
                    lines.append("{}:{}:{}".format(path, m, code(True)))
                for k in range(after):
                    lines.append("{}-{}-{}".format(path, m + 1 + k, code(False)))
                line_no = m + after + rng.randint(3, 60)
            text = "\n".join(lines) + "\n--\n"
            out.write(text)
            written += len(text)


if __name__ == "__main__":
    main(sys.argv[1])
