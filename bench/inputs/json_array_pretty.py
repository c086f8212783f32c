#!/usr/bin/env python3
"""About 50 MB of a pretty-printed JSON array (two-space indent) as an API
or export tool prints it: records with nested objects, arrays, nulls,
numbers, booleans and some non-ASCII text."""
import json
import random
import sys

TARGET = 50_000_000
rng = random.Random(777)

FIRST = ["Ana", "Bo", "Chen", "Dmitri", "Élodie", "Fatima", "Gus", "Hiroshi", "Inés", "Jonas", "Kofi", "Lena",
         "Małgorzata", "Noah", "Olu", "Priya", "Quinn", "Rafael", "Søren", "Tomás", "Yuki", "Zoë"]
LAST = ["Smith", "García", "Müller", "Nguyen", "Kowalski", "Okafor", "Tanaka", "Rossi", "Johansson", "Silva"]
CITIES = ["Lisbon", "Kraków", "Osaka", "Lagos", "Austin", "Zürich", "São Paulo", "Toronto", "Pune", "Oslo"]
TAGS = ["beta", "vip", "churn-risk", "newsletter", "trial", "enterprise", "mobile", "legacy"]
STATUS = ["active", "active", "active", "suspended", "pending", "closed"]


def record(i):
    first, last = rng.choice(FIRST), rng.choice(LAST)
    return {
        "id": i,
        "uuid": "{:08x}-{:04x}-4{:03x}-a{:03x}-{:012x}".format(
            rng.getrandbits(32), rng.getrandbits(16), rng.getrandbits(12), rng.getrandbits(12), rng.getrandbits(48)),
        "name": first + " " + last,
        "email": "{}.{}{}@example.com".format(first.lower(), last.lower(), rng.randint(1, 999)),
        "status": rng.choice(STATUS),
        "verified": rng.random() < 0.8,
        "score": round(rng.uniform(0, 100), 2),
        "balance": round(rng.uniform(-500, 25000), 2),
        "created_at": "2023-{:02d}-{:02d}T{:02d}:{:02d}:{:02d}Z".format(
            rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59)),
        "last_login": None if rng.random() < 0.1 else "2024-0{}-{:02d}T08:00:00Z".format(rng.randint(1, 9),
                                                                                       rng.randint(1, 28)),
        "address": {
            "street": "{} {} St.".format(rng.randint(1, 9999), rng.choice(LAST)),
            "city": rng.choice(CITIES),
            "zip": "{:05d}".format(rng.randint(0, 99999)),
            "geo": {"lat": round(rng.uniform(-90, 90), 6), "lng": round(rng.uniform(-180, 180), 6)},
        },
        "tags": rng.sample(TAGS, rng.randint(0, 3)),
        "orders": [{"sku": "SKU-{:06d}".format(rng.randint(0, 999999)), "qty": rng.randint(1, 5),
                    "price": round(rng.uniform(1, 300), 2)} for _ in range(rng.randint(0, 3))],
        "notes": None if rng.random() < 0.7 else "Customer asked about \"invoice\" #{}\nfollow-up".format(
            rng.randint(1, 99999)),
    }


def main(out_path):
    # A large buffer keeps the writes to the file in big chunks.
    with open(out_path, "w", encoding="utf-8", newline="\n", buffering=1 << 22) as out:
        out.write("[\n")
        written, i = 2, 0
        while written < TARGET:
            text = "  " + json.dumps(record(i), indent=2, ensure_ascii=False).replace("\n", "\n  ")
            if i:
                text = ",\n" + text
            i += 1
            out.write(text)
            written += len(text.encode("utf-8"))
        out.write("\n]\n")

if __name__ == "__main__":
    main(sys.argv[1])
