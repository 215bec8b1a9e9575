"""Talking to Soltys: the player walks up to him, presses the talk key, pages
through his greeting and takes the first offer of help; the conversation's
database writes reach the save file."""
import time
import unittest

from harness import GameRun
from test_level import read_save

PROBE = """
local probeTick, mostMode = tick
function tick()
  probeTick()
  mostMode = math.max(mostMode or 0, getDialMode())
  dbSetVal("e2e_dial_mode", mostMode)
end
"""


class DialogTest(unittest.TestCase):
    def setUp(self):
        self.run_ = GameRun().prepare()

    def tearDown(self):
        self.run_.cleanup()

    def test_talk_to_soltys(self):
        run = self.run_
        with open(run.path("lua", "miedzyczas.lua"), "a") as f:
            f.write(PROBE)
        # He stands still at his place on the meadow instead of patrolling.
        with open(run.path("lua", "soltys.lua"), "w") as f:
            f.write("-- standing\n")
        run.start()
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        time.sleep(1.5)  # the character drops onto the meadow
        run.hold("Right", 0.3)
        time.sleep(0.5)
        run.key("e")
        # Two pages, the choice (first option), the thanks.
        for _ in range(4):
            time.sleep(0.6)
            run.key("Return")
        time.sleep(0.6)
        self.assertEqual(run.quit(), 0, run.output())

        _, vals = read_save(run.path("save", "sav01.bin"))
        self.assertEqual(vals.get("e2e_dial_mode"), 3, vals)  # it got to the choice
        self.assertEqual(vals.get("soltys_rozmowy"), 1, vals)
        self.assertEqual(vals.get("soltys_pomoc"), 1, vals)
        self.assertNotIn("FAIL: Dialog", run.output())


if __name__ == "__main__":
    unittest.main()
