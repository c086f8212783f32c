#!/usr/bin/env python3
"""Writes a 50 MB pretty-printed JSON array of API records (an orders export)
to the path given as the only argument. Deterministic: fixed random seed."""
import json
import random
import sys

TARGET_BYTES = 50 * 1000 * 1000


def main() -> None:
    out_path = sys.argv[1]
    rng = random.Random(20241206)
    customers = [f"customer-{n:05d}" for n in range(2000)]
    skus = [f"SKU{n:06d}" for n in range(5000)]
    states = ["paid", "paid", "paid", "shipped", "shipped", "delivered", "refunded", "cancelled"]
    cities = ["Lisbon", "Osaka", "Denver", "Tallinn", "Recife", "Gdańsk", "Zürich", "Nagoya"]
    written = 0
    n = 0
    with open(out_path, "w", encoding="utf-8") as f:
        f.write("[\n")
        written += 2
        while written < TARGET_BYTES:
            items = [
                {
                    "sku": rng.choice(skus),
                    "quantity": rng.randint(1, 5),
                    "unit_price": round(rng.uniform(1, 250), 2),
                }
                for _ in range(rng.randint(1, 4))
            ]
            record = {
                "order_number": 100000 + n,
                "customer": rng.choice(customers),
                "state": rng.choice(states),
                "created_at": f"2024-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}T{rng.randint(0, 23):02d}:"
                f"{rng.randint(0, 59):02d}:{rng.randint(0, 59):02d}Z",
                "shipping": {"city": rng.choice(cities), "express": rng.random() < 0.2},
                "items": items,
                "total": round(sum(i["quantity"] * i["unit_price"] for i in items), 2),
                "note": "",
            }
            roll = rng.random()
            if roll < 0.002:
                record["status"] = rng.choice(["payment_declined", "timeout", 502])
            elif roll < 0.004:
                record["note"] = "address failed validation, see https://support.example.com/kb/addresses"
            text = json.dumps(record, indent=2, ensure_ascii=False)
            text = "  " + text.replace("\n", "\n  ")
            chunk = ("" if n == 0 else ",\n") + text
            f.write(chunk)
            written += len(chunk.encode("utf-8"))
            n += 1
        f.write("\n]\n")


if __name__ == "__main__":
    main()
