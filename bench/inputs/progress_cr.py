#!/usr/bin/env python3
"""About 10 MB of progress-bar output: lines ended by a lone carriage
return and no line feed, as a downloader prints them. Line-end
normalisation must stay linear on it. Usage: progress_cr.py OUT_PATH"""
import sys

TARGET = 10_000_000


def main(out_path):
    written = 0
    with open(out_path, "w", encoding="utf-8", newline="") as out:
        step = 0
        while written < TARGET:
            line = f"Downloading {step % 101}%\r"
            out.write(line)
            written += len(line)
            step += 1


if __name__ == "__main__":
    main(sys.argv[1])
