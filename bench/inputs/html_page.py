#!/usr/bin/env python3
"""About 50 MB of one HTML documentation page as a static site generator
writes it: a head with styles and scripts, then sections of headings,
paragraphs with character references and inline links, code blocks,
tables, comments, inline svg icons and data: URL images."""
import random
import sys

TARGET = 50_000_000
rng = random.Random(2107)

WORDS = ["the", "request", "handler", "returns", "a", "stream", "of", "records", "when", "cache", "is", "cold",
         "config", "option", "defaults", "to", "true", "see", "below", "for", "details", "and", "examples",
         "error", "timeout", "retry", "policy", "server", "client", "token", "session", "index", "page"]


def sentence(n):
    return " ".join(rng.choice(WORDS) for _ in range(n)).capitalize() + "."


HEAD = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Service Handbook &mdash; Reference</title>
<style>
body { font-family: sans-serif; margin: 0 auto; max-width: 60em; }
pre { background: #f4f4f4; padding: 1em; }
</style>
<script>window.dataLayer = window.dataLayer || []; function gtag(){dataLayer.push(arguments);}</script>
</head>
<body>
<nav><a href="/">Home</a> | <a href="/docs/">Docs</a> | <a href="https://example.org/blog">Blog</a></nav>
"""
ICON = '<svg viewBox="0 0 16 16" width="16"><path d="M8 0a8 8 0 1 0 0 16A8 8 0 0 0 8 0z"/></svg>'
IMG = '<img alt="diagram" src="data:image/png;base64,' + "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk" * 4 + '">'

with open(sys.argv[1], "w") as out:
    out.write(HEAD)
    size = len(HEAD)
    section = 0
    while size < TARGET:
        section += 1
        parts = [f'<!-- section {section} -->\n<section id="s{section}">\n<h2>{section}. {sentence(3)}</h2>\n']
        for _ in range(rng.randint(2, 5)):
            parts.append(f"<p>{sentence(rng.randint(8, 25))} Use <code>a &lt; b &amp;&amp; c</code> and "
                         f'<a href="/docs/s{section}#p{rng.randint(1, 99)}">{rng.choice(WORDS)}</a> &#8212; '
                         f"{sentence(6)}</p>\n")
        if section % 3 == 0:
            parts.append(f"<h3>{sentence(2)}</h3>\n<pre><code>curl -s https://api.example.org/v1/items?page={section}\n"
                         f"{{\"status\": 500, \"error\": \"upstream timeout\"}}</code></pre>\n")
        if section % 5 == 0:
            parts.append("<table><tr><th>option</th><th>default</th></tr>"
                         f"<tr><td>retries</td><td>{section % 7}</td></tr></table>\n")
        if section % 7 == 0:
            parts.append(f"<p>{ICON} {IMG} {sentence(5)}</p>\n")
        parts.append("</section>\n")
        chunk = "".join(parts)
        out.write(chunk)
        size += len(chunk)
    out.write('<footer><p>Copyright 2026 the handbook authors.</p></footer>\n</body>\n</html>\n')
