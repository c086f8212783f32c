#!/usr/bin/env python3
"""One HTML page whose body is 10 MB of script, style, svg, noscript, template, heading and link tags that never close: each
search for a closer must be made once for the page, not once per opening,
or the html filter turns quadratic."""
import sys

SIZE = 10_000_000
UNCLOSED = "<script>x<style>y<svg>z<noscript>w<template>v<h2>heading<a href='/x'>link "
HEAD = "<!DOCTYPE html>\n<html>\n<head><title>stress page</title></head>\n<body>\n<h1>Stress</h1>\n"
TAIL = "\n<p>end of the stress page</p>\n</body>\n</html>\n"

with open(sys.argv[1], "w") as out:
    out.write(HEAD + UNCLOSED * (SIZE // len(UNCLOSED)) + TAIL)
