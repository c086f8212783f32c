#!/usr/bin/env python3
"""One line holding a JSON object with about a million short members, as a
dump of a large map prints it.
Usage: json_wide_object.py OUT_PATH"""
import sys

if __name__ == "__main__":
    with open(sys.argv[1], "w", encoding="utf-8", buffering=1 << 22) as out:
        out.write("{")
        out.write(",".join(f'"key{i}":{i}' for i in range(1_500_000)))
        out.write("}\n")
