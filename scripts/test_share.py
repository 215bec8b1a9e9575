#!/usr/bin/env python3
"""How large the tests are against the code they test.

Counts the lines of tests/ and fuzz/ (.cpp, .h, .py) against the lines of
every other .cpp and .h file of the repository (engine and tools); bench/ and
content/ count on neither side. Prints a line per folder and the share.
"""
import collections
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def main():
    files = subprocess.check_output(["git", "ls-files"], cwd=ROOT, text=True).split()
    lines = collections.Counter()
    tests = code = 0
    for f in files:
        top = f.split("/")[0] if "/" in f else "."
        if top in ("bench", "content"):
            continue
        is_test = top in ("tests", "fuzz") and f.endswith((".cpp", ".h", ".py"))
        is_code = top not in ("tests", "fuzz") and f.endswith((".cpp", ".h"))
        if not (is_test or is_code):
            continue
        n = len((ROOT / f).read_text(errors="replace").splitlines())
        lines[(top, is_test)] += n
        if is_test:
            tests += n
        else:
            code += n
    for (top, is_test), n in sorted(lines.items()):
        print(f"{'tests' if is_test else 'code '}  {top:10} {n:6}")
    print(f"tests {tests} lines, code {code} lines: {100 * tests / code:.1f} %")
    limit = float(sys.argv[1]) if len(sys.argv) > 1 else None
    return 1 if limit is not None and 100 * tests / code > limit else 0


if __name__ == "__main__":
    sys.exit(main())
