#!/usr/bin/env python3
"""Writes about 100 MB of a level-based application log: several services
logging heartbeats, requests, cache and queue activity under dozens of message
templates, with occasional warnings and a handful of errors.

Usage: python3 bench/inputs/app_log_generic.py OUT_PATH
"""
import datetime
import random
import sys

TARGET_BYTES = 100 * 1024 * 1024
SEED = 20240501

SERVICES = ["api", "billing", "search", "worker", "scheduler", "auth", "notifier", "gateway"]
ROUTES = ["/api/v1/orders", "/api/v1/users", "/api/v1/invoices", "/api/v2/search", "/healthz", "/api/v1/carts"]
METHODS = ["GET", "GET", "GET", "POST", "PUT", "DELETE"]

# (level, template); {} fields are filled in by fill().
ROUTINE = [
    ("DEBUG", "heartbeat seq={seq} uptime={n}s"),
    ("DEBUG", "heartbeat #{seq}: {n} requests served"),
    ("INFO", "{method} {route}/{id} -> {status} in {ms} ms"),
    ("INFO", "request {hex} completed status={status} bytes={bytes}"),
    ("DEBUG", "cache hit key=user:{id} ttl={n}s"),
    ("DEBUG", "cache miss key=order:{id}"),
    ("INFO", "job {id} processed in {ms} ms"),
    ("INFO", "job {id} queued priority={small}"),
    ("TRACE", "poll queue={svc}-events depth={small}"),
    ("DEBUG", "db pool stats active={small} idle={small} waiting={small}"),
    ("INFO", "user {id} signed in from 10.{small}.{small}.{small}"),
    ("INFO", "session {hex} refreshed for user {id}"),
    ("DEBUG", "gc pause {ms}.{small} ms heap={n} MB"),
    ("INFO", "invoice {id} generated total={n}.{small} EUR"),
    ("INFO", "search query took {ms} ms hits={n}"),
    ("DEBUG", "metrics flushed points={n} series={small}"),
    ("INFO", "scheduled task cleanup-{small} started"),
    ("INFO", "scheduled task cleanup-{small} finished in {ms} ms"),
    ("DEBUG", "outbound call to {svc} took {ms} ms"),
    ("INFO", "notification {id} delivered via email"),
    ("INFO", "cart {id} updated items={small}"),
    ("TRACE", "span {hex} closed duration={ms}us"),
    ("DEBUG", "config watcher: no change after {n} checks"),
    ("INFO", "rate limiter bucket={svc} tokens={n}"),
    ("DEBUG", "connection {id} returned to pool"),
    ("INFO", "batch {seq} with {n} records committed"),
    ("INFO", "token bucket refilled for client {id}"),
    ("DEBUG", "feature flag {svc}_beta evaluated to {bool}"),
]
OCCASIONAL = [
    ("WARN", "slow request {method} {route}/{id} took {slow} ms"),
    ("WARNING", "queue {svc}-events depth {n} above threshold"),
    ("WARN", "retrying call to {svc} (attempt {small})"),
    ("NOTICE", "certificate for {svc}.internal renews in {small} days"),
]
RARE = [
    ("ERROR", "order {id} could not be charged: card declined by issuer"),
    ("ERROR", "upstream {svc} reset the connection after {ms} ms"),
    ("FATAL", "worker {small} lost its database connection and stopped"),
    ("INFO", "job {id} raised an exception and was requeued"),
    ("INFO", "loaded settings from config/{svc}.yaml"),
]


FIELDS = {
    "n": lambda rng: str(rng.randint(1, 99999)),
    "id": lambda rng: str(rng.randint(1000, 9999999)),
    "hex": lambda rng: "%016x" % rng.getrandbits(64),
    "ms": lambda rng: str(rng.randint(1, 900)),
    "slow": lambda rng: str(rng.randint(1000, 9000)),
    "small": lambda rng: str(rng.randint(0, 9)),
    "bytes": lambda rng: str(rng.randint(100, 200000)),
    "status": lambda rng: str(rng.choice([200, 200, 200, 201, 204, 304, 404])),
    "method": lambda rng: rng.choice(METHODS),
    "route": lambda rng: rng.choice(ROUTES),
    "svc": lambda rng: rng.choice(SERVICES),
    "bool": lambda rng: rng.choice(["true", "false"]),
}


def fill(rng, template, seq):
    # Every field draws its own value, so "{small} {small}" gives two numbers.
    pieces = template.split("{")
    out = [pieces[0]]
    for piece in pieces[1:]:
        name, rest = piece.split("}", 1)
        out.append(str(seq) if name == "seq" else FIELDS[name](rng))
        out.append(rest)
    return "".join(out)


def main():
    out_path = sys.argv[1]
    rng = random.Random(SEED)
    clock = datetime.datetime(2024, 5, 1, 0, 0, 0)
    step = datetime.timedelta(milliseconds=7)
    written = 0
    seq = 0
    with open(out_path, "w", encoding="utf-8", newline="\n") as out:
        chunk = []
        while written < TARGET_BYTES:
            seq += 1
            roll = rng.random()
            if roll < 0.00002:
                level, template = rng.choice(RARE)
            elif roll < 0.004:
                level, template = rng.choice(OCCASIONAL)
            else:
                level, template = rng.choice(ROUTINE)
            clock += step
            stamp = clock.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (clock.microsecond // 1000)
            line = "%s %s %s: %s\n" % (stamp, level, rng.choice(SERVICES), fill(rng, template, seq))
            chunk.append(line)
            written += len(line)
            if len(chunk) >= 10000:
                out.write("".join(chunk))
                chunk = []
        out.write("".join(chunk))


if __name__ == "__main__":
    main()
