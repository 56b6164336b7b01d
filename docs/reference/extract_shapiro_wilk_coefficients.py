#!/usr/bin/python3
"""Extracts the polynomial coefficients of the W test (Royston 1995, AS R94) from C copies of
the published algorithm, compares them as exact decimals between the copies, and prints a
Markdown table with C++ initializer blocks.

Usage: extract_shapiro_wilk_coefficients.py NAME=FILE [NAME=FILE ...]
Each FILE is searched for the arrays g, c1 .. c6 written as `name[...] = { literals }`.
Exit status 1 when the copies disagree on any value or miss an array.
"""
import re
import sys
from decimal import Decimal

ARRAYS = ["g", "c1", "c2", "c3", "c4", "c5", "c6"]
NUMBER = r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?"


def extract(text):
    found = {}
    for name in ARRAYS:
        m = re.search(r"\b" + name + r"\s*\[\s*\d*\s*\]\s*=\s*\{([^}]*)\}", text)
        if m:
            found[name] = re.findall(NUMBER, m.group(1))
    return found


def main(argv):
    copies = {}
    for arg in argv:
        name, path = arg.split("=", 1)
        with open(path, encoding="utf-8", errors="replace") as f:
            copies[name] = extract(f.read())
    agree = True
    names = list(copies)
    print("| Array | " + " | ".join(names) + " | Agree |")
    print("|---|" + "---|" * len(names) + "---|")
    for array in ARRAYS:
        values = [copies[n].get(array) for n in names]
        if any(v is None for v in values):
            agree = False
            print(f"| {array} | " + " | ".join("missing" if v is None else "found" for v in values)
                  + " | no |")
            continue
        exact = [[Decimal(x) for x in v] for v in values]
        same = all(e == exact[0] for e in exact)
        agree &= same
        cells = [", ".join(v) for v in values]
        print(f"| {array} | " + " | ".join(cells) + f" | {'yes' if same else 'NO'} |")
    print()
    first = copies[names[0]]
    print("```cpp")
    for array in ARRAYS:
        if array in first:
            digits = ", ".join(str(Decimal(x)) for x in first[array])
            print(f"constexpr std::array<double, {len(first[array])}> swilk_{array} = {{{digits}}};")
    print("```")
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
