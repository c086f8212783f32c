#!/usr/bin/env python3
"""About 10 MB of progress-bar output: lines ended by a lone carriage
return and no line feed, as a downloader prints them. Line-end
normalisation must stay linear on it. Usage: progress_cr.py OUT_PATH"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from writing import write_until  # noqa: E402

TARGET = 10_000_000


def lines():
    step = 0
    while True:
        yield f"Downloading {step % 101}%\r"
        step += 1


if __name__ == "__main__":
    write_until(sys.argv[1], TARGET, lines(), newline="")
