"""The getting-started page followed to the letter (its `sh` blocks run, its `--check` among them; blocks
naming a path written there, in page order), then its game started: Anna on screen, the save holds her
dialog and where she stands."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from game_driver import GameRun, Shot, game_dir

SOURCE = os.environ.get("TERVALO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
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


class GettingStartedTest(unittest.TestCase):
    def test_page_builds_a_game_where_anna_talks(self):
        tmp = tempfile.mkdtemp(prefix="tervalo-gs-")
        self.addCleanup(shutil.rmtree, tmp, ignore_errors=True)
        # $TERVALO as the page means it: a checkout with its build.
        build, checkout = os.path.abspath(game_dir()), os.path.join(tmp, "checkout")
        os.makedirs(os.path.join(checkout, "build"))
        for link, target in (("build/game", build), ("build/crs", os.path.join(build, "..", "crs")),
                             ("docs", os.path.join(SOURCE, "docs"))):
            os.symlink(os.path.abspath(target), os.path.join(checkout, link))
        with open(PAGE) as f:
            r = subprocess.run(["bash", "-c", page_script(f.read())], cwd=tmp,
                               env=dict(os.environ, TERVALO=checkout), capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)

        run = GameRun(source=os.path.join(tmp, "mygame"), binary=os.environ.get("TERVALO_BIN")).prepare()
        self.addCleanup(run.cleanup)
        run.started()
        self.assertIn('OK  : Level.load: Poziom "data/lvl/first.crs:lvl"', run.output())
        time.sleep(2.0)  # both characters drop onto the grass
        # Anna stands 40 px right of the player, who is in the screen's centre.
        near = lambda *p: all(abs(a - b) <= 24 for a, b in zip(p, ANNA_DRESS))
        self.assertGreater(Shot(run.screenshot(run.path("anna.png"))).count((330, 180, 70, 120), near), 40)
        run.key("e")  # she talks (counted in the save), Return closes the box
        time.sleep(1.0)
        run.key("Return")
        time.sleep(0.5)
        self.assertEqual(run.quit(), 0, run.output())
        # A game built as the page says prints no other failure.
        self.assertLessEqual({l for l in run.lines() if l.startswith("FAIL")}, EXPECTED_FAILS, run.output())

        strs, vals = run.save()
        self.assertEqual(vals.get("anna_talks"), 1, vals)
        # She saved where she stands: on the grass, 40 px right of the start.
        words = strs.get("data/lvl/first.crs:lvl_anna", "").split()
        self.assertEqual(words[4:6], ["1000", "352"], words)

