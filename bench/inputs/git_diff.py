#!/usr/bin/env python3
"""About 50 MB of `git diff` output over a large change: thousands of files
(modified, a few added, deleted and renamed), each with several hunks of
context, removed and added lines in Python, TypeScript, Go and YAML."""
import random
import sys

TARGET = 50_000_000
rng = random.Random(31337)

DIRS = ["src/api", "src/core", "src/db", "src/services/billing", "src/services/search", "web/src/components",
        "web/src/hooks", "internal/server", "internal/store", "pkg/util", "deploy/k8s", "tests/unit"]
NAMES = ["handler", "models", "queries", "client", "router", "cache", "config", "session", "invoice",
         "worker", "metrics", "validate", "schema", "retry", "auth", "pager"]
EXT = [".py", ".ts", ".tsx", ".go", ".yaml"]
IDENT = ["user", "order", "item", "total", "result", "request", "response", "ctx", "cfg", "row", "page",
         "limit", "offset", "retries", "err", "value", "key", "cursor", "session", "amount"]


def code_line(ext, depth):
    a, b, c = rng.choice(IDENT), rng.choice(IDENT), rng.choice(IDENT)
    ind = "    " * depth if ext in (".py", ".ts", ".tsx") else "\t" * depth if ext == ".go" else "  " * depth
    r = rng.random()
    if ext == ".py":
        forms = ["{a} = {b}.get(\"{c}\")", "if {a} is None:", "return {b}[{c}]", "for {a} in {b}:",
                 "logger.debug(\"{a} %s\", {b})", "{a}.{b}({c}, timeout=30)", "raise ValueError(f\"bad {a}: {{{b}}}\")",
                 "def {a}_{b}(self, {c}):", "# TODO: handle {a} when {b} is empty"]
    elif ext in (".ts", ".tsx"):
        forms = ["const {a} = await {b}.{c}();", "if (!{a}) {{", "return {b}.map(({c}) => {c}.id);", "}}",
                 "export function {a}({b}: string, {c}?: number) {{", "<{A} {b}={{{c}}} />", "// {a} then {b}",
                 "setState({{ {a}, {b} }});"]
    elif ext == ".go":
        forms = ["{a}, err := {b}.{C}(ctx, {c})", "if err != nil {{", "return nil, fmt.Errorf(\"{a}: %w\", err)",
                 "}}", "func (s *{A}) {C}({b} string) error {{", "for _, {a} := range {b} {{",
                 "{a} := make(map[string]int, len({b}))"]
    else:
        forms = ["{a}: {b}", "- name: {a}-{b}", "  image: registry.local/{a}:{n}", "replicas: {n}",
                 "{a}:", "  {b}: \"{c}\""]
    return ind + rng.choice(forms).format(a=a, b=b, c=c, A=a.capitalize(), C=c.capitalize(), n=rng.randint(1, 9))


def file_diff(path, kind):
    ext = "." + path.rsplit(".", 1)[1]
    out = []
    h1, h2 = "{:07x}".format(rng.getrandbits(28)), "{:07x}".format(rng.getrandbits(28))
    if kind == "rename":
        new = path.replace(".", "_v2.", 1)
        out += ["diff --git a/{} b/{}".format(path, new), "similarity index {}%".format(rng.randint(70, 99)),
                "rename from " + path, "rename to " + new, "index {}..{} 100644".format(h1, h2),
                "--- a/" + path, "+++ b/" + new]
    elif kind == "new":
        out += ["diff --git a/{0} b/{0}".format(path), "new file mode 100644", "index 0000000..{}".format(h2),
                "--- /dev/null", "+++ b/" + path]
        n = rng.randint(5, 120)
        out.append("@@ -0,0 +1,{} @@".format(n))
        out += ["+" + code_line(ext, rng.randint(0, 3)) for _ in range(n)]
        return out
    elif kind == "delete":
        out += ["diff --git a/{0} b/{0}".format(path), "deleted file mode 100644", "index {}..0000000".format(h1),
                "--- a/" + path, "+++ /dev/null"]
        n = rng.randint(5, 80)
        out.append("@@ -1,{} +0,0 @@".format(n))
        out += ["-" + code_line(ext, rng.randint(0, 3)) for _ in range(n)]
        return out
    else:
        out += ["diff --git a/{0} b/{0}".format(path), "index {}..{} 100644".format(h1, h2),
                "--- a/" + path, "+++ b/" + path]
    old = new = rng.randint(1, 40)
    for _ in range(rng.randint(1, 8)):
        ctx_before, ctx_after = 3, 3
        removed, added = rng.randint(0, 12), rng.randint(0, 14)
        if removed == added == 0:
            added = 1
        body = [" " + code_line(ext, rng.randint(0, 3)) for _ in range(ctx_before)]
        body += ["-" + code_line(ext, rng.randint(0, 3)) for _ in range(removed)]
        body += ["+" + code_line(ext, rng.randint(0, 3)) for _ in range(added)]
        body += [" " + code_line(ext, rng.randint(0, 3)) for _ in range(ctx_after)]
        olen, nlen = ctx_before + ctx_after + removed, ctx_before + ctx_after + added
        func = "" if rng.random() < 0.3 else {
            ".py": " def {}(self):", ".go": " func (s *Server) {}(ctx context.Context) error {{",
            ".yaml": " {}:"}.get(ext, " export function {}() {{").format(rng.choice(IDENT))
        out.append("@@ -{},{} +{},{} @@{}".format(old, olen, new, nlen, func))
        out += body
        old += olen + rng.randint(5, 80)
        new += nlen + rng.randint(5, 80)
    if rng.random() < 0.03:
        out.append("\\ No newline at end of file")
    return out


def main(out_path):
    written, n = 0, 0
    # A large buffer keeps the writes to the file in big chunks.
    with open(out_path, "w", encoding="utf-8", newline="\n", buffering=1 << 22) as out:
        while written < TARGET:
            n += 1
            path = "{}/{}_{}{}".format(rng.choice(DIRS), rng.choice(NAMES), n, rng.choice(EXT))
            r = rng.random()
            kind = "new" if r < 0.05 else "delete" if r < 0.08 else "rename" if r < 0.1 else "modify"
            text = "\n".join(file_diff(path, kind)) + "\n"
            out.write(text)
            written += len(text)

if __name__ == "__main__":
    main(sys.argv[1])
