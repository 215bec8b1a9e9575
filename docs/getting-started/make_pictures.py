#!/usr/bin/python3
"""Draws the three pictures of the getting-started game (run it from this
folder; Python 3 with PIL). Tiny on purpose: a tile sheet, a sky, Anna."""
from PIL import Image, ImageDraw

# Tile sheet: 0 unused (empty), 1 grass on earth, 2 earth.
tiles = Image.new("RGBA", (96, 32), (0, 0, 0, 0))
d = ImageDraw.Draw(tiles)
for x0, top in ((32, True), (64, False)):
    d.rectangle([x0, 0, x0 + 31, 31], fill=(116, 76, 40, 255))
    for i in range(6):
        d.point((x0 + 3 + i * 5, 10 + (i * 7) % 19), fill=(90, 58, 30, 255))
    if top:
        d.rectangle([x0, 0, x0 + 31, 6], fill=(64, 168, 64, 255))
        for i in range(0, 32, 4):
            d.point((x0 + i + 1, 7), fill=(64, 168, 64, 255))
tiles.save("tiles.png")

# Sky: a gradient, stretched to the screen by the engine.
sky = Image.new("RGBA", (64, 48))
for y in range(48):
    t = y / 47
    c = tuple(int(a + (b - a) * t) for a, b in ((110, 200), (170, 225), (230, 245)))
    ImageDraw.Draw(sky).line([0, y, 63, y], fill=c + (255,))
sky.save("sky.png")

# Anna: 32 x 48, anchored at the middle of her feet.
anna = Image.new("RGBA", (32, 48), (0, 0, 0, 0))
d = ImageDraw.Draw(anna)
d.ellipse([10, 3, 21, 15], fill=(240, 200, 160, 255))        # face
d.rectangle([9, 2, 22, 6], fill=(100, 52, 20, 255))          # hair
d.polygon([(16, 16), (7, 44), (25, 44)], fill=(210, 30, 150, 255))  # dress
d.rectangle([12, 44, 14, 47], fill=(60, 40, 30, 255))        # legs
d.rectangle([18, 44, 20, 47], fill=(60, 40, 30, 255))
anna.save("anna.png")
