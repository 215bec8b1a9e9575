"""The getting-started page, followed to the letter: its commands run and its
files are written in page order (fenced blocks: `sh` blocks are run,
blocks whose info string names a path after the language are written to
that path), then the game it built is started. Anna must be on screen,
talking to her must open the dialog box, and her dialog must reach the save.
"""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import GameRun, game_dir
from test_level import read_save

SOURCE = os.environ.get("TERVALO_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
PAGE = os.path.join(SOURCE, "docs", "getting-started.md")
FENCE = re.compile(r"^```([^\n]*)\n(.*?)^```\s*$", re.S | re.M)
ANNA_DRESS = (210, 30, 150)
# The failures the page calls harmless: no save yet, no weapon list.
EXPECTED_FAILS = {"FAIL: Database.load: Nie udalo sie otworzyc pliku",
                  "FAIL: main: Nie udalo sie wczytac zapisu",
                  "FAIL: Weapon.load: Nie udalo sie wczytac listy broni"}


def page_script(page_text):
    """The page's blocks as one bash script, in page order."""
    parts = ["set -euo pipefail"]
    for info, body in FENCE.findall(page_text):
        words = info.split()
        if words == ["sh"]:
            parts.append(body)
        elif len(words) == 2:
            parts.append(f"mkdir -p \"$(dirname '{words[1]}')\"\n"
                         f"cat > '{words[1]}' <<'PAGE_FILE_END'\n{body}PAGE_FILE_END")
    return "\n".join(parts) + "\n"


def pixels(png):
    """(width, height, raw RGB bytes) of a screenshot."""
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    return 640, len(raw) // (3 * 640), raw


def count_near(png, colour, box, tolerance=24):
    w, _, raw = pixels(png)
    x0, y0, x1, y1 = box
    n = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            i = 3 * (y * w + x)
            if all(abs(raw[i + k] - colour[k]) <= tolerance for k in range(3)):
                n += 1
    return n


def changed(png_a, png_b, box):
    """Share of the pixels of `box` that differ clearly between two shots."""
    w, _, a = pixels(png_a)
    _, _, b = pixels(png_b)
    x0, y0, x1, y1 = box
    diff = sum(1 for y in range(y0, y1, 2) for x in range(x0, x1, 2)
               if sum(abs(a[3 * (y * w + x) + k] - b[3 * (y * w + x) + k]) for k in range(3)) > 30)
    return diff / (((x1 - x0) // 2) * ((y1 - y0) // 2))


class GettingStartedTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="tervalo-gs-")
        # $TERVALO as the page means it: a checkout with its build.
        build = game_dir()
        checkout = os.path.join(self.tmp, "checkout")
        os.makedirs(os.path.join(checkout, "build"))
        os.symlink(os.path.abspath(build), os.path.join(checkout, "build", "game"))
        os.symlink(os.path.abspath(os.path.join(build, "..", "crs")),
                   os.path.join(checkout, "build", "crs"))
        os.symlink(os.path.abspath(os.path.join(SOURCE, "docs")), os.path.join(checkout, "docs"))
        self.checkout = checkout
        self.run_ = None

    def tearDown(self):
        if self.run_:
            self.run_.cleanup()
        shutil.rmtree(self.tmp, ignore_errors=True)

    @staticmethod
    def fails(run):
        return {line for line in run.lines() if line.startswith("FAIL")}

    def test_page_builds_a_game_where_anna_talks(self):
        with open(PAGE) as f:
            script = page_script(f.read())
        env = dict(os.environ, TERVALO=self.checkout)
        binary = os.environ.get("TERVALO_BIN")
        r = subprocess.run(["bash", "-c", script], cwd=self.tmp, env=env,
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        game = os.path.join(self.tmp, "mygame")
        self.assertEqual(os.path.getsize(os.path.join(game, "first", "ground.bin")), 300)

        run = self.run_ = GameRun(source=game, binary=binary).prepare()
        run.start()
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        # A game built as the page says prints no other failure.
        self.assertLessEqual(self.fails(run), EXPECTED_FAILS, run.output())
        self.assertIn('OK  : Level.load: Poziom "data/lvl/first.crs:lvl"', run.output())
        time.sleep(2.0)  # both characters drop onto the grass
        before = run.screenshot(run.path("before.png"))
        # Anna stands 40 px right of the player, who is in the screen's centre.
        self.assertGreater(count_near(before, ANNA_DRESS, (330, 180, 400, 300)), 40)

        run.key("e")
        time.sleep(1.0)
        talking = run.screenshot(run.path("talking.png"))
        # The dialog box covers the bottom of the screen.
        self.assertGreater(changed(before, talking, (20, 390, 620, 470)), 0.5)
        run.key("Return")
        time.sleep(0.5)
        self.assertEqual(run.quit(), 0, run.output())
        self.assertLessEqual(self.fails(run), EXPECTED_FAILS, run.output())

        strs, vals = read_save(run.path("save", "sav01.bin"))
        self.assertEqual(vals.get("anna_talks"), 1, vals)
        # She saved where she stands: on the grass, 40 px right of the start.
        words = strs.get("data/lvl/first.crs:lvl_anna", "").split()
        self.assertEqual(words[4:6], ["1000", "352"], words)


if __name__ == "__main__":
    unittest.main()
