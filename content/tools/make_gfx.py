#!/usr/bin/python3
"""Generates the pictures and animation definitions of data/gfx.crs.

Run with the system Python (it needs PIL):  /usr/bin/python3 make_gfx.py
Writes into ../data/gfx.crs/ next to this script. Every picture is drawn
here from code, so the output is the same on every run.

Conventions of the character sprites (player, npc_a): frames of 32 x 48,
one animation per row, frames side by side; the anchor (the point placed at
the character's position) is the middle of the feet, (16, 48); the collision
box starts 8 px right of and 4 px below the frame's top-left corner and is
16 x 44 px; the second point of each frame is the front hand.
"""

import math
import os
import random

from PIL import Image, ImageDraw, ImageFont

import pixelart
from pixelart import outline

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "gfx.crs")

FW, FH = 32, 48  # character frame size
ANCHOR = (16, 48)
BOX = (8, 4, 16, 44)


def save(img, name):
    pixelart.save_png(img, OUT, name)


def write_text(name, lines):
    pixelart.write_lines(OUT, name, lines)


# --------------------------------------------------------------------------
# Characters


PLAYER = {
    "skin": (236, 196, 150, 255),
    "skin_dark": (196, 150, 110, 255),
    "hair": (92, 56, 30, 255),
    "hat": (122, 84, 44, 255),
    "hat_band": (70, 46, 22, 255),
    "coat": (58, 128, 72, 255),
    "coat_dark": (38, 92, 52, 255),
    "belt": (84, 52, 26, 255),
    "buckle": (230, 196, 80, 255),
    "legs": (74, 66, 92, 255),
    "legs_dark": (54, 48, 70, 255),
    "boots": (62, 38, 22, 255),
    "pack": (150, 104, 56, 255),
    "eye": (30, 24, 40, 255),
    "outline": (24, 20, 28, 255),
    "robe": False,
    "hat_on": True,
}

VILLAGER = {
    "skin": (224, 178, 128, 255),
    "skin_dark": (180, 136, 96, 255),
    "hair": (200, 200, 210, 255),
    "hat": (150, 40, 48, 255),
    "hat_band": (110, 26, 34, 255),
    "coat": (70, 86, 168, 255),
    "coat_dark": (48, 60, 124, 255),
    "belt": (200, 170, 90, 255),
    "buckle": (240, 220, 140, 255),
    "legs": (70, 86, 168, 255),
    "legs_dark": (48, 60, 124, 255),
    "boots": (80, 52, 34, 255),
    "pack": None,
    "eye": (30, 24, 40, 255),
    "outline": (24, 20, 28, 255),
    "robe": True,
    "hat_on": False,
}


def rect(d, x0, y0, x1, y1, c):
    d.rectangle([x0, y0, x1, y1], fill=c)


def leg(d, hip_x, hip_y, foot_x, foot_y, pal):
    """A leg from the hip to the sole: thigh, shin and a boot pointing right."""
    knee_x = (hip_x + foot_x) // 2 + (1 if foot_y < 47 else 0)
    knee_y = (hip_y + foot_y) // 2
    d.line([hip_x, hip_y, knee_x, knee_y], fill=pal["legs"], width=4)
    d.line([knee_x, knee_y, foot_x, foot_y - 3], fill=pal["legs_dark"], width=4)
    rect(d, foot_x - 2, foot_y - 3, foot_x + 3, foot_y, pal["boots"])
    rect(d, foot_x + 3, foot_y - 1, foot_x + 4, foot_y, pal["boots"])


def arm(d, sx, sy, hx, hy, pal, sleeve):
    d.line([sx, sy, hx, hy], fill=sleeve, width=3)
    rect(d, hx - 1, hy - 1, hx + 1, hy + 1, pal["skin"])


