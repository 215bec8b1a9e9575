"""Held arrow keys walk the player's character: a probe appended to the level
script stores its x in the save every tick, read back after the run."""
import time
import unittest

from harness import GameRun
from test_level import read_save

PROBE = """
local probeTick, firstX, maxX = tick
function tick()
  probeTick()
  local x = getPlayerX()
  if x == nil then return end
  firstX = firstX or x
  maxX = math.max(maxX or x, x)
  dbSetVal("e2e_first_x", firstX) dbSetVal("e2e_max_x", maxX) dbSetVal("e2e_x", x)
end
"""


class PlayerTest(unittest.TestCase):
    def setUp(self):
        self.run_ = GameRun().prepare()

    def tearDown(self):
        self.run_.cleanup()

    def test_arrow_keys_walk_the_character(self):
        run = self.run_
        with open(run.path("lua", "miedzyczas.lua"), "a") as f:
            f.write(PROBE)
        # Soltys patrols the landing meadow and could stand in the way.
        with open(run.path("npc", "list.ini")) as f:
            npcs = f.read().replace("1=soltys", "")
        with open(run.path("npc", "list.ini"), "w") as f:
            f.write(npcs)
        run.start()
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        time.sleep(1.5)  # the character drops onto the meadow
        run.hold("Right", 1.0)
        time.sleep(0.3)
        run.hold("Left", 1.0)
        self.assertEqual(run.quit(), 0, run.output())

        _, vals = read_save(run.path("save", "sav01.bin"))
        first, most, last = (vals.get("e2e_" + k) for k in ("first_x", "max_x", "x"))
        self.assertEqual(first, 960, vals)
        # 100 px/s for about a second each way (key delivery is not exact).
        self.assertGreater(most - first, 50, vals)
        self.assertLess(last, most - 50, vals)
