"""Developer mode: a script and a dialog line changed while the game runs reload the level with the new
behaviour and the player where it was; a broken script keeps the running level and says why."""
import re
import time
import unittest

from harness import GameRun, add_probe

SOLTYS = """-- standing, version {v}
local said = false
function update()
  if not said then
    said = true
    local x, y = getPlayerPos()
    print("E2E soltys {v} " .. x .. " " .. y)
  end
end
"""

RELOADED = "OK  : Dev.reload: Poziom"
FAILED = "FAIL: Dev.reload: Poziom"


class DevReloadTest(unittest.TestCase):
    def test_live_reload(self):
        run = GameRun().prepare()
        self.addCleanup(run.cleanup)
        add_probe(run)
        run.write("lua/soltys.lua", SOLTYS.format(v="v1"))
        run.start(args=["--dev"])
        self.assertTrue(run.wait_for_line("E2E soltys v1"), run.output())
        time.sleep(1.5)  # the player drops onto the meadow beside Soltys
        run.key("Right", hold_ms=300)
        time.sleep(1.0)
        before = run.position()
        self.assertIsNotNone(before, run.output())
        self.assertNotEqual(before[0], 960)  # walked away from the start

        # Both edits land together; the watch reloads once the folder is quiet.
        run.edit("npc/soltys", "12 1=strnl Jestem soltysem tej wioski.",
                 "12 1=lua print('E2E dialog v2')\n12 2=seta")
        run.write("lua/soltys.lua", SOLTYS.format(v="v2"))
        self.assertTrue(run.wait_for_line("E2E soltys v2"), run.output())
        self.assertIn(RELOADED, run.output())
        after = re.search(r"^E2E soltys v2 (-?\d+) (-?\d+)$", run.output(), re.M)
        self.assertEqual((int(after.group(1)), int(after.group(2))), before, run.output())

        run.key("e")  # talk: the changed lines run and end the conversation
        self.assertTrue(run.wait_for_line("E2E dialog v2", timeout=10), run.output())

        # A syntax error: Ctrl+R reports it and the running level goes on.
        run.write("lua/soltys.lua", "function update(\n")
        time.sleep(0.5)  # the watch reloads (and fails) by itself first
        run.key("Control_L", "r")
        time.sleep(1.0)
        self.assertIn(FAILED, run.output())
        self.assertRegex(run.output(), r"FAIL: Lua\.update: Error: lua/soltys\.lua:\d+:")
        # So does a script that raises while it loads.
        failed = run.output().count(FAILED)
        run.write("lua/soltys.lua", 'error("E2E boom")\n')
        time.sleep(1.0)
        out = run.output()
        self.assertIn("E2E boom", out)
        self.assertGreater(out.count(FAILED), failed, out)
        self.assertEqual(out.count(RELOADED), 1, out)
        moved_from = run.position()
        run.key("Left", hold_ms=400)
        time.sleep(0.5)
        self.assertNotEqual(run.position(), moved_from, run.output())  # still running
        self.assertEqual(run.quit(), 0, run.output())

