#!/usr/bin/env python3
"""Line coverage of a reader from a fuzz target's coverage profile.

    fuzz_cover.py TARGET BINARY PROFDATA REPORT SPEC...

SPEC is FILE (relative to the repository) or FILE:REGEX, where REGEX picks
the functions (by mangled or plain name) that make up the reader when it is
only part of its file. Prints one row per SPEC (lines, missed, cover) and
writes every missed line, with its source, to REPORT.

File names are matched by their ending: the objects may come from the
compiler cache, compiled in another checkout of the same tree.
"""
import json
import os
import re
import subprocess
import sys


def line_counts(segments):
    """{line: count} for every mapped line, as llvm-cov counts them."""
    by_line = {}
    for seg in segments:
        by_line.setdefault(seg[0], []).append(seg)
    counts = {}
    wrapped = None
    last = max(by_line) if by_line else 0
    for line in range(1, last + 1):
        starts = by_line.get(line, [])
        # [line, col, count, has_count, is_region_entry, is_gap]
        entries = [s for s in starts if s[3] and s[4] and not s[5]]
        skipped = bool(starts) and not starts[0][3] and starts[0][4]
        mapped = not skipped and ((wrapped is not None and wrapped[3]) or entries)
        if mapped:
            count = wrapped[2] if wrapped is not None else 0
            for s in entries:
                count = max(count, s[2])
            counts[line] = count
        if starts:
            wrapped = starts[-1]
    return counts


def main():
    target, binary, profdata, report = sys.argv[1:5]
    specs = sys.argv[5:]
    data = json.loads(subprocess.run(
        ['llvm-cov-14', 'export', '-format=text', binary, '-instr-profile=' + profdata],
        check=True, capture_output=True).stdout)['data'][0]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = []
    for spec in specs:
        file, _, regex = spec.partition(':')
        tail = '/' + file
        entry = next((f for f in data['files'] if ('/' + f['filename']).endswith(tail)), None)
        if entry is None:
            print(f'{target:16} {file:28} {"(not linked in)":22}')
            continue
        counts = line_counts(entry['segments'])
        if regex:
            keep = set()
            for fn in data['functions']:
                if not re.search(regex, fn['name']):
                    continue
                files = fn['filenames']
                for r in fn['regions']:
                    # [line, col, end line, end col, count, file, expanded file, kind]
                    if ('/' + files[r[5]]).endswith(tail):
                        keep.update(range(r[0], r[2] + 1))
            counts = {ln: c for ln, c in counts.items() if ln in keep}
        missed = sorted(ln for ln, c in counts.items() if c == 0)
        total = len(counts)
        cover = 100.0 * (total - len(missed)) / total if total else 0.0
        print(f'{target:16} {file:28} {"some functions" if regex else "whole file":14} {total:6} {len(missed):6} {cover:6.1f}%')
        try:
            src = open(os.path.join(root, file)).read().split('\n')
        except OSError:
            src = []
        out.append(f'== {file} {regex}: {len(missed)} of {total} lines never ran')
        for ln in missed:
            out.append(f'{ln:5}| {src[ln - 1] if ln <= len(src) else ""}')
    with open(report, 'w') as f:
        f.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
