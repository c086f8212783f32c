#!/usr/bin/env python3
"""Writes 100 MB of JSON Lines, as a structured logger of a web service
prints them, to the path given as the only argument. Deterministic: fixed
random seed."""
import json
import random
import sys

TARGET_BYTES = 100 * 1000 * 1000


def main() -> None:
    out_path = sys.argv[1]
    rng = random.Random(1733500000)
    routes = ["/api/users", "/api/orders", "/api/items", "/api/cart", "/api/search"]
    methods = ["GET", "GET", "GET", "POST", "PUT", "DELETE"]
    time_ms = 1733500000000
    written = 0
    n = 0
    with open(out_path, "w", encoding="utf-8") as f:
        while written < TARGET_BYTES:
            time_ms += rng.randint(1, 40)
            n += 1
            record = {
                "level": 30,
                "time": time_ms,
                "pid": 4242,
                "hostname": "web-3",
                "reqId": f"req-{n}",
                "method": rng.choice(methods),
                "route": rng.choice(routes)[1:].replace("/", "."),
                "statusCode": 200,
                "responseTime": round(rng.lognormvariate(2.0, 0.7), 3),
                "msg": "request completed",
            }
            roll = rng.random()
            if roll < 0.001:
                record["level"] = 50
                record["statusCode"] = 500
                record["err"] = {
                    "type": "Error",
                    "message": "connect ECONNREFUSED 10.0.3.7:5432",
                    "stack": "Error: connect ECONNREFUSED 10.0.3.7:5432\n    at TCPConnectWrap.afterConnect",
                }
                record["msg"] = "request failed"
            elif roll < 0.003:
                record["level"] = 40
                record["msg"] = "slow query warning"
                record["query_ms"] = rng.randint(500, 5000)
            elif roll < 0.004:
                record["traceId"] = "%032x" % rng.getrandbits(128)
            line = json.dumps(record, separators=(",", ":")) + "\n"
            f.write(line)
            written += len(line)


if __name__ == "__main__":
    main()