def figure(pose, pal):
    """One right-facing frame. pose: bob, feet (two (dx, lift) pairs, back leg
    first), arms (two hand positions relative to the shoulder, back first)."""
    img = Image.new("RGBA", (FW, FH), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    b = pose.get("bob", 0)
    (bdx, blift), (fdx, flift) = pose["feet"]
    (bax, bay), (fax, fay) = pose["arms"]

    # Back arm and back leg first, so the body covers them.
    arm(d, 14, 22 + b, 14 + bax, 22 + b + bay, pal, pal["coat_dark"])
    if pal["robe"]:
        if blift == 0:  # a lifted foot stays under the robe
            rect(d, 12 + bdx, 45, 15 + bdx, 47, pal["boots"])
    else:
        leg(d, 14, 33 + b, 14 + bdx, 47 - blift, pal)

    # Backpack.
    if pal["pack"]:
        rect(d, 8, 21 + b, 11, 30 + b, pal["pack"])
        rect(d, 8, 21 + b, 11, 22 + b, pal["hat_band"])

    # Body.
    if pal["robe"]:
        d.polygon([(12, 20 + b), (21, 20 + b), (24, 45), (9, 45)], fill=pal["coat"])
        d.line([(16, 22 + b), (16, 44)], fill=pal["coat_dark"])
        rect(d, 11, 30 + b, 22, 31 + b, pal["belt"])
    else:
        rect(d, 11, 20 + b, 21, 33 + b, pal["coat"])
        rect(d, 11, 20 + b, 12, 33 + b, pal["coat_dark"])
        d.line([(12, 20 + b), (20, 29 + b)], fill=pal["belt"], width=1)  # strap
        rect(d, 11, 30 + b, 21, 31 + b, pal["belt"])
        rect(d, 17, 30 + b, 18, 31 + b, pal["buckle"])

    # Head.
    rect(d, 15, 18 + b, 17, 20 + b, pal["skin_dark"])  # neck
    d.ellipse([11, 9 + b, 21, 19 + b], fill=pal["skin"])
    rect(d, 11, 11 + b, 13, 15 + b, pal["hair"])  # back of the head
    rect(d, 18, 13 + b, 19, 14 + b, pal["eye"])
    rect(d, 21, 14 + b, 21, 15 + b, pal["skin_dark"])  # nose
    if pal["hat_on"]:
        rect(d, 8, 9 + b, 24, 10 + b, pal["hat"])  # brim
        rect(d, 11, 4 + b, 21, 8 + b, pal["hat"])  # crown
        rect(d, 11, 7 + b, 21, 8 + b, pal["hat_band"])
        rect(d, 12, 3 + b, 20, 3 + b, pal["hat"])
    else:
        rect(d, 12, 8 + b, 20, 10 + b, pal["hair"])
        d.polygon([(17, 17 + b), (22, 17 + b), (19, 23 + b)], fill=pal["hair"])  # beard

    # Front leg and arm.
    if pal["robe"]:
        if flift == 0:
            rect(d, 17 + fdx, 45, 21 + fdx, 47, pal["boots"])
    else:
        leg(d, 17, 33 + b, 17 + fdx, 47 - flift, pal)
    arm(d, 17, 22 + b, 17 + fax, 22 + b + fay, pal, pal["coat"])
    return img, (17 + fax, 22 + b + fay)


def character_poses():
    poses = {}
    poses["stop"] = [
        {"bob": 0, "feet": [(-1, 0), (1, 0)], "arms": [(-1, 9), (1, 9)]},
        {"bob": 1, "feet": [(-1, 0), (1, 0)], "arms": [(-1, 9), (1, 9)]},
    ]
    walk = []
    for k in range(6):
        ph = 2 * math.pi * k / 6
        s = math.sin(ph)
        walk.append({
            "bob": 1 if k in (1, 4) else 0,
            "feet": [(round(-5 * s), 2 if s > 0.3 else 0), (round(5 * s), 2 if s < -0.3 else 0)],
            "arms": [(round(4 * s), 8), (round(-4 * s), 8)],
        })
    poses["move"] = walk
    poses["jump"] = [
        {"bob": -1, "feet": [(-3, 5), (3, 7)], "arms": [(-5, -2), (6, -3)]},
        {"bob": -1, "feet": [(-2, 6), (2, 8)], "arms": [(-5, -3), (6, -4)]},
    ]
    poses["fall"] = [
        {"bob": 0, "feet": [(-4, 1), (4, 2)], "arms": [(-6, -1), (7, -2)]},
        {"bob": 0, "feet": [(-4, 2), (4, 1)], "arms": [(-6, -2), (7, -1)]},
    ]
    return poses


# name, frames key, speed, loop frame
CHAR_ANIMS = [
    ("stop_left", "stop", 2, 0),
    ("stop_right", "stop", 2, 0),
    ("move_left", "move", 10, 0),
    ("move_right", "move", 10, 0),
    ("jump_left", "jump", 8, 1),
    ("jump_right", "jump", 8, 1),
    ("fall_left", "fall", 8, 0),
    ("fall_right", "fall", 8, 0),
]


def make_character(pal, png, txt, title):
    poses = character_poses()
    cols = max(len(p) for p in poses.values())
    sheet = Image.new("RGBA", (cols * FW, len(CHAR_ANIMS) * FH), (0, 0, 0, 0))
    lines = ["-- " + title + ": eight animations of 32 x 48 frames, one per row.",
             "-- anim x y w h speed loop boxX1 boxY1 boxW boxH name",
             "-- frame n anchorX anchorY handX handY"]
    for row, (name, key, speed, loop) in enumerate(CHAR_ANIMS):
        left = name.endswith("_left")
        hands = []
        for k, pose in enumerate(poses[key]):
            img, hand = figure(pose, pal)
            img = outline(img, pal["outline"])
            if left:
                img = img.transpose(Image.FLIP_LEFT_RIGHT)
                hand = (FW - 1 - hand[0], hand[1])
            sheet.paste(img, (k * FW, row * FH))
            hands.append(hand)
        lines.append("anim 0 %d %d %d %d %d %d %d %d %d %s" %
                     (row * FH, FW, FH, speed, loop, BOX[0], BOX[1], BOX[2], BOX[3], name))
        for hand in hands:
            lines.append("frame 1 %d %d %d %d" % (ANCHOR[0], ANCHOR[1], hand[0], hand[1]))
    save(sheet, png)
    write_text(txt, lines)


# --------------------------------------------------------------------------
# Fonts


def glyph_bitmaps():
    """Rasterises PIL's built-in bitmap font: per character the opaque
    columns, trimmed to the ink (space keeps a fixed width)."""
    font = ImageFont.load_default()
    glyphs = []
    for code in range(32, 127):
        ch = chr(code)
        img = Image.new("L", (12, 12), 0)
        ImageDraw.Draw(img).text((0, 0), ch, font=font, fill=255)
        px = img.load()
        cols = [x for x in range(12) if any(px[x, y] > 127 for y in range(12))]
        if not cols:
            glyphs.append((4, [[0] * 12 for _ in range(4)]))
            continue
        x0, x1 = cols[0], cols[-1]
        bitmap = [[1 if px[x, y] > 127 else 0 for y in range(12)] for x in range(x0, x1 + 1)]
        glyphs.append((x1 - x0 + 1, bitmap))
    return glyphs


def make_font(png, txt, face, shadow, title):
    glyphs = glyph_bitmaps()
    gh = 13  # 12 rows of the font plus one row of shadow
    per_row = 16
    cell = max(w for w, _ in glyphs) + 2
    rows = (len(glyphs) + per_row - 1) // per_row
    img = Image.new("RGBA", (per_row * cell, rows * gh), (0, 0, 0, 0))
    px = img.load()
    lines = ["-- " + title + ": animation i is the character 32 + i.",
             "-- frames x y w h anchorX anchorY"]
    for i, (w, bitmap) in enumerate(glyphs):
        ox, oy = (i % per_row) * cell, (i // per_row) * gh
        for x, column in enumerate(bitmap):
            for y, on in enumerate(column):
                if on:
                    if not px[ox + x + 1, oy + y + 1][3]:
                        px[ox + x + 1, oy + y + 1] = shadow
                    px[ox + x, oy + y] = face
        lines.append("1 %d %d %d %d 0 0" % (ox, oy, w + 1, gh))
    save(img, png)
    write_text(txt, lines)


# --------------------------------------------------------------------------
# Dialog pictures


def make_pointer():
    frames = 4
    img = Image.new("RGBA", (16 * frames, 16), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for k, dy in enumerate((0, 1, 2, 1)):
        ox = 16 * k
        d.polygon([(ox + 2, 3 + dy), (ox + 13, 3 + dy), (ox + 7.5, 12 + dy)],
                  fill=(32, 22, 8, 255))
        d.polygon([(ox + 4, 4 + dy), (ox + 11, 4 + dy), (ox + 7.5, 10 + dy)],
                  fill=(255, 214, 72, 255))
        d.line([(ox + 5, 5 + dy), (ox + 7, 5 + dy)], fill=(255, 250, 200, 255))
    save(img, "npc_ptr.png")
    write_text("npc_ptr.txt", [
        "-- Dialog pointer over a character: four frames, anchored below the tip.",
        "4 0 0 16 16 8 18 8"])


def make_dialog_background():
    w, h, frames = 640, 112, 4
    img = Image.new("RGBA", (w * frames, h * 3), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for anim in range(3):
        for k in range(frames):
            ox, oy = k * w, anim * h
            d.rounded_rectangle([ox + 4, oy + 4, ox + w - 5, oy + h - 5], radius=10,
                                fill=(16, 22, 46, 220), outline=(196, 168, 104, 255), width=2)
            d.rounded_rectangle([ox + 8, oy + 8, ox + w - 9, oy + h - 9], radius=7,
                                outline=(92, 80, 60, 200), width=1)
            # A glint that runs along the top edge, one step per frame.
            gx = ox + 40 + k * 150
            d.line([(gx, oy + 5), (gx + 40, oy + 5)], fill=(255, 240, 190, 255), width=1)
            if anim == 1:  # waiting for a key: a bobbing arrow
                bob = (0, 1, 2, 1)[k]
                ax, ay = ox + w - 28, oy + h - 24 + bob
                d.polygon([(ax, ay), (ax + 10, ay), (ax + 5, ay + 6)], fill=(255, 214, 72, 255))
            elif anim == 2:  # waiting for a choice: a blinking diamond
                if k < 3:
                    ax, ay = ox + w - 24, oy + h - 22
                    d.polygon([(ax, ay - 5), (ax + 5, ay), (ax, ay + 5), (ax - 5, ay)],
                              fill=(120, 220, 255, 255))
    save(img, "dial_bg.png")
    write_text("dial_bg.txt", [
        "-- Dialog text box: 0 shown, 1 waiting for a key, 2 waiting for a choice.",
        "anim 0 0 640 112 16 0 0 0 640 112 box",
        "frame 4",
        "anim 0 112 640 112 16 0 0 0 640 112 box_wait",
        "frame 4",
        "anim 0 224 640 112 16 0 0 0 640 112 box_choice",
        "frame 4"])


# --------------------------------------------------------------------------
# Fades and particles


def make_fades():
    save(Image.new("RGBA", (640, 480), (0, 0, 0, 255)), "fade_00.png")
    for name, what in (("fade_00", "Loading screen"), ("fade_01", "Title picture")):
        write_text(name + ".txt", ["-- " + what + ": the whole picture.", "anim 0 0 640 480 100"])

    rnd = random.Random(7)
    img = Image.new("RGBA", (640, 480), (0, 0, 0, 255))
    px = img.load()
    top, mid, low = (12, 16, 48), (84, 52, 110), (236, 132, 72)
    for y in range(480):
        t = y / 479.0
        a, b, u = (top, mid, t / 0.55) if t < 0.55 else (mid, low, (t - 0.55) / 0.45)
        c = tuple(int(a[i] + (b[i] - a[i]) * u) for i in range(3)) + (255,)
        for x in range(640):
            px[x, y] = c
    d = ImageDraw.Draw(img)
    for _ in range(140):
        x, y = rnd.randrange(640), rnd.randrange(240)
        v = rnd.randrange(150, 256)
        d.point((x, y), fill=(v, v, min(255, v + 20), 255))
    d.ellipse([430, 270, 530, 370], fill=(255, 200, 120, 255))
    # Three ranges of hills, farther ones lighter.
    for depth, (base, amp, colour) in enumerate(
            [(330, 40, (70, 40, 80)), (370, 30, (44, 28, 58)), (410, 22, (22, 16, 32))]):
        f1, f2, p = 0.011 + depth * 0.004, 0.027 + depth * 0.006, rnd.random() * 6
        pts = [(x, base - amp * (0.6 * math.sin(x * f1 + p) + 0.4 * math.sin(x * f2 + 2 * p)))
               for x in range(0, 641, 4)]
        d.polygon(pts + [(640, 480), (0, 480)], fill=colour + (255,))
    # The title in hand-drawn 5 x 7 letters, blown up with hard pixels.
    letters = {
        "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
        "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
        "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
        "V": ["#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
        "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
        "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
        "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    }
    title = "TERVALO"
    word = Image.new("RGBA", (6 * len(title) - 1, 7), (0, 0, 0, 0))
    wp = word.load()
    for i, ch in enumerate(title):
        for y, row in enumerate(letters[ch]):
            for x, c in enumerate(row):
                if c == "#":
                    wp[6 * i + x, y] = (255, 230, 160, 255)
    scale = 10
    big = word.resize((word.width * scale, word.height * scale), Image.NEAREST)
    shadow = Image.new("RGBA", big.size, (20, 10, 30, 255))
    shadow.putalpha(big.split()[3])
    tx = (640 - big.width) // 2
    img.alpha_composite(shadow, (tx + 6, 100 + 6))
    img.alpha_composite(big, (tx, 100))
    save(img, "fade_01.png")


def make_blood():
    img = Image.new("RGBA", (24, 8), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    red, dark = (190, 18, 24, 255), (110, 8, 12, 255)
    d.ellipse([2, 2, 5, 5], fill=red)
    d.point((3, 3), fill=(240, 90, 90, 255))
    d.ellipse([9, 2, 14, 6], fill=red)
    d.point([(8, 1), (15, 2), (10, 7), (14, 6)], fill=dark)
    d.ellipse([17, 4, 22, 6], fill=dark)
    d.point([(16, 3), (23, 5)], fill=dark)
    save(img, "krew01.png")
    write_text("krew01.txt", [
        "-- Blood splash: three frames of 8 x 8, centred, the last one stays.",
        "3 0 0 8 8 4 4 12 2"])


def main():
    os.makedirs(OUT, exist_ok=True)
    make_pointer()
    make_dialog_background()
    make_fades()
    make_blood()
    make_character(PLAYER, "player.png", "player.txt", "Player: an adventurer with hat and pack")
    make_character(VILLAGER, "npc_a.png", "npc_a.txt", "Villager in a robe (generic character)")
    make_font("font_00.png", "font_00.txt", (255, 255, 255, 255), (20, 20, 30, 255),
              "Font for screen texts, white with a shadow")
    make_font("font_00a.png", "font_00a.txt", (255, 236, 176, 255), (60, 36, 16, 255),
              "Dialog font, warm white with a brown shadow")


if __name__ == "__main__":
    main()
