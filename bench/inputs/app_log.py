#!/usr/bin/env python3
"""About 100 MB of a web service's application log: timestamped lines with a
level, thread and logger, request lines with ids and timings, periodic jobs,
warnings, and now and then an error with a Java-style stack trace."""
import random
import sys

TARGET = 100_000_000
rng = random.Random(20240314)

LOGGERS = ["c.e.api.UserController", "c.e.api.OrderController", "c.e.db.ConnectionPool",
           "c.e.cache.RedisCache", "c.e.jobs.ReportScheduler", "c.e.auth.TokenService",
           "c.e.http.AccessLog", "c.e.payments.CardGateway", "c.e.search.IndexWorker",
           "org.hibernate.SQL", "o.s.web.servlet.DispatcherServlet"]
PATHS = ["/api/v1/users/{}", "/api/v1/orders/{}", "/api/v1/orders/{}/items", "/api/v1/search",
         "/api/v1/products/{}", "/healthz", "/api/v1/cart/{}", "/api/v1/sessions", "/static/app.{}.js"]
METHODS = ["GET"] * 6 + ["POST"] * 2 + ["PUT", "DELETE"]
STATUSES = [200] * 30 + [201] * 4 + [204, 301, 304, 304, 400, 401, 403, 404, 404, 409, 500, 502]
THREADS = ["http-nio-8080-exec-{}".format(i) for i in range(1, 41)] + \
          ["scheduling-1", "pool-3-thread-1", "pool-3-thread-2", "lettuce-epollEventLoop-4-1"]
TRACE = [
    "java.lang.IllegalStateException: Connection pool exhausted after 30000ms",
    "\tat com.example.db.ConnectionPool.acquire(ConnectionPool.java:212)",
    "\tat com.example.db.OrderRepository.findById(OrderRepository.java:88)",
    "\tat com.example.api.OrderController.get(OrderController.java:54)",
    "\tat jdk.internal.reflect.GeneratedMethodAccessor112.invoke(Unknown Source)",
    "\tat org.springframework.web.method.support.InvocableHandlerMethod.doInvoke(InvocableHandlerMethod.java:205)",
    "\tat org.springframework.web.servlet.FrameworkServlet.service(FrameworkServlet.java:883)",
    "\tat org.apache.catalina.core.ApplicationFilterChain.doFilter(ApplicationFilterChain.java:166)",
    "\t... 42 common frames omitted",
]


def hexid(n):
    return "".join(rng.choice("0123456789abcdef") for _ in range(n))


def message(level):
    r = rng.random()
    if level == "ERROR":
        return "Request failed: order_id={} cause=pool exhausted".format(rng.randint(10000, 999999)), True
    if level == "WARN":
        return rng.choice([
            "Slow query took {}ms: select * from orders where customer_id = ?".format(rng.randint(500, 9000)),
            "Cache miss ratio {:.2f} above threshold 0.25 for region {}".format(rng.random(), rng.choice("abcd")),
            "Retrying payment capture attempt={} order_id={}".format(rng.randint(1, 3), rng.randint(10000, 999999)),
        ]), False
    if level == "DEBUG":
        return "select o.id, o.status, o.total from orders o where o.id = {}".format(rng.randint(1, 10 ** 6)), False
    if r < 0.7:
        path = rng.choice(PATHS).format(rng.randint(1, 500000))
        return '{} {} status={} duration={}ms bytes={} request_id={} user_id={}'.format(
            rng.choice(METHODS), path, rng.choice(STATUSES), rng.randint(1, 1800), rng.randint(0, 90000),
            hexid(16), rng.randint(1, 250000)), False
    if r < 0.85:
        return "Connection pool stats active={} idle={} waiting={}".format(
            rng.randint(0, 50), rng.randint(0, 20), rng.randint(0, 5)), False
    return "Job report-{} finished in {}ms rows={}".format(rng.randint(1, 400), rng.randint(10, 60000),
                                                         rng.randint(0, 100000)), False


def main(out_path):
    written = 0
    t = 1710400000.0
    # A large buffer keeps the writes to the file in big chunks.
    with open(out_path, "w", encoding="utf-8", newline="\n", buffering=1 << 22) as out:
        while written < TARGET:
            t += rng.random() * 0.02
            secs = int(t)
            ms = int((t - secs) * 1000)
            hh, mm, ss = (secs // 3600) % 24, (secs // 60) % 60, secs % 60
            day = 14 + (secs - 1710400000) // 86400
            x = rng.random()
            level = "ERROR" if x < 0.002 else "WARN" if x < 0.02 else "DEBUG" if x < 0.1 else "INFO"
            msg, trace = message(level)
            line = "2024-03-{:02d} {:02d}:{:02d}:{:02d}.{:03d} {:<5} [{}] {} - {}\n".format(
                day, hh, mm, ss, ms, level, rng.choice(THREADS), rng.choice(LOGGERS), msg)
            if trace:
                line += "\n".join(TRACE) + "\n"
            out.write(line)
            written += len(line)

if __name__ == "__main__":
    main(sys.argv[1])
