#!/usr/bin/env python3
"""Builds a large, valid game folder for measuring `tervalo --check`: the
built demo plus a level of FRAMES frames (a grid 20 wide) and CHARACTERS
characters, each with its file, a dialog of a dozen lines and a script.

    scripts/make_check_game.py DEMO_DIR OUT_DIR [--frames 200] [--characters 100] [--crs PATH]

DEMO_DIR is a laid-out game (build/game); the crs tool packs the new level
(default: the crs beside DEMO_DIR's parent, build/crs).
"""
import argparse
import os
import random
import shutil
import subprocess
import tempfile

LEVEL_ARCHIVE = "data/lvl/big.crs"
LEVEL = LEVEL_ARCHIVE + ":lvl"
TILES = "data/lvl/miedzyczas.crs:tiles"
SKY = "data/lvl/miedzyczas.crs:sky_day"
SPRITE = "data/gfx.crs:npc_a"


def blocks(rng):
    """300 cells: ground in the bottom rows, a few ledges; values 1..4 exist
    in every tile sheet of the demo."""
    cells = bytearray(300)
    for col in range(20):
        for row in range(12, 15):
            cells[row * 20 + col] = 1 + (row + col) % 3
    for _ in range(6):
        row, col = rng.randrange(3, 11), rng.randrange(0, 17)
        for k in range(3):
            cells[row * 20 + col + k] = 4
    return bytes(cells)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("demo")
    ap.add_argument("out")
    ap.add_argument("--frames", type=int, default=200)
    ap.add_argument("--characters", type=int, default=100)
    ap.add_argument("--crs")
    a = ap.parse_args()
    crs = a.crs or os.path.join(os.path.dirname(os.path.abspath(a.demo)), "crs")
    rng = random.Random(7)

    if os.path.exists(a.out):
        shutil.rmtree(a.out)
    shutil.copytree(a.demo, a.out, ignore=shutil.ignore_patterns("save", "screenshots"))

    # The level: FRAMES frames with their block files, one archive.
    with tempfile.TemporaryDirectory() as work:
        lines = [f"-- generated: {a.frames} frames"]
        for i in range(a.frames):
            fx, fy = i % 20, i // 20
            name = f"f{i:04d}"
            with open(os.path.join(work, name + ".bin"), "wb") as f:
                f.write(blocks(rng))
            lines.append(f"frame {name} {TILES} {SKY} {fx} {fy} 0 1.0 1.0")
        for i in range(a.frames // 4):
            lines.append(f"obj {i} {rng.randrange(0, 12800)} 100 0 10 data/lvl/miedzyczas.crs:crate")
        with open(os.path.join(work, "lvl.txt"), "w") as f:
            f.write("\n".join(lines) + "\n")
        with open(os.path.join(work, "big.lua"), "w") as f:
            f.write("local t = 0\nfunction tick()\n  t = t + 1\nend\n")
        out = os.path.join(a.out, LEVEL_ARCHIVE)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        subprocess.run([crs, "pack", "-q", out, work], check=True)

    # The characters: ids 1..99 in the new level, the rest in the demo's.
    listed = {LEVEL: [], "data/lvl/miedzyczas.crs:lvl": []}
    for i in range(1, a.characters + 1):
        name = f"npc{i:03d}"
        level = LEVEL if i <= 99 else "data/lvl/miedzyczas.crs:lvl"
        slot = i if i <= 99 else 3 + (i - 99)
        listed[level].append((slot, name))
        x = 64 + (i * 131) % 12700
        dialog = [
            f"1 0=str {name}: Dzien dobry!",
            "1 1=w8 0.5",
            f"1 2=strnl Jestem {name}.",
            f"1 3=if val {name}_seen 1 3 3 4",
            f"3 0=wyb 4 Do widzenia.",
            f"3 1=wyb 5 Co slychac?",
            f"4 0=save val {name}_seen 1",
            "4 1=seta",
            f"5 0=pic 1 100 100 {SPRITE} 2",
            "5 1=emot 2 1 data/gfx.crs:npc_ptr 2",
            "5 2=lua setLvlGrav(0, 400)",
            "5 3=setb 4",
        ]
        with open(os.path.join(a.out, "npc", name), "w") as f:
            f.write(f"; generated character {i}\n[npc]\n")
            f.write(f"{level}=1 1 1 1 {x} 300 0 20 {SPRITE} 1 255 {name}.lua\n")
            f.write("[dialog]\n" + "\n".join(dialog) + "\n")
        with open(os.path.join(a.out, "lua", name + ".lua"), "w") as f:
            f.write(f"-- {name}\nlocal steps = 0\nfunction update()\n  steps = steps + 1\n"
                    "  if steps % 200 == 0 then setSpdX(-getSpdX()) end\nend\n")

    with open(os.path.join(a.out, "npc", "list.ini"), "a") as f:
        f.write(f"\n[{LEVEL}]\n")
        for slot, name in listed[LEVEL]:
            f.write(f"{slot}={name}\n")
    # The demo's own section keeps its characters; the extra ones join it.
    path = os.path.join(a.out, "npc", "list.ini")
    with open(path) as f:
        text = f.read()
    extra = "".join(f"{slot}={name}\n" for slot, name in listed["data/lvl/miedzyczas.crs:lvl"])
    head = "[data/lvl/miedzyczas.crs:lvl]\n"
    text = text.replace(head, head + extra, 1)
    with open(path, "w") as f:
        f.write(text)
    with open(os.path.join(a.out, "lua", "list.ini"), "a") as f:
        f.write(f"\n[{LEVEL}]\nfile=big.lua\nalways=tick\n")
    # big.lua lives in lua/ as well, where lua/list.ini finds it.
    with open(os.path.join(a.out, "lua", "big.lua"), "w") as f:
        f.write("local t = 0\nfunction tick()\n  t = t + 1\nend\n")
    with open(os.path.join(a.out, "game.ini"), "w") as f:
        f.write(f"[game]\nlevel = {LEVEL}\nplayer_x = 320\nplayer_y = 64\n")


if __name__ == "__main__":
    main()
