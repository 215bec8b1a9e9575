"""game.ini and --level: where the game starts, with what player, and where
it saves. A level script prints the player's start as the game sees it."""
import os
import re
import unittest

from harness import GameRun

LEVEL = "data/lvl/miedzyczas.crs:lvl"
PROBE = """local told = false
function probe()
  if not told then
    told = true
    print(string.format("PROBE %d %d %d", getPlayerX(), getPlayerY(), getPlayerHp()))
  end
end
"""


class SettingsTest(unittest.TestCase):
    def setUp(self):
        self.run_ = GameRun().prepare()
        self.addCleanup(self.run_.cleanup)
        with open(self.run_.path("lua", "probe.lua"), "w") as f:
            f.write(PROBE)
        with open(self.run_.path("lua", "list.ini"), "w") as f:
            f.write(f"[{LEVEL}]\nfile=probe.lua\nalways=probe\n")

    def settings(self, text):
        with open(self.run_.path("game.ini"), "w") as f:
            f.write(text)

    def play(self, args=()):
        """Starts, reads the probe's line, quits; returns (x, y, hp)."""
        run = self.run_
        run.start(args=args)
        self.assertTrue(run.wait_for_line("PROBE "), run.output())
        self.assertEqual(run.quit(), 0, run.output())
        m = re.search(r"PROBE (-?\d+) (-?\d+) (-?\d+)", run.output())
        return tuple(int(v) for v in m.groups())

    def test_without_game_ini_the_defaults(self):
        self.assertEqual(self.play(), (960, 96, 100))
        self.assertNotIn("GameSettings", self.run_.output())
        self.assertTrue(os.path.exists(self.run_.path("save", "sav01.bin")))

    def test_each_key_and_a_bad_value(self):
        self.settings(f"; start elsewhere\n[game]\nlevel = {LEVEL}\n"
                      "player_sprite = data/gfx.crs:npc_a\nplayer_x = 980\nplayer_y = 70\n"
                      "player_hp = lots\nsave = slots/one.bin\n")
        # The bad line is reported with its number; the hit points keep 100.
        self.assertEqual(self.play(), (980, 70, 100))
        out = self.run_.output()
        self.assertIn('FAIL: GameSettings.load: game.ini:7: bad value for player_hp: "lots"', out)
        self.assertIn("INFO: GameSettings.load: read game.ini", out)
        self.assertNotIn("Sprite.load", out)
        self.assertTrue(os.path.exists(self.run_.path("slots", "one.bin")))
        self.assertFalse(os.path.exists(self.run_.path("save", "sav01.bin")))

    def test_level_from_game_ini_and_the_command_line(self):
        self.settings("[game]\nlevel = data/lvl/nowhere.crs:lvl\nplayer_hp = 7\n")
        run = self.run_
        self.assertEqual(run.run_to_exit(), 200, run.output())
        self.assertIn('"data/lvl/nowhere.crs"', run.output())
        # --level wins over game.ini; the other keys still count.
        self.assertEqual(self.play(args=["--level", LEVEL]), (960, 96, 7))
        self.assertIn(f'OK  : Level.load: Poziom "{LEVEL}"', run.output())


if __name__ == "__main__":
    unittest.main()
