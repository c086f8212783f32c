#!/usr/bin/env python3
"""Writes a psql query result of 500,000 rows (about 50 MB) to OUT_PATH:
an aligned table with a centred header, a "+" separator, right-aligned
numbers, a few failed payments among them, the row-count footer and the
blank line the client prints after it.

Usage: python3 bench/inputs/psql_table.py OUT_PATH
"""

import random
import sys

ROWS = 500_000
COLUMNS = ["id", "created_at", "customer", "status", "amount", "ccy", "region"]
NUMERIC = {"id", "amount"}
REGIONS = ["eu-west-1", "eu-central-1", "us-east-1", "us-west-2", "ap-south-1"]
CURRENCIES = ["EUR", "USD", "GBP"]


def rows(rng):
    for i in range(1, ROWS + 1):
        roll = rng.random()
        status = "failed" if roll < 0.0005 else "refunded" if roll < 0.02 else "pending" if roll < 0.05 else "paid"
        seconds = i * 61 + rng.randrange(60)
        day, rest = divmod(seconds, 86400)
        created = "2024-%02d-%02d %02d:%02d:%02d" % (
            1 + (day // 28) % 12, 1 + day % 28, rest // 3600, rest // 60 % 60, rest % 60)
        yield [
            str(i),
            created,
            "cust_%d@example.com" % rng.randrange(1, 80_000),
            status,
            "%d.%02d" % (rng.randrange(1, 2000), rng.randrange(100)),
            rng.choice(CURRENCIES),
            rng.choice(REGIONS),
        ]


def main():
    rng = random.Random(20240301)
    data = list(rows(rng))
    widths = [max(len(c), max(len(r[k]) for r in data)) for k, c in enumerate(COLUMNS)]
    with open(sys.argv[1], "w", encoding="utf-8") as out:
        out.write("|".join(" " + c.center(w) + " " for c, w in zip(COLUMNS, widths)) + "\n")
        out.write("+".join("-" * (w + 2) for w in widths) + "\n")
        for r in data:
            cells = []
            for k, (value, w) in enumerate(zip(r, widths)):
                cell = value.rjust(w) if COLUMNS[k] in NUMERIC else value.ljust(w)
                cells.append(" " + cell + " ")
            out.write("|".join(cells) + "\n")
        out.write("(%d rows)\n\n" % ROWS)


if __name__ == "__main__":
    main()
