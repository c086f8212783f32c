#!/usr/bin/env python3
"""About 30 MB built to find quadratic scans in the opaque-payload filter:
PEM BEGIN lines whose END line never comes (one label, then many labels),
one long line of BEGIN markers, runs of three long base64 lines broken by a short line (each line of a run
is tried again as a start), and long stretches of "data:" that never form
a valid URL."""
import sys

PART = 10_000_000
B64 = "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5"

with open(sys.argv[1], "w") as out:
    size = 0
    n = 0
    while size < PART:
        n += 1
        line = f"-----BEGIN CERTIFICATE-----\n{B64}\n-----BEGIN KEY {n}-----\n"
        out.write(line)
        size += len(line)
    size = 0
    while size < PART:
        chunk = f"{B64}\n{B64}\n{B64}\nshort\n"
        out.write(chunk)
        size += len(chunk)
    out.write("-----BEGIN X-----" * (PART // 17) + "\n")
    out.write("data:" * (PART // 10) + "\n")
    out.write("data:a/b;data:a/b;" * (PART // 40) + "\n")
