#!/usr/bin/python3
"""Generates the weapon pictures of data/wep.crs.

Run with the system Python (it needs PIL):  /usr/bin/python3 make_weapons.py
Writes into ../data/wep.crs/ next to this script; the output is the same on
every run.

proca:  the slingshot a character holds, 12 x 12, anchored at the grip
        (the hand point of the character's frame lands there).
kamien: the stone it throws, 4 x 4, centred; two frames that tumble.
"""

import os

from PIL import Image, ImageDraw

import pixelart

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "wep.crs")

WOOD = (122, 78, 38, 255)
WOOD_DARK = (84, 52, 24, 255)
BAND = (196, 60, 48, 255)
STONE = (150, 150, 142, 255)
STONE_DARK = (96, 96, 90, 255)


def save(img, name):
    pixelart.save_png(img, OUT, name)


def write_text(name, lines):
    pixelart.write_lines(OUT, name, lines)


def make_slingshot():
    img = Image.new("RGBA", (12, 12), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([5, 6, 6, 11], fill=WOOD)          # handle
    d.line([(5, 6), (2, 1)], fill=WOOD, width=2)    # left fork
    d.line([(6, 6), (9, 1)], fill=WOOD, width=2)    # right fork
    d.point([(5, 11), (6, 11)], fill=WOOD_DARK)
    d.line([(2, 1), (6, 4), (9, 1)], fill=BAND)     # the band
    save(img, "proca.png")
    write_text("proca.txt", [
        "-- Slingshot held by its grip: one frame of 12 x 12.",
        "1 0 0 12 12 6 10 1 0"])


def make_stone():
    img = Image.new("RGBA", (8, 4), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for fx, dark in ((0, (3, 3)), (4, (4, 0))):
        d.rectangle([fx, 0, fx + 3, 3], fill=STONE)
        for corner in ((fx, 0), (fx + 3, 0), (fx, 3), (fx + 3, 3)):
            d.point(corner, fill=(0, 0, 0, 0))
        d.point(dark, fill=STONE_DARK)
    save(img, "kamien.png")
    write_text("kamien.txt", [
        "-- Thrown stone: two tumbling frames of 4 x 4, centred.",
        "2 0 0 4 4 2 2 12 0"])


def main():
    os.makedirs(OUT, exist_ok=True)
    make_slingshot()
    make_stone()


if __name__ == "__main__":
    main()
