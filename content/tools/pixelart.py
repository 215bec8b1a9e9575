"""Small helpers shared by the content generators (make_gfx.py,
make_weapons.py): writing their output files and outlining sprites."""

import os


def save_png(img, folder, name):
    img.save(os.path.join(folder, name), optimize=True)


def write_lines(folder, name, lines):
    """A text file with Unix line ends, ending in a newline."""
    path = os.path.join(folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def outline(img, colour, min_alpha=0):
    """A copy of `img` with a one-pixel outline of `colour` on the transparent
    pixels next to (4-neighbourhood) a pixel more opaque than `min_alpha`."""
    w, h = img.size
    src = img.load()
    out = img.copy()
    dst = out.load()
    for y in range(h):
        for x in range(w):
            if src[x, y][3]:
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if 0 <= nx < w and 0 <= ny < h and src[nx, ny][3] > min_alpha:
                    dst[x, y] = colour
                    break
    return out
