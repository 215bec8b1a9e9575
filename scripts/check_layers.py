#!/usr/bin/env python3
"""Fails when a source file includes from a folder above its own.

The engine stands in floors, lowest first. A file may include from its own
folder and from folders on lower floors, never from a folder on its own
floor or above. Tests, benchmarks and fuzz targets stand outside the floors
and may include anything.
"""
import pathlib
import re
import sys

FLOORS = [
    ["base"],               # console log, process-wide values, timing
    ["resources"],          # archives, parser, INI store, save database
    ["render", "script", "maps"],  # drawing; the Lua host; Tiled maps to levels
    ["world", "sound"],     # objects, levels, characters; the sound service
    ["dialog"],             # dialog interpreter and actors
    ["api", "check"],       # the script API bound to everything below; the game checker
    ["game", "tools"],      # start-up and frame loop; the crs tool
]
FLOOR = {folder: i for i, floor in enumerate(FLOORS) for folder in floor}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"')


def main(root):
    root = pathlib.Path(root)
    problems = []
    for folder, floor in FLOOR.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            for n, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m or m.group(1) == folder:
                    continue
                target = m.group(1)
                if target not in FLOOR:
                    problems.append(f"{path.relative_to(root)}:{n}: includes from unknown folder {target}/")
                elif FLOOR[target] >= floor:
                    problems.append(f"{path.relative_to(root)}:{n}: {folder}/ includes from {target}/, "
                                    "which is not below it")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent))
