#!/usr/bin/env python3
"""Counts non-blank, non-comment lines of the tests against the product (src and sim), the
measure the project keeps its tests' share by: C++ and QML files, without their // and /* */
comments. With a percentage as argument it fails when the tests' share is above it."""
import os
import re
import sys

root = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
c_like = ('.cpp', '.h', '.inc', '.qml', '.c')


def count(path):
    text = open(path, encoding='utf-8', errors='replace').read()
    if path.endswith(c_like):
        text = re.sub(r'/\*.*?\*/', '', text, flags=re.S)
        lines = [re.sub(r'^\s*//.*$', '', line) for line in text.splitlines()]
    else:
        return 0
    return sum(1 for line in lines if line.strip())


def tree(*folders):
    total = 0
    for folder in folders:
        for base, _, files in os.walk(os.path.join(root, folder)):
            total += sum(count(os.path.join(base, name)) for name in files)
    return total


product = tree('src', 'sim')
tests = tree('tests')
print(f'product {product} lines, tests {tests} lines: {100.0 * tests / product:.1f} %')
if len(sys.argv) > 1:
    sys.exit(0 if 100.0 * tests / product <= float(sys.argv[1]) else 1)
