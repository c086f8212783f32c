#!/usr/bin/env python3
"""About 50 MB of a service log that dumps what it received: ordinary log
lines, PEM certificates and keys, base64 bodies wrapped at 76 columns,
single long base64 tokens and data: URLs inside log lines."""
import base64
import random
import sys

TARGET = 50_000_000
rng = random.Random(2108)


def blob(n):
    return base64.b64encode(rng.randbytes(n)).decode()


def wrapped(n, width):
    b = blob(n)
    return [b[i:i + width] for i in range(0, len(b), width)]


with open(sys.argv[1], "w") as out:
    size = 0
    t = 0
    while size < TARGET:
        t += 1
        lines = [f"2026-03-0{t % 9 + 1}T10:{t % 60:02d}:{t * 7 % 60:02d}Z INFO request id={t:08x} path=/v1/upload"
                 f" status=200 took={rng.randint(1, 900)}ms"]
        r = t % 6
        if r == 0:
            lines += ["-----BEGIN CERTIFICATE-----"] + wrapped(900, 64) + ["-----END CERTIFICATE-----"]
        elif r == 1:
            lines += [f"body of request {t:08x}:"] + wrapped(3000, 76)
        elif r == 2:
            lines.append(blob(1200))
        elif r == 3:
            lines.append(f'2026-03-01T10:00:00Z DEBUG avatar src="data:image/png;base64,{blob(2400)}" user={t}')
        else:
            lines += [f"2026-03-01T10:00:01Z WARN slow query took {rng.randint(1000, 9000)}ms table=orders"] * 3
        chunk = "\n".join(lines) + "\n"
        out.write(chunk)
        size += len(chunk)
