"""The real binary on the demo: start-up failures and their exit codes; a session and its save; a second
one set up by game.ini and --level, with scripts that never return, going on from the save."""
import os
import re
import shutil
import unittest

from harness import MEADOW, STARTED, GameRun, loaded

# Says once where the player starts, as the game sees it.
START_PROBE = """
local startTick, told = tick, false
function tick()
  if not told then
    told = true
    print(string.format("E2E start %d %d %d", getPlayerX(), getPlayerY(), getPlayerHp()))
  end
  startTick()
end
"""
# The village head moves himself after 30 ticks and says so through the API.
SOLTYS = """ticks = 0
function update()
  ticks = ticks + 1
  if ticks == 30 then setX(500) setNpcHp(getId(), 42) test() end
end
"""
SETTINGS = """; start elsewhere
[game]
level = data/lvl/nowhere.crs:lvl
player_sprite = data/gfx.crs:npc_a
player_x = 980
player_y = 70
player_hp = lots
save = slots/one.bin
script_budget_ms = 100
script_memory_mb = 8
"""
RUNAWAY = ["FAIL: Lua.update: Error: Skrypt data/lvl/miedzyczas.crs:lvl, funkcja tick: "
           "przekroczony limit czasu (100 ms)",
           "FAIL: Lua.update: Error: Skrypt lua/skoczek.lua, funkcja update: przekroczony limit czasu (100 ms)",
           "FAIL: Lua.update: Error: Skrypt lua/soltys.lua, funkcja update: przekroczony limit pamieci (8 MiB)"]


def remove(name):
    return lambda run: os.remove(run.path(*name.split("/")))


# What breaks, the environment, the exit code and the line that says why.
FAILURES = [
    ("no OpenGL", None, {"SDL_VIDEODRIVER": "dummy"}, 100, "FAIL: init: "),
    ("no sound device", None, {"SDL_AUDIODRIVER": "nonexistent"}, 101, "FAIL: Sound."),
    ("no dialog sprites", remove("data/gfx.crs"), {}, 102, "FAIL: main: Nie udalo sie uruchomic dialogow\n"),
    ("no first level", remove("data/lvl/miedzyczas.crs"), {}, 200,
     "FAIL: Level.load: Nie udalo sie wczytac informacji o poziomie\n"),
    ("game.ini names a missing level",
     lambda run: run.write("game.ini", "[game]\nlevel = data/lvl/nowhere.crs:lvl\n"), {}, 200,
     '"data/lvl/nowhere.crs"'),
]


class GameTest(unittest.TestCase):
    def setUp(self):
        self.run_ = GameRun().prepare()
        self.addCleanup(self.run_.cleanup)

    def test_start_up_failures_end_early_without_a_save(self):
        run = self.run_
        for name, change, env, code, line in FAILURES:
            with self.subTest(name):
                run.prepare()
                if change:
                    change(run)
                self.assertEqual(run.run_to_exit(env=env), code, run.output())
                lines = run.lines()  # game.ini is read before the first line
                start = lines.index("INFO: Start")
                self.assertTrue(start <= 1 and lines[start + 1].startswith("INFO: Build: "), lines)
                self.assertIn(line, run.output())
                self.assertNotIn(STARTED, run.output())
                self.assertNotIn("INFO: Zatrzymano", run.output())
                self.assertFalse(os.path.exists(run.path("save", "sav01.bin")))

    def test_two_sessions_and_their_saves(self):
        run = self.run_
        run.write("lua/soltys.lua", SOLTYS)
        run.write("lua/miedzyczas.lua", START_PROBE, "a")
        run.started()
        run.key("Alt_L", "F5")
        run.key("Alt_L", "a")
        self.assertIsNone(run.wait(1.0), "the game ended on Left Alt + another key")
        self.assertTrue(run.wait_for_line("INFO: LuaFuncs.lTest", timeout=30), run.output())
        self.assertEqual(run.quit(), 0, run.output())

        out = run.output()
        self.assertIn("E2E start 960 96 100\n", out)  # without game.ini: the defaults
        self.assertNotIn("GameSettings", out)
        self.assertEqual(out.count(loaded(MEADOW)), 1, out)
        self.assertRegex(out, re.escape(loaded(MEADOW)) + r" \d+ms\n")
        self.assertLess(out.index(loaded(MEADOW)), out.index(STARTED))
        self.assertIn("FAIL: main: Nie udalo sie wczytac zapisu", out)
        self.assertLess(out.index("INFO: Start"), out.index("-" * 79 + "\n"))
        self.assertRegex(out, r"INFO: Zatrzymano \(\d+\.\d\ds\)\n")
        self.assertEqual(out.count("INFO: LuaFuncs.lTest"), 1)
        self.assertNotIn("FAIL: LuaFuncs", out)
        strs, vals = run.save()
        self.assertEqual(vals.get("miedzyczas_wizyty"), 1, vals)  # the level's "script" and "call" lines
        # Every listed character wrote its line when the level was unloaded.
        for name in ("soltys", "zielarka", "skoczek"):
            words = strs.get(f"{MEADOW}_{name}", "").split(" ")
            self.assertEqual((len(words), words[0], words[11][-4:]), (12, "1", ".lua"), words)
        soltys = strs[f"{MEADOW}_soltys"].split(" ")
        self.assertEqual((soltys[4], soltys[7]), ("500", "42"), soltys)

        # Second session: game.ini moves the start, the player and the save
        # (one bad value, reported at its line); --level wins over its level.
        # The level's tick and one character's update never return, another
        # character allocates without end: they are stopped, the game goes on.
        os.makedirs(run.path("slots"))
        shutil.copy(run.path("save", "sav01.bin"), run.path("slots", "one.bin"))
        run.write("game.ini", SETTINGS)
        run.write("lua/miedzyczas.lua", "\nfunction tick() while true do end end\n" + START_PROBE, "a")
        run.write("lua/skoczek.lua", "\nfunction update() while true do end end\n", "a")
        run.write("lua/soltys.lua", "t = {}\nfunction update()\n"
                  "  while true do t[#t + 1] = string.rep('x', 65536) .. #t end\nend\n")
        run.started(args=["--level", MEADOW])
        for line in RUNAWAY:
            self.assertTrue(run.wait_for_line(line, timeout=30), run.output())
        self.assertEqual(run.quit(), 0, run.output())
        out = run.output()
        self.assertIn("E2E start 980 70 100\n", out)
        self.assertIn('FAIL: GameSettings.load: game.ini:7: bad value for player_hp: "lots"', out)
        self.assertIn("INFO: GameSettings.load: read game.ini", out)
        self.assertIn(loaded(MEADOW), out)
        self.assertNotIn("Sprite.load", out)
        self.assertEqual(out.count("przekroczony limit"), 3, out)
        strs, vals = run.save("slots/one.bin")
        self.assertEqual(vals.get("miedzyczas_wizyty"), 2, vals)  # counts on from the save
        self.assertIn(f"{MEADOW}_skoczek", strs)
        self.assertEqual(run.save()[1].get("miedzyczas_wizyty"), 1)  # the old save is left alone

