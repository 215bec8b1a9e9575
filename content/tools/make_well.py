#!/usr/bin/python3
"""Generates the second level of the demo game, "Studnia" (the well).

Run with the system Python (it needs PIL), after make_level.py (it draws
its tiles with the first level's painters):

    /usr/bin/python3 content/tools/make_well.py

Writes data/lvl/studnia.crs/ (level file, block grids, tile sheet, cave
sky, the chest, the barricade, the well's voice, the dialog picture and
emoticons, start.lua), npc/echo (generated header; the dialog below it is
hand-written and kept) and the level's sections of npc/list.ini and
lua/list.ini (the other levels' sections are kept).

The cave is two frames wide. The traveller lands on its floor in the west;
a ledge three blocks high bars the way east: a chest pushed against it is
the step up. On the ledge a wooden barricade stands in the way until the
slingshot breaks it; behind it floats the well's voice.
"""

import os
import sys

from PIL import Image, ImageDraw

import make_level as ml
import pixelart

ARCHIVE = "data/lvl/studnia.crs"
LEVEL = ARCHIVE + ":lvl"
OUT = os.path.join(ml.CONTENT, ARCHIVE)
GW, GH = 2, 1
W, H = GW * ml.COLS, GH * ml.ROWS
T = ml.T

# The painters of make_level write into its OUT and size grids by its W, H.
ml.OUT, ml.W, ml.H = OUT, W, H

FLOOR, LEDGE = 12, 9          # top rows of the floor (west) and the ledge (east)
LEDGE_COL = 18                # first column of the ledge
ARRIVAL = (96, 300)           # where "goto" puts the traveller
CHEST = (1, 10 * T + 16, FLOOR * T)
BARRICADE = (2, 24 * T + 16, LEDGE * T)
ECHO = (1072, LEDGE * T - 8)  # floats a little above the ledge

GLOW = [(40, 70, 110), (70, 130, 190), (140, 210, 240), (230, 250, 255)]
CAVE = [(14, 16, 26), (24, 26, 40), (36, 38, 56)]


def res(entry):
    return ARCHIVE + ":" + entry


def write_text(name, lines, folder=None):
    pixelart.write_lines(folder or OUT, name, lines)


def build_terrain():
    g = [["."] * W for _ in range(H)]
    for c in range(W):
        for r in range(2):
            g[r][c] = "M"
        top = FLOOR if c < LEDGE_COL else LEDGE
        for r in range(top, H):
            g[r][c] = "R"
    for r in range(H):
        g[r][0] = g[r][W - 1] = "M"
    # A few stalactites hang from the ceiling.
    for c, n in ((6, 1), (13, 2), (21, 1), (29, 2), (35, 1)):
        for r in range(2, 2 + n):
            g[r][c] = "M"
    return g


def cave_sky():
    """Darkness of the cave with faint glowing specks."""
    img = ml.gradient_sky([(0.0, CAVE[0]), (0.6, CAVE[1]), (1.0, CAVE[2])], steps=6)
    px = img.load()
    rnd = ml.seeded("cave specks")
    for _ in range(70):
        x, y = rnd.randrange(ml.FW), rnd.randrange(ml.FH)
        px[x, y] = ml.rgba(GLOW[rnd.randrange(2)])
    ml.save_png(img, "sky_cave.png")
    write_text("sky_cave.txt", ["-- Cave darkness: one picture of 640 x 480.", "anim 0 0 640 480 1"])


