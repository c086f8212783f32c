#!/usr/bin/env python3
"""About 40 MB of one HTML page built to find quadratic scans in the html
filter: 10 MB of comment openings "<!--" that never close, 10 MB of "&"
with one ";" far behind, 10 MB of script, style, svg, noscript, template,
heading and link tags that never close, and 10 MB of "<". Each search for
a closer must be made once for the page, not once per opening."""
import sys

SIZE = 10_000_000
UNCLOSED = "<script>x<style>y<svg>z<noscript>w<template>v<h2>heading<a href='/x'>link "
STRETCHES = ["<!--" * (SIZE // 4), "&" * SIZE + ";", UNCLOSED * (SIZE // len(UNCLOSED)), "<" * SIZE]

with open(sys.argv[1], "w") as out:
    out.write("<!DOCTYPE html>\n<html>\n<head><title>stress page</title></head>\n<body>\n<h1>Stress</h1>\n")
    for stretch in STRETCHES:
        out.write("<div>\n" + stretch + "\n")
    out.write("<p>end of the stress page</p>\n</body>\n</html>\n")
