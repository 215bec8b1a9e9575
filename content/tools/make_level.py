#!/usr/bin/python3
"""Generates the first level of the demo game, "Miedzyczas".

Run with the system Python (it needs PIL):

    /usr/bin/python3 content/tools/make_level.py [--preview DIR]

Writes, next to this script's parent folder (content/):
  data/lvl/miedzyczas.crs/   every file becomes an entry of data/lvl/miedzyczas.crs:
      lvl.txt                the level file
      t*.bin d*.bin f*.bin   block grids of the terrain (layer 0), the scenery
                             behind it (layer 1) and the grass and water in front
                             of the characters (layer -1)
      h*.bin m*.bin          block grids of the two distant backgrounds
      tiles.png/.txt         tile sheet of layers 1, 0 and -1
      hills.png/.txt         tile sheet of the near hills (layer 2, parallax 0.5)
      far.png/.txt           tile sheet of the far mountains (layer 3, parallax 0.25)
      sky_day, sky_dusk      the two sky pictures (.png/.txt)
      crate                  a wooden crate (level object)
      npc_b, npc_c           two characters: a herbalist and a boy
      start.lua              chunk run by the level file
  npc/list.ini, npc/soltys, npc/zielarka, npc/skoczek (the generated header;
      the hand-written dialog sections after it are kept)
  lua/list.ini
  controls.bin

The characters' and the level's Lua scripts (lua/*.lua) are hand-written
sources; the generator only checks that the ones it names exist.

Then it checks what it wrote (block files, sprite names, tile indices, floors
under everybody's feet, a rough walk-and-jump reachability test) and, with
--preview, renders the level as the engine would show it into DIR.

Everything is drawn from code with fixed random seeds: every run writes the
same bytes.
"""

import math
import os
import random
import struct
import sys
import zlib

from PIL import Image, ImageDraw

import pixelart

HERE = os.path.dirname(os.path.abspath(__file__))
CONTENT = os.path.normpath(os.path.join(HERE, ".."))
ARCHIVE = "data/lvl/miedzyczas.crs"
OUT = os.path.join(CONTENT, ARCHIVE)
LEVEL = ARCHIVE + ":lvl"

T = 32                      # block size
COLS, ROWS = 20, 15         # blocks per frame
FW, FH = COLS * T, ROWS * T  # frame size
GW, GH = 4, 2               # terrain frames across and down
W, H = GW * COLS, GH * ROWS  # level size in blocks (80 x 30)

PLAYER_START = (960, 96)
# The player's sprite (data/gfx.crs:player): anchor (16, 48), box 8 4 16 44.
CHAR_ANCHOR, CHAR_BOX = (16, 48), (8, 4, 16, 44)


def res(entry):
    return ARCHIVE + ":" + entry


def seeded(*key):
    """A random generator that depends only on its key."""
    return random.Random(zlib.crc32(repr(key).encode()))


# --------------------------------------------------------------------------
# Palette

OUT_C = (34, 28, 44, 255)
GRASS = [(52, 112, 58), (92, 160, 64), (140, 200, 82), (196, 232, 122)]
DIRT = [(84, 52, 42), (122, 78, 52), (152, 100, 64), (184, 130, 84)]
DEEP = [(52, 36, 40), (76, 52, 50), (100, 70, 62), (128, 96, 80)]
ROCK = [(58, 56, 76), (88, 88, 108), (120, 120, 140), (164, 164, 180)]
CLIFF = [(66, 58, 72), (100, 90, 98), (128, 116, 118), (162, 150, 144)]
BRICK = [(96, 86, 84), (148, 136, 118), (182, 170, 146), (212, 202, 176)]
MOSS = [(78, 118, 56), (112, 152, 72)]
WOOD = [(78, 48, 32), (120, 78, 48), (162, 112, 66), (204, 154, 92)]
LEAF = [(30, 78, 56), (50, 114, 64), (84, 154, 76), (138, 194, 100)]
NEEDLE = [(22, 62, 58), (34, 90, 70), (60, 124, 84)]
THATCH = [(108, 76, 42), (146, 108, 56), (186, 146, 78), (220, 186, 112)]
STONE = [(70, 68, 86), (112, 112, 130), (150, 150, 166), (196, 196, 208)]
FLOWERS = [(232, 84, 84), (250, 214, 90), (236, 236, 244), (176, 124, 224)]
LIGHT = (255, 214, 120)


def rgba(c, a=255):
    return (c[0], c[1], c[2], a)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def outline(img, colour=OUT_C, outside=None):
    """One dark pixel around the opaque pixels (4-neighbourhood). `outside`
    tells, per side ("t", "l", "r", "b"), whether the area beyond the image
    edge counts as empty: edge pixels on such a side get the outline colour
    too (tiles only outline the sides that border empty cells)."""
    if outside is None:
        # Plain pictures: the outline goes on transparent pixels next to opaque ones.
        return pixelart.outline(img, colour, min_alpha=64)
    w, h = img.size
    src = img.load()
    out = img.copy()
    dst = out.load()
    # Tiles: the outline replaces opaque pixels on the shape's border, so the
    # tile's collision mask keeps exactly the shape.
    for y in range(h):
        for x in range(w):
            if not src[x, y][3]:
                continue
            for dx, dy, side in ((1, 0, "r"), (-1, 0, "l"), (0, 1, "b"), (0, -1, "t")):
                nx, ny = x + dx, y + dy
                if 0 <= nx < w and 0 <= ny < h:
                    empty = src[nx, ny][3] == 0
                else:
                    empty = outside[side]
                if empty:
                    dst[x, y] = colour
                    break
    return out


# --------------------------------------------------------------------------
# Tile sheets


