#!/usr/bin/env python3
"""About 100 MB of one log line repeated, as a stuck loop prints it.
Usage: repeated_line.py OUT_PATH"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402


def pieces():
    block = "2026-12-07T10:00:00Z WARN retrying connection to db-primary:5432 (attempt failed)\n" * 1000
    while True:
        yield block


if __name__ == "__main__":
    write_until(sys.argv[1], 100_000_000, pieces())