def make_chest():
    img = Image.new("RGBA", (40, 48), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([0, 6, 39, 47], fill=ml.rgba(ml.WOOD[1]))
    for y in (16, 26, 36):
        d.line([(2, y), (37, y)], fill=ml.rgba(ml.WOOD[0]))
    d.rectangle([0, 0, 39, 9], fill=ml.rgba(ml.WOOD[2]))
    d.rectangle([17, 8, 22, 16], fill=ml.rgba(ml.STONE[3]))
    for x in (0, 36):
        d.rectangle([x, 0, x + 3, 47], fill=ml.rgba(ml.STONE[1]))
    d.rectangle([0, 0, 39, 47], outline=ml.OUT_C)
    ml.save_png(img, "chest.png")
    write_text("chest.txt", ["-- An old chest: 40 x 48, anchored at the middle of its bottom edge.",
                             "anim 0 0 40 48 1 0 0 0 40 48 chest", "frame 1 20 48"])


def make_barricade():
    """Three stages side by side: whole, cracked, splintered (24 x 64 each)."""
    img = Image.new("RGBA", (72, 64), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for stage in range(3):
        x0 = stage * 24
        for k, x in enumerate((x0 + 2, x0 + 9, x0 + 16)):
            d.rectangle([x, 2 + k % 2 * 3, x + 6, 63], fill=ml.rgba(ml.WOOD[2 - k % 2]))
            d.line([(x + 1, 8), (x + 1, 60)], fill=ml.rgba(ml.WOOD[3]))
        for y in (14, 44):
            d.rectangle([x0 + 1, y, x0 + 22, y + 4], fill=ml.rgba(ml.WOOD[0]))
        if stage >= 1:
            d.line([(x0 + 4, 20), (x0 + 12, 34), (x0 + 8, 42)], fill=ml.OUT_C, width=2)
        if stage >= 2:
            d.line([(x0 + 17, 6), (x0 + 13, 24), (x0 + 19, 38)], fill=ml.OUT_C, width=2)
            d.rectangle([x0 + 9, 0, x0 + 15, 12], fill=(0, 0, 0, 0))
    img = ml.outline(img)
    ml.save_png(img, "zapora.png")
    lines = ["-- A wooden barricade in three stages (whole, cracked, splintered): 24 x 64,",
             "-- anchored at the middle of its bottom edge.",
             "-- anim x y w h speed loop boxX1 boxY1 boxW boxH name"]
    for stage, name in enumerate(("cala", "pekni", "rozbita")):
        lines += ["anim %d 0 24 64 1 0 2 0 20 64 %s" % (stage * 24, name), "frame 1 12 64"]
    write_text("zapora.txt", lines)
    # A splinter: two frames of 6 x 3, tumbling, centred.
    s = Image.new("RGBA", (12, 6), (0, 0, 0, 0))
    sd = ImageDraw.Draw(s)
    sd.line([(0, 2), (5, 1)], fill=ml.rgba(ml.WOOD[3]), width=2)
    sd.line([(7, 0), (10, 4)], fill=ml.rgba(ml.WOOD[3]), width=2)
    ml.save_png(s, "drzazga.png")
    write_text("drzazga.txt", ["-- A splinter: two tumbling frames of 6 x 6, centred.",
                               "anim 0 0 6 6 8 0 0 0 6 6 leci", "frame 1 3 3", "frame 1 3 3"])


def make_echo():
    """The well's voice: a floating crystal that glows (four frames)."""
    img = Image.new("RGBA", (4 * 32, 48), (0, 0, 0, 0))
    for k in range(4):
        frame = Image.new("RGBA", (32, 48), (0, 0, 0, 0))
        d = ImageDraw.Draw(frame)
        glow = GLOW[1 + (k in (1, 2))]
        d.ellipse([2 + k % 2, 6, 29 - k % 2, 44], fill=ml.rgba(GLOW[0], 90))
        d.polygon([(16, 4), (26, 20), (20, 44), (12, 44), (6, 20)], fill=ml.rgba(glow))
        d.polygon([(16, 4), (20, 20), (16, 40), (12, 20)], fill=ml.rgba(GLOW[3]))
        d.line([(9, 20), (23, 20)], fill=ml.rgba(GLOW[2]))
        img.paste(ml.outline(frame), (k * 32, 0))
    ml.save_png(img, "echo.png")
    write_text("echo.txt", ["-- The well's voice: a glowing crystal, four frames of 32 x 48,",
                            "-- anchored at the middle of its bottom edge.",
                            "anim 0 0 32 48 4 0 8 4 16 44 glow"] + ["frame 1 16 48 16 24"] * 4)


def make_pictures():
    """The dialog's picture of the singing well and two emoticons."""
    pic = Image.new("RGBA", (160, 120), ml.rgba(CAVE[1]))
    d = ImageDraw.Draw(pic)
    d.rectangle([0, 0, 159, 119], outline=ml.rgba(GLOW[2]), width=3)
    d.ellipse([30, 70, 130, 110], fill=ml.rgba(ml.STONE[1]))
    d.ellipse([42, 76, 118, 102], fill=ml.rgba(GLOW[1]))
    d.rectangle([36, 30, 44, 92], fill=ml.rgba(ml.WOOD[1]))
    d.rectangle([116, 30, 124, 92], fill=ml.rgba(ml.WOOD[1]))
    d.rectangle([30, 24, 130, 34], fill=ml.rgba(ml.WOOD[2]))
    for k, (x, y) in enumerate(((66, 56), (88, 44), (104, 60))):  # notes rising
        d.ellipse([x, y, x + 8, y + 6], fill=ml.rgba(GLOW[3]))
        d.line([(x + 8, y + 3), (x + 8, y - 12)], fill=ml.rgba(GLOW[3]), width=2)
    ml.save_png(pic, "obraz_studnia.png")
    write_text("obraz_studnia.txt", ["-- Dialog picture: the singing well, 160 x 120.",
                                     "anim 0 0 160 120 1"])
    for name, draw in (("nuta", lambda d: (d.ellipse([3, 10, 9, 15], fill=ml.rgba(GLOW[3])),
                                            d.line([(9, 12), (9, 1), (13, 4)], fill=ml.rgba(GLOW[3]),
                                                   width=2))),
                       ("wykrzyknik", lambda d: (d.rectangle([6, 1, 9, 10], fill=(250, 214, 90, 255)),
                                                  d.rectangle([6, 12, 9, 15], fill=(250, 214, 90, 255))))):
        img = Image.new("RGBA", (32, 16), (0, 0, 0, 0))
        for k in range(2):
            f = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
            draw(ImageDraw.Draw(f))
            img.paste(ml.outline(f), (k * 16, -k))
        ml.save_png(img, "emot_%s.png" % name)
        write_text("emot_%s.txt" % name, ["-- Emoticon: two frames of 16 x 16, anchored at the middle",
                                          "-- of the bottom edge.",
                                          "anim 0 0 16 16 3 0 0 0 16 16 %s" % name,
                                          "frame 1 8 16", "frame 1 8 16"])


def write_level(terrain):
    lines = ["-- Studnia: the second level of the demo game, a cave under the village",
             "-- well. Two frames wide; layer 0 is the rock.",
             "-- frame name blocks sky fx fy layer parallaxX parallaxY"]
    for fx in range(GW):
        name = "t%d0" % fx
        ml.write_blocks(name, ml.frame_cells(terrain, fx, 0))
        lines.append("frame %s %s %s %d 0 0 1.0 1.0" % (name, res("tiles"), res("sky_cave"), fx))
    lines.append("-- obj id x y z hp sprite")
    lines.append("obj %d %d %d 0 10 %s" % (CHEST + (res("chest"),)))
    lines.append("obj %d %d %d 0 12 %s" % (BARRICADE + (res("zapora"),)))
    lines.append("-- The chest slides, the barricade stands (and is gone once broken).")
    lines.append("script " + res("start.lua"))
    lines.append("call start")
    write_text("lvl.txt", lines)
    write_text("start.lua", [
        "-- Run while the level file is read.",
        "function start()",
        "  setObjImmobileOn(%d)" % BARRICADE[0],
        "  if dbGetVal(\"zapora_zbita\") == 1 then delLvlObj(%d) end" % BARRICADE[0],
        "end",
    ])
    return lines


def replace_section(path, section, body, comment):
    """Rewrites one section of an INI file, keeping the others as they are."""
    kept, cur = [], None
    if os.path.isfile(path):
        with open(path) as f:
            for line in f.read().rstrip("\n").split("\n"):
                if line.startswith("[") and line.endswith("]"):
                    cur = line[1:-1]
                if cur != section and line:
                    kept.append(line)
    if not kept:
        kept = [comment]
    pixelart.write_lines(os.path.dirname(path), os.path.basename(path),
                         kept + ["[%s]" % section] + body)


def write_characters():
    npc_dir = os.path.join(ml.CONTENT, "npc")
    # present talkable colsOn gravity x y z hp sprite anim alpha script
    info = "1 1 1 0 %d %d 0 100 %s 0 255 echo.lua" % (ECHO + (res("echo"),))
    header = ["; Echo, the voice of the well (floats behind the barricade).", "[npc]",
              "%s=%s" % (LEVEL, info)]
    path = os.path.join(npc_dir, "echo")
    write_text("echo", header + ml.hand_written_tail(path, len(header)), npc_dir)
    replace_section(os.path.join(npc_dir, "list.ini"), LEVEL, ["1=echo"],
                    "; Characters of each level: key = id, value = character name (file npc/<name>).")
    replace_section(os.path.join(ml.CONTENT, "lua", "list.ini"), LEVEL,
                    ["file=studnia.lua", "always=tick"],
                    "; Level scripts: file = script under lua/, always = function run every 16 ms.")
    for script in ("echo.lua", "studnia.lua"):
        if not os.path.isfile(os.path.join(ml.CONTENT, "lua", script)):
            sys.exit("lua/%s is missing (hand-written)" % script)


def main():
    os.makedirs(OUT, exist_ok=True)
    g = build_terrain()
    tiles = ml.Sheet("tiles", "Rock of Studnia")
    terrain = ml.autotile(g, tiles)
    tiles.save()
    cave_sky()
    make_chest()
    make_barricade()
    make_echo()
    make_pictures()
    write_level(terrain)
    write_characters()
    print("studnia: %d tiles" % len(tiles.tiles))


if __name__ == "__main__":
    main()