class Sheet:
    """A tile sheet: one 32 x 32 animation per tile, animation 0 left empty
    (cell value 0 means "no block"). Tiles are made on first use, so the sheet
    holds only what the level needs."""

    def __init__(self, entry, title):
        self.entry, self.title = entry, title
        self.tiles = [("unused", Image.new("RGBA", (T, T), (0, 0, 0, 0)))]
        self.index = {}
        self.by_bytes = {}

    def get(self, key, painter):
        if key not in self.index:
            self.index[key] = self.add(tile_name(key), painter())
        return self.index[key]

    def add(self, name, img):
        self.tiles.append((name, img))
        if len(self.tiles) > 256:
            raise SystemExit("tile sheet %s: more than 255 tiles" % self.entry)
        return len(self.tiles) - 1

    def add_unique(self, img):
        """For cut pictures: identical tiles share one animation; empty ones are 0."""
        data = img.tobytes()
        if not any(data[3::4]):
            return 0
        if data not in self.by_bytes:
            self.by_bytes[data] = self.add("p%d" % len(self.tiles), img)
        return self.by_bytes[data]

    def save(self):
        per_row = 16
        rows = (len(self.tiles) + per_row - 1) // per_row
        img = Image.new("RGBA", (per_row * T, rows * T), (0, 0, 0, 0))
        lines = ["-- %s: one 32 x 32 animation per tile; animation 0 is never used by a block." % self.title,
                 "-- anim x y w h speed loop boxX1 boxY1 boxW boxH name"]
        for i, (name, tile) in enumerate(self.tiles):
            x, y = (i % per_row) * T, (i // per_row) * T
            img.paste(tile, (x, y))
            lines.append("anim %d %d 32 32 1 0 0 0 32 32 %s" % (x, y, name))
        save_png(img, self.entry + ".png")
        write_text(self.entry + ".txt", lines)
        self.image = img


SLOPE_NAMES = {"/": "up", "\\": "down", "a": "rise_low", "b": "rise_high", "c": "fall_high",
               "d": "fall_low"}


def tile_name(key):
    """A readable animation name for a tile key."""
    kind = key[0]
    if kind == "terrain":
        _, style, exposed, slope, variant = key
        sides = "".join(ch for ch, e in zip("tlrb", exposed) if e) or "in"
        if slope:
            return "%s_slope_%s_%s" % (style, SLOPE_NAMES[slope], sides)
        return "%s_%s_%d" % (style, sides, variant)
    return "_".join(str(k) for k in key if k != "decor")


def save_png(img, name):
    pixelart.save_png(img, OUT, name)


def write_text(name, lines, folder=None):
    pixelart.write_lines(folder or OUT, name, lines)


# --------------------------------------------------------------------------
# Terrain tiles

SLOPES = {
    # surface row (first solid pixel) of each pixel column
    "/": lambda x: 31 - x,
    "\\": lambda x: x,
    "a": lambda x: 31 - x // 2,   # gentle rise, lower half
    "b": lambda x: 15 - x // 2,   # gentle rise, upper half
    "c": lambda x: x // 2,        # gentle fall, upper half
    "d": lambda x: 16 + x // 2,   # gentle fall, lower half
}


def texture(img, shape, style, variant):
    """Fills the opaque pixels of `shape` (a 32 x 32 bool grid) with the
    material's texture."""
    px = img.load()
    rnd = seeded("tex", style, variant)
    pal = PALETTES[style]
    base = pal[1]
    for y in range(T):
        for x in range(T):
            if shape[y][x]:
                px[x, y] = rgba(base)

    def dot(x, y, c):
        if 0 <= x < T and 0 <= y < T and shape[y][x]:
            px[x, y] = rgba(c)

    if style in ("dirt", "deep"):
        for _ in range(16):
            x, y = rnd.randrange(T), rnd.randrange(T)
            dot(x, y, pal[2])
            dot(x + 1, y, pal[2])
        for _ in range(12):
            x, y = rnd.randrange(T), rnd.randrange(T)
            dot(x, y, pal[0])
        for _ in range(2 if style == "dirt" else 3):  # pebbles
            x, y = rnd.randrange(2, T - 4), rnd.randrange(2, T - 3)
            for dx, dy in ((1, 0), (2, 0), (0, 1), (1, 1), (2, 1), (3, 1), (1, 2), (2, 2)):
                dot(x + dx, y + dy, STONE[1])
            dot(x + 1, y, STONE[3])
            dot(x + 1, y + 1, STONE[2])
            dot(x + 1, y + 3, pal[0])
            dot(x + 2, y + 3, pal[0])
    elif style == "rock":
        # Irregular slabs: dark cracks with a light lip below them.
        for _ in range(3):
            x, y = rnd.randrange(T), rnd.randrange(T)
            for _ in range(rnd.randrange(8, 16)):
                dot(x, y, pal[0])
                dot(x, y + 1, pal[2])
                x += rnd.choice((1, 1, 0))
                y += rnd.choice((-1, 0, 1))
        for _ in range(10):
            dot(rnd.randrange(T), rnd.randrange(T), pal[2])
        for _ in range(6):
            dot(rnd.randrange(T), rnd.randrange(T), pal[3])
    elif style == "cliff":
        # A piece of the seamless slab pattern: cell (c, r) of the massif
        # shows piece (c mod 4, r mod 3), so slabs run on across the blocks.
        src = cliff_pattern().load()
        ox, oy = (variant % 4) * T, (variant // 4) * T
        for y in range(T):
            for x in range(T):
                if shape[y][x]:
                    px[x, y] = src[ox + x, oy + y]
    elif style == "brick":
        for y in range(T):
            course = y // 8
            off = 8 if course % 2 else 0
            for x in range(T):
                if not shape[y][x]:
                    continue
                if y % 8 == 7 or (x + off) % 16 == 15:
                    px[x, y] = rgba(pal[0])
                elif y % 8 == 0:
                    px[x, y] = rgba(pal[2])
        for _ in range(5):
            x, y = rnd.randrange(T), rnd.randrange(T)
            if y % 8 not in (0, 7):
                dot(x, y, pal[3])
        for _ in range(4):
            x, y = rnd.randrange(T), rnd.randrange(T)
            dot(x, y, pal[0])


_CLIFF = []


def cliff_pattern():
    """Rock slabs of a cliff face, 128 x 96 and seamless in both directions:
    a Voronoi pattern on a torus, wider than high, lit from above."""
    if _CLIFF:
        return _CLIFF[0]
    pw, ph = 4 * T, 3 * T
    rnd = seeded("cliff")
    seeds = [(rnd.uniform(0, pw), rnd.uniform(0, ph)) for _ in range(14)]
    tone = [rnd.choice((CLIFF[1], CLIFF[1], mix(CLIFF[1], CLIFF[2], 0.5), CLIFF[2])) for _ in seeds]
    owner = [[0] * pw for _ in range(ph)]
    gap = [[False] * pw for _ in range(ph)]
    for y in range(ph):
        for x in range(pw):
            ds = []
            for i, (sx, sy) in enumerate(seeds):
                dx = min(abs(x - sx), pw - abs(x - sx)) * 0.6
                dy = min(abs(y - sy), ph - abs(y - sy))
                ds.append((dx * dx + dy * dy, i))
            ds.sort()
            owner[y][x] = ds[0][1]
            gap[y][x] = math.sqrt(ds[1][0]) - math.sqrt(ds[0][0]) < 1.1
    img = Image.new("RGBA", (pw, ph))
    px = img.load()
    for y in range(ph):
        for x in range(pw):
            o = owner[y][x]
            if gap[y][x]:
                c = CLIFF[0]
            elif owner[(y - 1) % ph][x] != o or gap[(y - 1) % ph][x]:
                c = CLIFF[3]
            elif owner[(y + 1) % ph][x] != o or gap[(y + 1) % ph][x] or \
                    owner[(y + 2) % ph][x] != o:
                c = mix(tone[o], CLIFF[0], 0.5)
            elif owner[y][(x + 1) % pw] != o or gap[y][(x + 1) % pw]:
                c = mix(tone[o], CLIFF[0], 0.4)
            else:
                c = tone[o]
            px[x, y] = rgba(c)
    for _ in range(120):  # grit
        x, y = rnd.randrange(pw), rnd.randrange(ph)
        if not gap[y][x]:
            px[x, y] = rgba(mix(tone[owner[y][x]], CLIFF[0], 0.35))
    _CLIFF.append(img)
    return img


PALETTES = {"dirt": DIRT, "deep": DEEP, "rock": ROCK, "brick": BRICK, "cliff": CLIFF}


def surface_depth(shape, x, y):
    """How many opaque pixels lie above (x, y) in its column, counting from
    the column's first opaque pixel."""
    d = 0
    for yy in range(y - 1, -1, -1):
        if not shape[yy][x]:
            break
        d += 1
    return d


def terrain_tile(style, exposed, slope=None, variant=0):
    """One block of terrain. `exposed` = (top, left, right, bottom): which
    neighbours are empty. Exposed corners are rounded, exposed sides get the
    dark outline; an exposed top of dirt grows grass (moss on bricks)."""
    top, left, right, bottom = exposed
    shape = [[True] * T for _ in range(T)]
    if slope:
        surf = SLOPES[slope]
        shape = [[y >= surf(x) for x in range(T)] for y in range(T)]
    else:
        # Rounded outer corners where two exposed sides meet.
        for y in range(T):
            for x in range(T):
                cx = min(x, T - 1 - x)
                cy = min(y, T - 1 - y)
                if cx + cy < 3 and cx < 3 and cy < 3:
                    hor = left if x < T // 2 else right
                    ver = top if y < T // 2 else bottom
                    if hor and ver:
                        shape[y][x] = False
    img = Image.new("RGBA", (T, T), (0, 0, 0, 0))
    texture(img, shape, style, variant)
    px = img.load()
    rnd = seeded("grass", style, exposed, slope, variant)
    grassy = (top or slope) and style in ("dirt", "deep")
    if grassy:
        bands = []
        for x in range(T):
            b = 6 + rnd.randrange(3)
            if rnd.random() < 0.15:
                b += rnd.randrange(2, 5)  # a strand hanging lower
            bands.append(b)
        for y in range(T):
            for x in range(T):
                if not shape[y][x]:
                    continue
                d = surface_depth(shape, x, y)
                if d >= bands[x]:
                    continue
                if d <= 1:
                    c = GRASS[3] if (x + d) % 5 else GRASS[2]
                elif d < bands[x] - 2:
                    c = GRASS[2] if d == 2 else GRASS[1]
                else:
                    c = GRASS[0]
                px[x, y] = rgba(c)
    elif top and style == "brick":
        for x in range(T):
            m = 2 + (1 if rnd.random() < 0.4 else 0)
            for y in range(m):
                if shape[y][x]:
                    px[x, y] = rgba(MOSS[1] if y < m - 1 else MOSS[0])
    elif top and style == "rock":
        for x in range(T):
            if shape[1][x]:
                px[x, 1] = rgba(ROCK[3])
    # Inner shade along exposed bottoms and right sides.
    pal = PALETTES[style]
    for y in range(T):
        for x in range(T):
            if not shape[y][x]:
                continue
            if bottom and y >= T - 3:
                px[x, y] = rgba(pal[0])
            if right and x >= T - 2 and not (grassy and surface_depth(shape, x, y) < 6):
                px[x, y] = rgba(pal[0])
    outside = {"t": top or bool(slope), "l": left, "r": right, "b": bottom}
    return outline(img, OUT_C, outside)


def plank_tile(part):
    """A wooden plank bridge, 12 px thick; `part` is "l", "m" or "r"."""
    img = Image.new("RGBA", (T, T), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    x0 = 1 if part == "l" else 0
    x1 = 30 if part == "r" else 31
    d.rectangle([x0, 0, x1, 11], fill=rgba(WOOD[2]))
    d.line([x0, 1, x1, 1], fill=rgba(WOOD[3]))
    d.line([x0, 9, x1, 9], fill=rgba(WOOD[1]))
    d.line([x0, 10, x1, 10], fill=rgba(WOOD[0]))
    rnd = seeded("plank", part)
    for _ in range(4):  # grain
        gx, gy = rnd.randrange(x0, x1 - 6), rnd.randrange(3, 8)
        d.line([gx, gy, gx + rnd.randrange(3, 7), gy], fill=rgba(WOOD[1]))
    for bx in (0, 16):  # board joints and nails
        if x0 <= bx + 15 <= x1:
            d.line([bx + 15, 2, bx + 15, 8], fill=rgba(WOOD[0]))
        if x0 <= bx + 3 <= x1:
            d.point([(bx + 3, 3), (bx + 3, 7)], fill=rgba(STONE[3]))
    outside = {"t": True, "b": True, "l": part == "l", "r": part == "r"}
    img = outline(img, OUT_C, outside)
    if part in ("l", "r"):  # rounded ends
        px = img.load()
        for x, y in ((x0, 0), (x0, 11), (x1, 0), (x1, 11)):
            if (part == "l" and x == x0) or (part == "r" and x == x1):
                px[x, y] = (0, 0, 0, 0)
    return img


# --------------------------------------------------------------------------
# Decor pictures (scenery behind and in front of the terrain)


def blob(d, cx, cy, r, c):
    d.ellipse([cx - r, cy - r, cx + r, cy + r], fill=rgba(c))


def shaded_crown(img, circles, pal, seed):
    """A leafy crown from overlapping circles: dark body, lighter upper left."""
    d = ImageDraw.Draw(img)
    for cx, cy, r in circles:
        blob(d, cx, cy, r, pal[0])
    for cx, cy, r in circles:
        blob(d, cx - 1, cy - 2, r - 2, pal[1])
    for cx, cy, r in circles:
        blob(d, cx - 3, cy - 4, max(2, r - 6), pal[2])
    rnd = seeded("crown", seed)
    px = img.load()
    w, h = img.size
    for _ in range(len(circles) * 10):  # leaf glints and holes
        cx, cy, r = rnd.choice(circles)
        a = rnd.random() * math.tau
        rr = rnd.random() * (r - 2)
        x, y = int(cx + math.cos(a) * rr), int(cy + math.sin(a) * rr)
        if 0 <= x < w - 1 and 0 <= y < h and px[x, y][3]:
            c = pal[3] if y < cy else pal[0]
            px[x, y] = rgba(c)
            if px[x + 1, y][3]:
                px[x + 1, y] = rgba(c)


def pic_tree():
    img = Image.new("RGBA", (96, 160), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    # Trunk with roots.
    d.polygon([(41, 159), (44, 80), (52, 80), (55, 159)], fill=rgba(WOOD[1]))
    d.polygon([(34, 159), (42, 148), (44, 159)], fill=rgba(WOOD[1]))
    d.polygon([(62, 159), (53, 148), (52, 159)], fill=rgba(WOOD[1]))
    d.line([(46, 158), (47, 84)], fill=rgba(WOOD[2]))
    d.line([(52, 158), (51, 90)], fill=rgba(WOOD[0]))
    d.line([(48, 100), (30, 74)], fill=rgba(WOOD[1]), width=3)
    d.line([(49, 94), (66, 70)], fill=rgba(WOOD[1]), width=3)
    shaded_crown(img, [(48, 44, 30), (24, 62, 20), (72, 60, 22), (36, 28, 18), (62, 26, 18),
                       (48, 74, 18), (14, 78, 12), (84, 80, 11)], LEAF, "tree")
    return outline(img)


def pic_pine():
    img = Image.new("RGBA", (64, 128), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([29, 104, 34, 127], fill=rgba(WOOD[1]))
    d.line([(30, 104), (30, 127)], fill=rgba(WOOD[2]))
    for k, (top, half) in enumerate([(4, 12), (24, 18), (46, 24), (70, 29)]):
        bottom = top + 36
        d.polygon([(32, top), (32 - half, bottom), (32 + half, bottom)], fill=rgba(NEEDLE[0]))
        d.polygon([(32, top + 2), (32 - half + 5, bottom - 3), (31, bottom - 3)], fill=rgba(NEEDLE[1]))
        d.polygon([(31, top + 5), (32 - half // 2, bottom - 8), (29, bottom - 8)], fill=rgba(NEEDLE[2]))
        for x in range(32 - half + 2, 32 + half - 1, 5):  # ragged lower edge
            d.polygon([(x, bottom), (x + 2, bottom + 3), (x + 4, bottom)], fill=rgba(NEEDLE[0]))
    return outline(img)


def pic_bush():
    img = Image.new("RGBA", (64, 32), (0, 0, 0, 0))
    shaded_crown(img, [(20, 22, 10), (34, 18, 13), (48, 23, 9), (12, 26, 6), (56, 27, 5)], LEAF, "bush")
    px = img.load()
    for y in range(29, 32):  # flat bottom on the ground
        for x in range(64):
            px[x, y] = (0, 0, 0, 0)
    for x in range(6, 60):
        if px[x, 28][3]:
            px[x, 28] = rgba(LEAF[0])
    d = ImageDraw.Draw(img)
    for x, c in ((24, FLOWERS[2]), (40, FLOWERS[0]), (31, FLOWERS[2])):
        d.point([(x, 14), (x + 1, 15), (x - 1, 15), (x, 16)], fill=rgba(c))
    return outline(img)


def pic_hut():
    img = Image.new("RGBA", (160, 128), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    # Log walls.
    d.rectangle([16, 56, 143, 127], fill=rgba(WOOD[1]))
    for y in range(58, 128, 8):
        d.line([(16, y), (143, y)], fill=rgba(WOOD[2]))
        d.line([(16, y + 6), (143, y + 6)], fill=rgba(WOOD[0]))
    for x in (16, 143):
        d.rectangle([x - 3, 56, x + 3, 127], fill=rgba(WOOD[0]))
        for y in range(58, 128, 8):
            blob(d, x, y + 3, 3, WOOD[2])
    # Door.
    d.rectangle([92, 82, 117, 127], fill=rgba(WOOD[0]))
    d.rectangle([95, 85, 114, 127], fill=rgba((92, 58, 36)))
    for x in (101, 108):
        d.line([(x, 85), (x, 127)], fill=rgba(WOOD[0]))
    d.point([(111, 106)], fill=rgba(LIGHT))
    # Window with warm light and a cross.
    d.rectangle([34, 74, 67, 101], fill=rgba(WOOD[0]))
    d.rectangle([37, 77, 64, 98], fill=rgba(LIGHT))
    d.rectangle([37, 88, 64, 98], fill=rgba((240, 170, 90)))
    d.line([(50, 77), (50, 98)], fill=rgba(WOOD[0]), width=2)
    d.line([(37, 87), (64, 87)], fill=rgba(WOOD[0]), width=2)
    d.rectangle([31, 101, 70, 104], fill=rgba(WOOD[2]))
    # Chimney.
    d.rectangle([112, 8, 127, 40], fill=rgba(STONE[1]))
    for y in range(10, 40, 6):
        d.line([(112, y), (127, y)], fill=rgba(STONE[0]))
    d.rectangle([110, 6, 129, 10], fill=rgba(STONE[2]))
    # Thatched roof.
    d.polygon([(0, 62), (80, 14), (159, 62), (159, 68), (0, 68)], fill=rgba(THATCH[1]))
    d.polygon([(8, 60), (80, 19), (80, 30), (20, 62)], fill=rgba(THATCH[2]))
    rnd = seeded("thatch")
    for _ in range(140):
        x = rnd.randrange(4, 156)
        top = 62 - (80 - abs(80 - x)) * 48 // 80 + 4
        if top >= 66:
            continue
        y = rnd.randrange(top, 66)
        d.line([(x, y), (x + rnd.choice((-1, 1)), y + 4)], fill=rgba(rnd.choice((THATCH[0], THATCH[3]))))
    d.line([(0, 67), (159, 67)], fill=rgba(THATCH[0]), width=2)
    return outline(img)


def pic_fence():
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for x in (4, 20):
        d.rectangle([x, 10, x + 5, 31], fill=rgba(WOOD[2]))
        d.polygon([(x, 10), (x + 2, 7), (x + 5, 10)], fill=rgba(WOOD[2]))
        d.line([(x + 5, 11), (x + 5, 31)], fill=rgba(WOOD[1]))
    for y in (14, 23):
        d.rectangle([0, y, 31, y + 3], fill=rgba(WOOD[1]))
        d.line([(0, y), (31, y)], fill=rgba(WOOD[3]))
    return img


def pic_sign():
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([14, 12, 17, 31], fill=rgba(WOOD[1]))
    d.polygon([(3, 5), (26, 5), (30, 10), (26, 15), (3, 15)], fill=rgba(WOOD[2]))
    d.line([(3, 5), (26, 5)], fill=rgba(WOOD[3]))
    d.line([(6, 9), (22, 9)], fill=rgba(WOOD[0]))
    d.line([(6, 12), (18, 12)], fill=rgba(WOOD[0]))
    return outline(img)


def pic_lantern():
    img = Image.new("RGBA", (32, 64), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([14, 14, 17, 63], fill=rgba(WOOD[0]))
    d.line([(15, 14), (15, 63)], fill=rgba(WOOD[1]))
    d.rectangle([12, 58, 19, 63], fill=rgba(WOOD[1]))
    d.line([(16, 8), (25, 8)], fill=rgba(WOOD[0]), width=2)
    d.rectangle([21, 12, 29, 24], fill=rgba(STONE[0]))
    d.rectangle([23, 14, 27, 22], fill=rgba(LIGHT))
    d.point([(24, 15)], fill=(255, 250, 220, 255))
    d.polygon([(20, 12), (25, 8), (30, 12)], fill=rgba(STONE[0]))
    return outline(img)


def pic_pillar():
    img = Image.new("RGBA", (32, 64), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([6, 56, 25, 63], fill=rgba(BRICK[1]))
    d.line([(6, 56), (25, 56)], fill=rgba(BRICK[3]))
    d.polygon([(9, 56), (9, 14), (13, 10), (16, 16), (20, 8), (22, 20), (22, 56)], fill=rgba(BRICK[2]))
    for x in (12, 16, 20):
        d.line([(x, 22), (x, 54)], fill=rgba(BRICK[1]))
    d.line([(9, 30), (22, 31)], fill=rgba(BRICK[0]))
    d.polygon([(9, 40), (14, 38), (13, 46), (9, 47)], fill=rgba(MOSS[1]))
    return outline(img)


def pic_flowers(kind):
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    rnd = seeded("flowers", kind)
    for k in range(5):
        x = 3 + k * 6 + rnd.randrange(3)
        top = 20 + rnd.randrange(6)
        d.line([(x, top), (x + rnd.choice((-1, 0, 1)), 31)], fill=rgba(GRASS[1]))
        d.point([(x - 1, 28), (x + 1, 27)], fill=rgba(GRASS[2]))
        c = FLOWERS[(k + kind) % len(FLOWERS)]
        d.point([(x, top - 1), (x - 1, top), (x + 1, top), (x, top + 1)], fill=rgba(c))
        d.point([(x, top)], fill=rgba(FLOWERS[1] if c != FLOWERS[1] else FLOWERS[0]))
    return outline(img)


def pic_rocks():
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse([3, 18, 21, 36], fill=rgba(STONE[1]))
    d.ellipse([6, 20, 15, 28], fill=rgba(STONE[2]))
    d.point([(8, 22), (9, 22)], fill=rgba(STONE[3]))
    d.ellipse([17, 24, 29, 36], fill=rgba(STONE[0]))
    d.ellipse([19, 26, 24, 30], fill=rgba(STONE[1]))
    return outline(img)


def pic_mushrooms():
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for x, h, r in ((9, 10, 6), (21, 7, 4)):
        d.rectangle([x - 1, 31 - h, x + 1, 31], fill=rgba((236, 226, 204)))
        d.pieslice([x - r, 31 - h - r, x + r, 31 - h + r], 180, 360, fill=rgba((206, 58, 52)))
        d.point([(x - r // 2, 31 - h - r // 2), (x + r // 2, 31 - h - 2)], fill=(250, 244, 230, 255))
    return outline(img)


def pic_tuft(kind):
    """Grass blades in front of the characters' feet."""
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    rnd = seeded("tuft", kind)
    for k in range(9):
        x = 2 + k * 3 + rnd.randrange(2)
        h = 5 + rnd.randrange(8)
        lean = rnd.choice((-2, -1, 1, 2))
        c = GRASS[rnd.choice((1, 2, 2, 3))]
        d.line([(x, 31), (x + lean, 31 - h)], fill=rgba(c))
    if kind == 1:
        d.point([(14, 21), (13, 22), (15, 22), (14, 23)], fill=rgba(FLOWERS[1]))
    return img


def pic_ivy():
    """Ivy hanging down the massif's face (in front of it, on layer -1)."""
    img = Image.new("RGBA", (32, 160), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    rnd = seeded("ivy")
    for x0, length in ((29, 150), (24, 96), (19, 124), (13, 54), (27, 70)):
        x = x0
        for y in range(0, length):
            if y % 9 == 0:
                x += rnd.choice((-1, 0, 1))
                x = max(8, min(31, x))
            d.point([(x, y)], fill=rgba(LEAF[0]))
            if y % 7 == 3:
                side = rnd.choice((-1, 1))
                c = LEAF[rnd.choice((1, 2, 3))]
                d.ellipse([x + side * 2 - 2, y - 1, x + side * 2 + 1, y + 2], fill=rgba(c))
    return img


def pic_water(part):
    img = Image.new("RGBA", (32, 32), (60, 128, 196, 140))
    d = ImageDraw.Draw(img)
    if part == "top":
        d.rectangle([0, 0, 31, 4], fill=(0, 0, 0, 0))
        d.line([(0, 5), (31, 5)], fill=(200, 236, 250, 220))
        d.line([(4, 8), (11, 8)], fill=(150, 206, 240, 170))
        d.line([(19, 11), (27, 11)], fill=(150, 206, 240, 170))
    else:
        d.line([(9, 12), (15, 12)], fill=(110, 170, 220, 150))
        d.line([(22, 24), (27, 24)], fill=(110, 170, 220, 150))
    return img


def cut(img, name):
    """Cuts a decor picture into 32 x 32 tiles: {(col, row): (name, tile)},
    rows counted from the top, empty tiles left out."""
    tiles = {}
    for r in range(img.height // T):
        for c in range(img.width // T):
            t = img.crop((c * T, r * T, c * T + T, r * T + T))
            if any(t.tobytes()[3::4]):
                tiles[(c, r)] = ("%s_%d_%d" % (name, c, r), t)
    return tiles


# --------------------------------------------------------------------------
# The terrain map (80 x 30 blocks; row 0 at the top)
#
# Material letters: G ground (dirt, grass where the sky touches it, darker
# deeper down), B brick ruins, R rock, M cliff strata, P wooden plank, one of
# / \ a b c d a slope (see SLOPES), "." empty.


def build_terrain():
    g = [["."] * W for _ in range(H)]

    def column(c, top, mat="G", slope=None):
        if slope:
            g[top - 1][c] = slope
        for r in range(top, H):
            g[r][c] = mat if (mat != "B" or r <= 12) else "G"

    def flat(c0, c1, top, mat="G"):
        for c in range(c0, c1 + 1):
            column(c, top, mat)

    def plank(c0, c1, r):
        for c in range(c0, c1 + 1):
            g[r][c] = "P"

    # West: a rock massif ten blocks wide closes the world. The camera follows
    # the player without limits; standing at its foot the player still sees
    # nothing left of the level.
    for c in range(10):
        top = {9: 6, 8: 4}.get(c, 3)
        g[top][c] = "G"
        for r in range(top + 1, H):
            g[r][c] = "M"
    # The village meadow with the hut.
    flat(10, 14, 13)
    # Brick ruins, a stepped pyramid; a plank juts out east of their top.
    for c, top in zip(range(15, 20), (12, 11, 10, 11, 12)):
        column(c, top, "B")
    plank(19, 21, 9)
    column(20, 13)
    column(21, 14, slope="\\")
    # The pond (water on layer -1).
    for c, top in zip(range(22, 25), (15, 16, 15)):
        column(c, top)
    column(25, 14)
    column(26, 14, slope="/")
    column(27, 13, slope="/")
    # The meadow where the traveller lands (x = 960 is column 30).
    flat(28, 34, 12)
    column(35, 13, slope="\\")
    column(36, 13)
    column(37, 14, slope="c")
    column(38, 14, slope="d")
    flat(39, 40, 14)
    # A ditch three blocks wide; a step on its east side leads out.
    flat(41, 42, 16)
    column(43, 15)
    flat(44, 47, 14)
    # Stairs down into the valley.
    column(48, 15, slope="\\")
    column(49, 15)
    column(50, 16)
    column(51, 17, slope="\\")
    column(52, 17)
    column(53, 18)
    column(54, 19, slope="\\")
    column(55, 19)
    column(56, 20)
    column(57, 21, slope="\\")
    flat(58, 64, 21)
    # Stairs up to the hill in the east.
    column(65, 21, slope="/")
    column(66, 20)
    column(67, 19)
    column(68, 19, slope="/")
    column(69, 18)
    column(70, 17)
    column(71, 17, slope="/")
    column(72, 16)
    column(73, 15)
    column(74, 15, slope="/")
    flat(75, 78, 14)
    for r in range(H):
        g[r][79] = "M"
    # The high road over the valley: planks and a floating rock island.
    plank(56, 58, 17)
    for c in range(60, 64):
        g[16][c] = "G"
        g[17][c] = "R"
    plank(65, 66, 15)
    plank(68, 69, 14)
    plank(72, 73, 13)
    return g


SOLID_FULL = set("GBRM")


def is_solid(g, c, r):
    """Neighbour test for autotiling: outside the map counts as solid at the
    sides and bottom (no seams at the level edges) and empty above."""
    if r < 0:
        return False
    if c < 0 or c >= W or r >= H:
        return True
    return g[r][c] in SOLID_FULL or g[r][c] in SLOPES


def autotile(g, sheet):
    cells = [[0] * W for _ in range(H)]
    for r in range(H):
        for c in range(W):
            m = g[r][c]
            if m == ".":
                continue
            if m == "P":
                left = c > 0 and g[r][c - 1] == "P"
                right = c < W - 1 and g[r][c + 1] == "P"
                part = "m" if left and right else ("l" if not left else "r")
                if not left and not right:
                    part = "m"
                cells[r][c] = sheet.get(("plank", part), lambda p=part: plank_tile(p))
                continue
            depth = 0
            rr = r - 1
            while rr >= 0 and g[rr][c] != "." and g[rr][c] != "P":
                depth += 1
                rr -= 1
            if m in SLOPES:
                style, exposed, slope = "dirt", (True, False, False, False), m
                left_empty = not is_solid(g, c - 1, r)
                right_empty = not is_solid(g, c + 1, r)
                exposed = (True, left_empty and m in "\\cd", right_empty and m in "/ab", False)
            else:
                if m == "G":
                    style = "dirt" if depth < 4 else ("deep" if depth < 9 else "rock")
                else:
                    style = {"B": "brick", "R": "rock", "M": "cliff"}[m]
                exposed = (not is_solid(g, c, r - 1), not is_solid(g, c - 1, r),
                           not is_solid(g, c + 1, r), not is_solid(g, c, r + 1))
                slope = None
            variant = 0 if any(exposed) else (c * 7 + r * 13) % 3
            if exposed[0] and not slope:
                variant = (c * 5) % 2
            if style == "cliff":
                variant = (c % 4) + 4 * (r % 3)
            key = ("terrain", style, exposed, slope, variant)
            cells[r][c] = sheet.get(key, lambda s=style, e=exposed, sl=slope, v=variant:
                                    terrain_tile(s, e, sl, v))
    return cells


def surface_top(g, c, below=0):
    """First row at or below `below` whose block is solid in column c."""
    for r in range(below, H):
        if g[r][c] not in ".P":
            return r
    return H


# --------------------------------------------------------------------------
# Scenery: layer 1 (behind, no collision) and layer -1 (in front)


def build_decor(g, sheet):
    back = [[0] * W for _ in range(H)]
    front = [[0] * W for _ in range(H)]

    def put(grid, picture, name, col, bottom_row):
        """Places a cut picture with its bottom-left block at (col, bottom_row)."""
        tiles = cut(picture, name)
        rows = picture.height // T
        for (c, r), (tname, t) in tiles.items():
            cc, rr = col + c, bottom_row - (rows - 1 - r)
            assert 0 <= cc < W and 0 <= rr < H, (name, cc, rr)
            grid[rr][cc] = sheet.get(("decor", tname), lambda t=t: t)

    def on_ground(c0, c1):
        """The block row just above flat ground spanning columns c0..c1."""
        tops = {surface_top(g, c) for c in range(c0, c1 + 1)}
        assert len(tops) == 1, ("decor on uneven ground", c0, c1, tops)
        return tops.pop() - 1

    tree, pine, bush, hut = pic_tree(), pic_pine(), pic_bush(), pic_hut()
    put(back, hut, "hut", 10, on_ground(10, 14))
    put(back, pic_pillar(), "pillar", 17, surface_top(g, 17) - 1)
    put(back, pic_lantern(), "lantern", 20, on_ground(20, 20))
    put(back, pic_sign(), "sign", 28, on_ground(28, 28))
    put(back, pic_flowers(0), "flowers0", 29, on_ground(29, 29))
    put(back, tree, "tree", 31, on_ground(31, 33))
    put(back, pic_flowers(2), "flowers2", 34, on_ground(34, 34))
    put(back, bush, "bush", 39, on_ground(39, 40))
    put(back, pine, "pine", 45, on_ground(45, 46))
    put(back, pic_rocks(), "rocks", 49, on_ground(49, 49))
    put(back, pic_flowers(1), "flowers1", 59, on_ground(59, 59))
    put(back, pic_mushrooms(), "mushrooms", 62, on_ground(62, 62))
    put(back, pine, "pine", 61, surface_top(g, 61, 10) - 1)
    put(back, pic_rocks(), "rocks", 70, on_ground(70, 70))
    put(back, tree, "tree", 75, on_ground(75, 77))
    put(back, outline(pic_fence()), "fence", 78, on_ground(78, 78))
    put(front, pic_ivy(), "ivy", 9, 6 + 4)
    put(back, bush, "bush", 3, on_ground(3, 4))
    put(back, pic_rocks(), "rocks", 6, on_ground(6, 6))
    # Foreground grass tufts and the pond's water.
    for i, c in enumerate((12, 14, 20, 25, 29, 33, 36, 40, 44, 47, 55, 58, 61, 64, 69, 76)):
        assert g[surface_top(g, c, 10 if c == 61 else 0)][c] not in SLOPES, ("tuft on a slope", c)
        put(front, pic_tuft(i % 3), "tuft%d" % (i % 3), c, surface_top(g, c) - 1)
    for c in range(22, 25):
        top = surface_top(g, c)
        for r in range(14, top):
            part = "top" if r == 14 else "body"
            front[r][c] = sheet.get(("water", part), lambda p=part: pic_water(p))
    return back, front


# --------------------------------------------------------------------------
# Distant backgrounds, painted whole and cut into tiles


def ridge(width, base, amp, seed, roughness=0.55, step=64):
    """A mountain line by midpoint displacement; y per pixel column."""
    rnd = seeded("ridge", seed)
    n = width // step + 1
    pts = [base + rnd.uniform(-amp, amp) for _ in range(n)]
    size = step
    amp_k = amp
    heights = {i * step: pts[i] for i in range(n)}
    while size > 1:
        half = size // 2
        amp_k *= roughness
        for x in range(0, width - size + 1, size):
            if x + half not in heights:
                heights[x + half] = (heights[x] + heights[x + size]) / 2 + rnd.uniform(-amp_k, amp_k)
        size = half
    return [heights.get(x, base) for x in range(width)]


def paint_far():
    """Far mountains, 1280 x 960 (parallax 0.25): snowy peaks in haze blue."""
    w, h = 2 * FW, 2 * FH
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    px = img.load()
    body, lit_c, shade, snow, snow_shade = (104, 110, 158), (128, 134, 178), (88, 92, 138), \
        (216, 220, 236), (168, 174, 212)
    line = ridge(w, 250, 70, "far", 0.52)
    # Which way the ground faces, from a smoothed slope with hysteresis:
    # faces turned to the light (left) are lit, the others shaded.
    lit = []
    state = True
    for x in range(w):
        slope = line[min(w - 1, x + 12)] - line[max(0, x - 12)]
        if slope < -6:
            state = True
        elif slope > 6:
            state = False
        lit.append(state)
    for x in range(w):
        top = int(line[x])
        for y in range(max(0, top), h):
            depth = y - top
            # The light/shadow boundary runs down and to the right of a crest.
            xs = max(0, x - depth // 2)
            face = lit[xs] if depth < 90 + 12 * math.sin(x * 0.05) else None
            if depth == 0:
                c = (70, 72, 112)
            elif top < 225 and depth < 12 + (x * 7 % 5):
                c = snow if face is not False else snow_shade
            elif face is True:
                c = lit_c
            elif face is False:
                c = shade
            else:
                c = body
            px[x, y] = rgba(c)
    return img


def paint_hills():
    """Near hills, 1920 x 960 (parallax 0.5): two green ranges with tree clumps."""
    w, h = 3 * FW, 2 * FH
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    ranges = [
        # base, amplitude, colours (rim, body, clump), seed
        (300, 34, ((112, 160, 120), (78, 132, 108), (64, 116, 98)), 1),
        (372, 26, ((86, 138, 100), (56, 106, 88), (46, 92, 80)), 2),
    ]
    for base, amp, (rim, body, clump), seed in ranges:
        rnd = seeded("hills", seed)
        p1, p2 = rnd.random() * 6, rnd.random() * 6
        line = [base - amp * (0.65 * math.sin(x * 0.0042 + p1) + 0.35 * math.sin(x * 0.011 + p2))
                for x in range(w)]
        d.polygon([(x, line[x]) for x in range(0, w, 2)] + [(w, line[-1]), (w, h), (0, h)],
                  fill=rgba(body))
        # Round tree clumps sitting on the ridge.
        x = rnd.randrange(20, 60)
        while x < w:
            r = rnd.randrange(7, 14)
            y = line[min(w - 1, x)] + r // 2
            d.ellipse([x - r, y - r, x + r, y + r], fill=rgba(clump))
            x += rnd.randrange(18, 70) if rnd.random() < 0.7 else rnd.randrange(90, 200)
        # A lit rim along the top.
        px = img.load()
        for xx in range(w):
            for yy in range(max(0, int(line[xx]) - 16), min(h, int(line[xx]) + 4)):
                if px[xx, yy][3] and (yy == 0 or not px[xx, yy - 1][3] or px[xx, yy - 1][:3] != px[xx, yy][:3]):
                    if px[xx, yy][:3] in (body, clump):
                        px[xx, yy] = rgba(rim)
                    break
    return img


def cut_layer(picture, sheet, frames_x, frames_y):
    grids = {}
    for fy in range(frames_y):
        for fx in range(frames_x):
            cells = []
            for r in range(ROWS):
                for c in range(COLS):
                    x, y = fx * FW + c * T, fy * FH + r * T
                    cells.append(sheet.add_unique(picture.crop((x, y, x + T, y + T))))
            grids[(fx, fy)] = cells
    return grids


# --------------------------------------------------------------------------
# Skies (640 x 480, fixed to the screen)

BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def gradient_sky(stops, steps=14):
    """A vertical gradient quantised into bands with ordered dithering
    between them, for a hand-made look."""
    img = Image.new("RGBA", (FW, FH))
    px = img.load()
    for y in range(FH):
        t = y / (FH - 1)
        for i in range(len(stops) - 1):
            (t0, c0), (t1, c1) = stops[i], stops[i + 1]
            if t0 <= t <= t1:
                u = (t - t0) / (t1 - t0)
                break
        band = u * steps
        lo, frac = int(band), band - int(band)
        for x in range(FW):
            k = lo + (1 if frac * 16 > BAYER[y % 4][x % 4] + 0.5 else 0)
            px[x, y] = rgba(mix(c0, c1, min(1.0, k / steps)))
    return img


def cloud(d, x, y, scale, top, bottom):
    parts = [(0, 0, 14), (16, -8, 18), (36, -2, 15), (52, 4, 10), (-14, 6, 9)]
    for dx, dy, r in parts:
        r = int(r * scale)
        d.ellipse([x + dx * scale - r, y + dy * scale - r + 3, x + dx * scale + r, y + dy * scale + r + 3],
                  fill=rgba(bottom))
    for dx, dy, r in parts:
        r = int(r * scale)
        d.ellipse([x + dx * scale - r, y + dy * scale - r, x + dx * scale + r, y + dy * scale + r - 2],
                  fill=rgba(top))
    d.rectangle([x - 22 * scale, y + 8 * scale, x + 62 * scale, y + 12 * scale], fill=rgba(bottom))


def make_skies():
    day = gradient_sky([(0.0, (58, 110, 196)), (0.45, (112, 170, 226)), (0.75, (196, 226, 240)),
                        (1.0, (232, 240, 226))])
    d = ImageDraw.Draw(day)
    sx, sy = 508, 86
    for r, c in ((40, (204, 228, 246)), (30, (236, 242, 236)), (22, (255, 246, 196)), (18, (255, 252, 230))):
        d.ellipse([sx - r, sy - r, sx + r, sy + r], fill=rgba(c))
    for x, y, s in ((92, 70, 1.0), (300, 130, 0.7), (430, 190, 0.55), (170, 220, 0.45), (590, 250, 0.5)):
        cloud(d, x, y, s, (250, 252, 255), (196, 214, 236))
    save_png(day, "sky_day.png")
    write_text("sky_day.txt", ["-- Day sky: one picture of 640 x 480.", "anim 0 0 640 480 1"])

    dusk = gradient_sky([(0.0, (30, 22, 70)), (0.35, (88, 50, 118)), (0.62, (214, 104, 104)),
                         (0.82, (250, 168, 104)), (1.0, (255, 214, 140))])
    d = ImageDraw.Draw(dusk)
    rnd = seeded("stars")
    px = dusk.load()
    for _ in range(90):
        x, y = rnd.randrange(FW), rnd.randrange(190)
        v = rnd.randrange(170, 256)
        px[x, y] = (v, v, min(255, v + 30), 255)
        if rnd.random() < 0.12 and 0 < x < FW - 1 and 0 < y:
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                px[x + dx, y + dy] = (v * 3 // 4, v * 3 // 4, min(255, v), 255)
    sx, sy = 196, 318
    for r, c in ((58, (246, 150, 110)), (44, (252, 182, 116)), (34, (255, 214, 140)), (28, (255, 234, 180))):
        d.ellipse([sx - r, sy - r, sx + r, sy + r], fill=rgba(c))
    for x, y, wdt in ((40, 262, 180), (300, 236, 220), (120, 300, 150), (420, 290, 190), (520, 214, 120)):
        d.rectangle([x, y, x + wdt, y + 3], fill=rgba((246, 142, 126)))
        d.rectangle([x + 12, y + 4, x + wdt - 20, y + 5], fill=rgba((178, 86, 118)))
    # A thin crescent moon high up.
    d.ellipse([520, 60, 548, 88], fill=rgba((250, 240, 210)))
    d.ellipse([527, 56, 555, 84], fill=px[540, 40])
    save_png(dusk, "sky_dusk.png")
    write_text("sky_dusk.txt", ["-- Dusk sky: one picture of 640 x 480.", "anim 0 0 640 480 1"])


# --------------------------------------------------------------------------
# Level objects and characters


def make_crate():
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([0, 0, 31, 31], fill=rgba(WOOD[2]))
    for y in (8, 16, 24):
        d.line([(2, y), (29, y)], fill=rgba(WOOD[1]))
    d.line([(3, 28), (28, 3)], fill=rgba(WOOD[1]), width=4)
    d.line([(3, 27), (27, 3)], fill=rgba(WOOD[3]))
    d.rectangle([0, 0, 31, 3], fill=rgba(WOOD[1]))
    d.rectangle([0, 28, 31, 31], fill=rgba(WOOD[1]))
    d.rectangle([0, 0, 3, 31], fill=rgba(WOOD[1]))
    d.rectangle([28, 0, 31, 31], fill=rgba(WOOD[1]))
    d.line([(0, 0), (31, 0)], fill=rgba(WOOD[3]))
    d.line([(0, 0), (0, 31)], fill=rgba(WOOD[3]))
    for x, y in ((1, 1), (29, 1), (1, 29), (29, 29)):
        d.point([(x + 1, y + 1)], fill=rgba(STONE[3]))
    d.rectangle([0, 0, 31, 31], outline=OUT_C)
    save_png(img, "crate.png")
    write_text("crate.txt", ["-- Wooden crate: 32 x 32, anchored at the middle of its bottom edge.",
                             "anim 0 0 32 32 1 0 0 0 32 32 crate",
                             "frame 1 16 32"])


CHAR_ANIMS = [("stop_left", "stop", 2, 0), ("stop_right", "stop", 2, 0),
              ("move_left", "move", 10, 0), ("move_right", "move", 10, 0),
              ("jump_left", "jump", 8, 1), ("jump_right", "jump", 8, 1),
              ("fall_left", "fall", 8, 0), ("fall_right", "fall", 8, 0)]


def poses():
    walk = []
    for k in range(6):
        s = math.sin(2 * math.pi * k / 6)
        walk.append({"bob": 1 if k in (1, 4) else 0, "step": s, "arm": -s})
    return {
        "stop": [{"bob": 0, "step": 0.0, "arm": 0.0, "idle": 0},
                 {"bob": 1, "step": 0.0, "arm": 0.0, "idle": 1}],
        "move": walk,
        "jump": [{"bob": -1, "step": 0.6, "arm": -1.6, "air": 1},
                 {"bob": -2, "step": 0.8, "arm": -1.8, "air": 1}],
        "fall": [{"bob": 0, "step": -0.6, "arm": -2.2, "air": 2},
                 {"bob": 0, "step": -0.7, "arm": -2.4, "air": 2}],
    }


def herbalist(pose):
    """A herbalist in a long skirt and headscarf, basket on her arm; faces right."""
    img = Image.new("RGBA", (32, 48), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    b = pose["bob"]
    skin, scarf, scarf_d = (222, 172, 130), (176, 60, 72), (128, 40, 56)
    blouse, skirt, skirt_d, apron = (236, 222, 190), (74, 104, 76), (52, 80, 58), (214, 200, 160)
    step = pose["step"]
    air = pose.get("air", 0)
    # Feet under the skirt.
    for k, s in ((0, -step), (1, step)):
        fx = 15 + k * 3 + int(round(4 * s))
        fy = 47 - (3 if air else (1 if s > 0.5 else 0))
        d.rectangle([fx - 2, fy - 2, fx + 2, fy], fill=rgba((70, 44, 30)))
    # Back arm.
    ax = int(round(3 * pose["arm"]))
    d.line([(14, 22 + b), (13 - ax, 30 + b + (ax if air else 0))], fill=rgba(blouse), width=3)
    # Skirt, bodice, apron.
    sw = int(round(2 * step)) if not air else 2
    d.polygon([(11, 28 + b), (21, 28 + b), (25 + max(0, sw), 45 - (2 if air else 0)),
               (7 + min(0, sw), 45 - (2 if air else 0))], fill=rgba(skirt))
    d.line([(16, 30 + b), (15 + sw // 2, 44)], fill=rgba(skirt_d))
    d.rectangle([11, 19 + b, 21, 29 + b], fill=rgba(blouse))
    d.rectangle([11, 25 + b, 21, 27 + b], fill=rgba(skirt_d))
    d.polygon([(17, 28 + b), (21, 28 + b), (22, 40), (18, 40)], fill=rgba(apron))
    # Head and headscarf with a knot behind.
    d.rectangle([15, 17 + b, 17, 19 + b], fill=rgba((190, 140, 100)))
    d.ellipse([11, 8 + b, 21, 18 + b], fill=rgba(skin))
    d.pieslice([10, 6 + b, 22, 18 + b], 180, 360, fill=rgba(scarf))
    d.rectangle([10, 11 + b, 13, 16 + b], fill=rgba(scarf))
    d.polygon([(10, 13 + b), (6, 16 + b), (9, 18 + b)], fill=rgba(scarf_d))
    d.line([(11, 12 + b), (21, 12 + b)], fill=rgba(scarf_d))
    d.point([(18, 14 + b)], fill=rgba((40, 28, 36)))
    d.point([(21, 16 + b)], fill=rgba((200, 120, 100)))
    # Front arm with the basket.
    hx, hy = 20 + ax, 29 + b - (6 if air else 0)
    d.line([(18, 21 + b), (hx, hy)], fill=rgba(blouse), width=3)
    d.rectangle([hx - 3, hy + 1, hx + 4, hy + 6], fill=rgba(WOOD[2]))
    d.line([(hx - 3, hy + 3), (hx + 4, hy + 3)], fill=rgba(WOOD[1]))
    d.arc([hx - 3, hy - 4, hx + 4, hy + 4], 180, 360, fill=rgba(WOOD[1]))
    d.point([(hx - 1, hy), (hx + 2, hy)], fill=rgba(LEAF[3]))
    d.point([(hx, hy)], fill=rgba(FLOWERS[3]))
    return img, (hx, hy)


def boy(pose):
    """A boy in a cap and striped shirt, shorter than the grown-ups; faces right."""
    img = Image.new("RGBA", (32, 48), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    b = pose["bob"]
    skin, cap, shirt, stripe, shorts = (232, 186, 140), (60, 96, 170), (226, 112, 60), \
        (250, 210, 120), (90, 74, 60)
    step = pose["step"]
    air = pose.get("air", 0)
    for k, s in ((0, -step), (1, step)):  # legs, back one first
        hip = (15 + 2 * k, 37 + b)
        fx = hip[0] + int(round(4 * s))
        fy = 47 - (4 if air else (2 if s > 0.5 else 0))
        d.line([hip, (fx, fy - 2)], fill=rgba(skin if k else (206, 160, 120)), width=3)
        d.rectangle([fx - 1, fy - 2, fx + 3, fy], fill=rgba((60, 40, 30)))
    ax = int(round(3 * pose["arm"]))
    bx, by = 14 - ax, 34 + b + (ax if air else 0)
    d.line([(15, 27 + b), (bx, by)], fill=rgba((176, 80, 44)), width=2)
    d.rectangle([bx - 1, by, bx, by + 1], fill=rgba((206, 160, 120)))
    d.rectangle([12, 26 + b, 20, 35 + b], fill=rgba(shirt))
    for y in (28, 31, 34):
        d.line([(12, y + b), (20, y + b)], fill=rgba(stripe))
    d.rectangle([12, 35 + b, 20, 38 + b], fill=rgba(shorts))
    d.ellipse([10, 16 + b, 21, 27 + b], fill=rgba(skin))
    d.pieslice([10, 14 + b, 21, 25 + b], 180, 360, fill=rgba(cap))
    d.rectangle([18, 19 + b, 24, 20 + b], fill=rgba(cap))  # visor
    d.rectangle([10, 19 + b, 12, 22 + b], fill=rgba((120, 74, 40)))  # hair
    d.point([(18, 22 + b)], fill=rgba((40, 28, 36)))
    d.point([(17, 25 + b), (18, 25 + b)], fill=rgba((200, 110, 90)))
    hx, hy = 18 + ax, 33 + b - (5 if air else 0)
    d.line([(18, 27 + b), (hx, hy)], fill=rgba((200, 92, 50)), width=2)
    d.rectangle([hx - 1, hy, hx, hy + 1], fill=rgba(skin))
    return img, (hx, hy)


def make_character(drawer, entry, title, box):
    ps = poses()
    cols = max(len(v) for v in ps.values())
    sheet = Image.new("RGBA", (cols * 32, len(CHAR_ANIMS) * 48), (0, 0, 0, 0))
    lines = ["-- %s: eight animations of 32 x 48 frames, one per row." % title,
             "-- anim x y w h speed loop boxX1 boxY1 boxW boxH name",
             "-- frame n anchorX anchorY handX handY"]
    for row, (name, key, speed, loop) in enumerate(CHAR_ANIMS):
        lines.append("anim 0 %d 32 48 %d %d %d %d %d %d %s" % ((row * 48, speed, loop) + box + (name,)))
        for k, pose in enumerate(ps[key]):
            img, hand = drawer(pose)
            img = outline(img)
            if name.endswith("_left"):
                img = img.transpose(Image.FLIP_LEFT_RIGHT)
                hand = (31 - hand[0], hand[1])
            sheet.paste(img, (k * 32, row * 48))
            lines.append("frame 1 16 48 %d %d" % hand)
    save_png(sheet, entry + ".png")
    write_text(entry + ".txt", lines)


# --------------------------------------------------------------------------
# Level file, characters, scripts, key bindings

# Characters: name -> (sprite, spawn x, spawn y on the ground, start animation, script)
CHARACTERS = [
    ("soltys", "data/gfx.crs:npc_a", 1024, 12 * T, 1, "soltys.lua"),
    ("zielarka", res("npc_b"), 1952, 21 * T, 0, "zielarka.lua"),
    ("skoczek", res("npc_c"), 360, 13 * T, 1, "skoczek.lua"),
]
NPC_BOXES = {"npc_b": (9, 5, 14, 43), "npc_c": (10, 15, 12, 33)}

# Crates: id, x, y (bottom middle)
CRATES = [(1, 20 * T + 16, 9 * T), (2, 39 * T + 16, 14 * T), (3, 39 * T + 16, 13 * T),
          (4, 46 * T + 16, 14 * T), (5, 64 * T + 16, 21 * T)]

SKY_OF = {0: "sky_day", 1: "sky_day", 2: "sky_dusk", 3: "sky_dusk"}


def write_blocks(name, cells):
    data = bytes(cells)
    assert len(data) == COLS * ROWS
    with open(os.path.join(OUT, name + ".bin"), "wb") as f:
        f.write(data)


def frame_cells(grid, fx, fy):
    return [grid[fy * ROWS + r][fx * COLS + c] for r in range(ROWS) for c in range(COLS)]


def write_level(terrain, back, front, hills, far):
    lines = [
        "-- Miedzyczas: the first level of the demo game.",
        "-- A village under a rock massif, brick ruins, a pond, a meadow, a valley and",
        "-- a hill; four frames wide and two high. Layers: 3 far mountains (parallax",
        "-- 0.25), 2 hills (parallax 0.5), 1 scenery behind, 0 terrain, -1 grass and",
        "-- water in front.",
        "-- frame name blocks sky fx fy layer parallaxX parallaxY",
    ]
    day = res("sky_day")
    for (fx, fy), cells in sorted(far.items()):
        if any(cells):
            write_blocks("m%d%d" % (fx, fy), cells)
            lines.append("frame m%d%d %s %s %d %d 3 0.25 0.25" % (fx, fy, res("far"), day, fx, fy))
    for (fx, fy), cells in sorted(hills.items()):
        if any(cells):
            write_blocks("h%d%d" % (fx, fy), cells)
            lines.append("frame h%d%d %s %s %d %d 2 0.5 0.5" % (fx, fy, res("hills"), day, fx, fy))
    for prefix, grid, layer in (("d", back, 1), ("t", terrain, 0), ("f", front, -1)):
        for fy in range(GH):
            for fx in range(GW):
                cells = frame_cells(grid, fx, fy)
                if layer != 0 and not any(cells):
                    continue
                name = "%s%d%d" % (prefix, fx, fy)
                write_blocks(name, cells)
                lines.append("frame %s %s %s %d %d %d 1.0 1.0" % (
                    name, res("tiles"), res(SKY_OF[fx]), fx, fy, layer))
    lines.append("-- obj id x y z hp sprite")
    for oid, x, y in CRATES:
        lines.append("obj %d %d %d 0 10 %s" % (oid, x, y, res("crate")))
    lines.append("-- Counts the visits in the save database.")
    lines.append("script " + res("start.lua"))
    lines.append("call start")
    write_text("lvl.txt", lines)
    write_text("start.lua", [
        "-- Run while the level file is read: counts the visits to this level.",
        "function start()",
        "  local n = dbGetVal(\"miedzyczas_wizyty\") or 0",
        "  dbSetVal(\"miedzyczas_wizyty\", n + 1)",
        "end",
    ])
    return lines


def hand_written_tail(path, header_lines):
    """Lines of an existing file after its generated header: the dialogs are
    written by hand below it and must survive a regeneration."""
    if not os.path.isfile(path):
        return []
    with open(path) as f:
        return f.read().rstrip("\n").split("\n")[header_lines:]


def write_characters():
    npc_dir = os.path.join(CONTENT, "npc")
    lua_dir = os.path.join(CONTENT, "lua")
    lst = ["; Characters of each level: key = id, value = character name (file npc/<name>).",
           "[%s]" % LEVEL]
    for i, (name, sprite, x, y, anim, script) in enumerate(CHARACTERS, 1):
        lst.append("%d=%s" % (i, name))
        # present talkable colsOn gravity x y z hp sprite anim alpha script
        info = "1 1 1 1 %d %d 0 100 %s %d 255 %s" % (x, y, sprite, anim, script)
        header = ["; %s" % DESCRIPTIONS[name], "[npc]", "%s=%s" % (LEVEL, info)]
        write_text(name, header + hand_written_tail(os.path.join(npc_dir, name), len(header)), npc_dir)
    write_text("list.ini", lst + other_sections(os.path.join(npc_dir, "list.ini")), npc_dir)

    write_text("list.ini", ["; Level scripts: file = script under lua/, always = function run every 16 ms.",
                            "[%s]" % LEVEL, "file=miedzyczas.lua", "always=tick"]
               + other_sections(os.path.join(lua_dir, "list.ini")), lua_dir)


def other_sections(path):
    """The sections of an existing list file that belong to other levels
    (make_well.py writes its own): kept as they are."""
    kept, cur = [], None
    if os.path.isfile(path):
        with open(path) as f:
            for line in f.read().rstrip("\n").split("\n"):
                if line.startswith("[") and line.endswith("]"):
                    cur = line[1:-1]
                if cur is not None and cur != LEVEL and line:
                    kept.append(line)
    return kept


DESCRIPTIONS = {
    "soltys": "Soltys, the village head (walks the landing meadow).",
    "zielarka": "Zielarka, the herbalist (walks the valley floor).",
    "skoczek": "Skoczek, a boy of the village (hops near the hut).",
}

# left, right, jump, use, special, talk, next, option down, option up, page down, page up
CONTROLS = [(276, 97), (275, 100), (273, 32), (122, 0), (120, 0), (101, 13), (32, 13),
            (274, 0), (273, 0), (281, 0), (280, 0)]


def write_controls():
    data = struct.pack("<I", len(CONTROLS))
    for a, b in CONTROLS:
        data += struct.pack("<II", a, b)
    assert len(data) == 92
    with open(os.path.join(CONTENT, "controls.bin"), "wb") as f:
        f.write(data)


# --------------------------------------------------------------------------
# Checks


class Problems(list):
    def check(self, ok, msg):
        if not ok:
            self.append(msg)


def read_anim_count(entry):
    with open(os.path.join(OUT, entry + ".txt")) as f:
        return sum(1 for line in f if line.split()[:1] == ["anim"])


def sprite_exists(name):
    archive, _, entry = name.partition(":")
    folder = os.path.join(CONTENT, archive)
    return os.path.isfile(os.path.join(folder, entry + ".png")) and \
        os.path.isfile(os.path.join(folder, entry + ".txt"))


def load_masks():
    """Solid masks of the terrain sheet: {index: 32 x 32 bools}."""
    img = Image.open(os.path.join(OUT, "tiles.png")).convert("RGBA")
    alpha = img.split()[3].load()
    masks = {}
    with open(os.path.join(OUT, "tiles.txt")) as f:
        anims = [l.split() for l in f if l.split()[:1] == ["anim"]]
    for i, a in enumerate(anims):
        x, y = int(a[1]), int(a[2])
        masks[i] = [[alpha[x + c, y + r] > 0 for c in range(T)] for r in range(T)]
    return masks


class Solid:
    """Pixel solidity of layer 0 as the engine sees it (block cells and tile masks)."""

    def __init__(self, terrain, masks):
        self.g, self.m = terrain, masks

    def __call__(self, x, y):
        if x < 0 or y < 0 or x >= W * T or y >= H * T:
            return False
        v = self.g[y // T][x // T]
        return v != 0 and self.m[v][y % T][x % T]

    def ground_below(self, x0, x1, y):
        """First solid row at or below y under the columns x0..x1, or None."""
        for yy in range(y, H * T):
            if any(self(x, yy) for x in range(x0, x1 + 1)):
                return yy
        return None

    def box_free(self, left, top, w, h):
        return not any(self(x, y) for x in range(left, left + w) for y in range(top, top + h))


def stand_positions(solid):
    """Standing spots of a 16 x 44 box, one per 8-pixel column step: (x, feet y)."""
    spots = set()
    for x in range(8, W * T - 8, 8):
        left = x - 8
        y = 0
        while y < H * T:
            g = solid.ground_below(left + 1, left + 14, y)
            if g is None:
                break
            if g >= 44 and solid.box_free(left + 1, g - 44, 14, 44):
                spots.add((x, g))
            # skip to the next free area below this ground
            yy = g
            while yy < H * T and any(solid(xx, yy) for xx in range(left + 1, left + 15)):
                yy += 1
            y = yy
    return spots


def reachable(spots, start):
    """A coarse walk/jump graph: walking changes feet height by at most 32 px
    per 8 px step on slopes and 6 px on steps; a jump rises at most 60 px and
    crosses at most 128 px; a fall may go any distance. It is a sanity check
    of the layout, not a replay of the physics."""
    by_x = {}
    for x, y in spots:
        by_x.setdefault(x, []).append(y)

    def neighbours(p):
        x, y = p
        for dx in range(-128, 129, 8):
            if dx == 0:
                continue
            for y2 in by_x.get(x + dx, ()):
                rise = y - y2
                if abs(dx) == 8 and -1000 < rise <= 8:
                    yield (x + dx, y2)
                elif rise <= 60 and (rise <= 0 or abs(dx) <= 96):
                    yield (x + dx, y2)

    seen = {start}
    todo = [start]
    while todo:
        p = todo.pop()
        for q in neighbours(p):
            if q not in seen:
                seen.add(q)
                todo.append(q)
    return seen


def read_ini(path):
    """Sections of an INI file read as the engine reads them: key = text before
    the first "=", nothing trimmed, ";" starts a comment only in column 0."""
    sections, cur = {}, ""
    with open(path, newline="") as f:
        for line in f.read().replace("\r", "").split("\n"):
            if not line or line[0] == ";":
                continue
            if line[0] == "[" and line[-1] == "]":
                cur = line[1:-1]
                sections[cur] = {}
                continue
            key, _, value = line.partition("=")
            sections.setdefault(cur, {})[key] = value
    return sections


def validate(level_lines, terrain_grid, problems):
    sheets = {}
    for line in level_lines:
        w = line.split()
        if not w or w[0] == "--":
            continue
        if w[0] == "frame":
            problems.check(len(w) in (6, 7, 9), "frame line with %d words: %s" % (len(w), line))
            path = os.path.join(OUT, w[1] + ".bin")
            problems.check(os.path.isfile(path) and os.path.getsize(path) >= 300,
                           "block file %s.bin missing or short" % w[1])
            for s in (w[2], w[3]):
                problems.check(sprite_exists(s), "sprite %s missing" % s)
            entry = w[2].partition(":")[2]
            if entry not in sheets:
                sheets[entry] = read_anim_count(entry)
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    cells = f.read()[:300]
                bad = [v for v in cells if v >= sheets[entry]]
                problems.check(not bad, "%s.bin uses cell values beyond %s: %s" % (w[1], entry, bad[:5]))
        elif w[0] == "obj":
            problems.check(len(w) == 7, "obj line needs 7 words: %s" % line)
            problems.check(sprite_exists(w[6]), "sprite %s missing" % w[6])
        elif w[0] == "script":
            entry = w[1].partition(":")[2]
            problems.check(os.path.isfile(os.path.join(OUT, entry)), "script %s missing" % w[1])
    for s in ("sky_day", "sky_dusk"):
        problems.check(Image.open(os.path.join(OUT, s + ".png")).size == (FW, FH), s + " is not 640 x 480")

    # Characters: info lines, sprites, scripts.
    lst = read_ini(os.path.join(CONTENT, "npc", "list.ini"))
    for key, name in lst[LEVEL].items():
        words = read_ini(os.path.join(CONTENT, "npc", name))["npc"][LEVEL].split()
        problems.check(len(words) == 12, "%s: info line needs 12 words" % name)
        problems.check(sprite_exists(words[8]), "%s: sprite %s missing" % (name, words[8]))
        problems.check(os.path.isfile(os.path.join(CONTENT, "lua", words[11])), "%s: script missing" % name)
    lua = read_ini(os.path.join(CONTENT, "lua", "list.ini"))[LEVEL]
    problems.check(len(lua.get("file", "")) > 4 and
                   os.path.isfile(os.path.join(CONTENT, "lua", lua["file"])), "level script missing")
    problems.check(lua.get("always", "") != "", "no periodic level function")
    problems.check(os.path.getsize(os.path.join(CONTENT, "controls.bin")) == 92, "controls.bin size")

    # Floors: the player's start, the characters and the crates.
    solid = Solid(terrain_grid, load_masks())
    px, py = PLAYER_START
    left = px + CHAR_BOX[0] - CHAR_ANCHOR[0]
    top = py + CHAR_BOX[1] - CHAR_ANCHOR[1]
    problems.check(solid.box_free(left, top, CHAR_BOX[2], CHAR_BOX[3]), "player starts inside blocks")
    floor = solid.ground_below(left, left + CHAR_BOX[2] - 1, top + CHAR_BOX[3])
    problems.check(floor is not None, "no floor under the player's start")
    for name, sprite, x, y, _, _ in CHARACTERS:
        entry = sprite.partition(":")[2]
        box = NPC_BOXES.get(entry, CHAR_BOX)
        l, t = x + box[0] - 16, y + box[1] - 48
        problems.check(solid.box_free(l, t, box[2], box[3]), "%s starts inside blocks" % name)
        problems.check(solid.ground_below(l, l + box[2] - 1, t + box[3]) == y, "%s does not stand on ground" % name)
    for oid, x, y in CRATES:
        g = solid.ground_below(x - 16, x + 15, y)
        problems.check(solid.box_free(x - 16, y - 32, 32, 32), "crate %d inside blocks" % oid)
        problems.check(g is not None, "crate %d has nothing below" % oid)

    # Reachability: every standing place reachable from the landing spot is a
    # place from which the landing spot can be reached again (no trap).
    spots = stand_positions(solid)
    start = (px, floor)
    problems.check(start in spots, "landing spot %s is not a standing spot" % (start,))
    if start in spots:
        there = reachable(spots, start)
        for goal in ((12 * T, 13 * T), (77 * T, 14 * T), (62 * T, 21 * T), (62 * T, 16 * T),
                     (19 * T + 8, 9 * T), (17 * T + 16, 10 * T), (23 * T + 16, 16 * T)):
            problems.check(goal in there, "spot %s not reachable from the start" % (goal,))
        trapped = [p for p in sorted(there) if start not in reachable(spots, p)]
        problems.check(not trapped, "no way back to the start from %s" % trapped[:5])
    return solid


# --------------------------------------------------------------------------
# Preview: what the engine draws for a camera position


def load_sprite(name):
    archive, _, entry = name.partition(":")
    folder = os.path.join(CONTENT, archive)
    img = Image.open(os.path.join(folder, entry + ".png")).convert("RGBA")
    anims = []
    with open(os.path.join(folder, entry + ".txt")) as f:
        for line in f:
            w = line.split()
            if w[:1] == ["anim"]:
                anims.append({"x": int(w[1]), "y": int(w[2]), "w": int(w[3]), "h": int(w[4]), "frames": []})
            elif w[:1] == ["frame"] and anims:
                anims[-1]["frames"].append((int(w[2]), int(w[3])) if len(w) >= 4 else (0, 0))
    return img, anims


def render_view(level_lines, cx, cy, actors, cache):
    view = Image.new("RGBA", (FW, FH), (0, 0, 0, 255))
    frames = []
    for line in level_lines:
        w = line.split()
        if w[:1] == ["frame"]:
            layer = int(w[6]) if len(w) > 6 else 0
            p = (float(w[7]), float(w[8])) if len(w) > 8 else (1.0, 1.0)
            frames.append((layer, w[1], w[2], w[3], int(w[4]), int(w[5]), p))
    frames.sort(key=lambda f: -f[0])  # stable: file order within a layer
    sky = None
    for layer, name, blocks, skyname, fx, fy, p in frames:
        if layer == 0 and fx * FW < cx + 320 <= fx * FW + 639 and fy * FH < cy + 240 <= fy * FH + 479:
            sky = skyname
    sky = sky or frames[0][3]
    view.alpha_composite(cache(sky)[0])
    drawn = False
    for layer, name, blocks, skyname, fx, fy, p in frames:
        if layer < 0 and not drawn:
            draw_actors(view, actors, cx, cy, cache)
            drawn = True
        ox, oy = int(fx * FW - p[0] * cx), int(fy * FH - p[1] * cy)
        if ox > FW or oy > FH or ox + FW < 0 or oy + FH < 0:
            continue
        img, anims = cache(blocks)
        with open(os.path.join(OUT, name + ".bin"), "rb") as f:
            cells = f.read()[:300]
        for i, v in enumerate(cells):
            if v:
                a = anims[v]
                tile = img.crop((a["x"], a["y"], a["x"] + T, a["y"] + T))
                x, y = ox + (i % COLS) * T, oy + (i // COLS) * T
                if -T < x < FW and -T < y < FH:
                    view.alpha_composite(tile, (x, y)) if x >= 0 and y >= 0 else paste_clipped(view, tile, x, y)
    if not drawn:
        draw_actors(view, actors, cx, cy, cache)
    return view


def paste_clipped(view, tile, x, y):
    sx, sy = max(0, -x), max(0, -y)
    part = tile.crop((sx, sy, tile.width, tile.height))
    view.alpha_composite(part, (x + sx, y + sy))


def draw_actors(view, actors, cx, cy, cache):
    for sprite, anim, x, y in actors:
        img, anims = cache(sprite)
        a = anims[anim]
        ax, ay = a["frames"][0] if a["frames"] else (0, 0)
        pic = img.crop((a["x"], a["y"], a["x"] + a["w"], a["y"] + a["h"]))
        px, py = x - ax - cx, y - ay - cy
        if -a["w"] < px < FW and -a["h"] < py < FH:
            paste_clipped(view, pic, px, py)


def preview(level_lines, folder):
    os.makedirs(folder, exist_ok=True)
    sprites = {}

    def cache(name):
        if name not in sprites:
            sprites[name] = load_sprite(name)
        return sprites[name]

    actors = [("data/gfx.crs:player", 1, PLAYER_START[0], 12 * T)]
    for name, sprite, x, y, anim, _ in CHARACTERS:
        actors.append((sprite, 3 if anim == 1 else 2, x, y))
    for oid, x, y in CRATES:
        actors.append((res("crate"), 0, x, y))
    whole = Image.new("RGBA", (W * T, H * T))
    for fy in range(GH):
        for fx in range(GW):
            whole.paste(render_view(level_lines, fx * FW, fy * FH, actors, cache), (fx * FW, fy * FH))
    whole.save(os.path.join(folder, "level_whole.png"))
    whole.resize((W * T // 2, H * T // 2), Image.LANCZOS).save(os.path.join(folder, "level_half.png"))
    views = {"start": (960, 384), "village": (330, 416), "pond": (740, 448), "ditch": (1340, 448),
             "valley": (1960, 672), "hill": (2380, 448), "island": (1950, 512)}
    for name, (x, y) in views.items():
        render_view(level_lines, x - 320, y - 240, actors, cache).save(
            os.path.join(folder, "view_%s.png" % name))
    # The sheets themselves, scaled up.
    for entry in ("tiles", "npc_b", "npc_c"):
        img = Image.open(os.path.join(OUT, entry + ".png"))
        img.resize((img.width * 3, img.height * 3), Image.NEAREST).save(
            os.path.join(folder, "sheet_%s.png" % entry))
    print("preview written to %s" % folder)


# --------------------------------------------------------------------------


def main():
    os.makedirs(OUT, exist_ok=True)
    for f in os.listdir(OUT):  # stale block files of an older layout
        if f.endswith(".bin"):
            os.remove(os.path.join(OUT, f))
    g = build_terrain()
    tiles = Sheet("tiles", "Terrain and scenery of Miedzyczas")
    terrain = autotile(g, tiles)
    back, front = build_decor(g, tiles)
    tiles.save()
    hills_sheet = Sheet("hills", "Near hills of Miedzyczas (cut from one picture)")
    hills = cut_layer(paint_hills(), hills_sheet, 3, 2)
    hills_sheet.save()
    far_sheet = Sheet("far", "Far mountains of Miedzyczas (cut from one picture)")
    far = cut_layer(paint_far(), far_sheet, 2, 2)
    far_sheet.save()
    make_skies()
    make_crate()
    make_character(herbalist, "npc_b", "Herbalist in a skirt and headscarf", NPC_BOXES["npc_b"])
    make_character(boy, "npc_c", "Boy in a cap", NPC_BOXES["npc_c"])
    lines = write_level(terrain, back, front, hills, far)
    write_characters()
    write_controls()
    print("tiles: %d, hills: %d, far: %d animations" % (len(tiles.tiles), len(hills_sheet.tiles),
                                                         len(far_sheet.tiles)))
    problems = Problems()
    validate(lines, terrain, problems)
    if "--preview" in sys.argv:
        preview(lines, sys.argv[sys.argv.index("--preview") + 1])
    if problems:
        for p in problems:
            print("problem: " + p)
        sys.exit(1)
    print("level checks passed")


if __name__ == "__main__":
    main()
