"""The real binary on the demo: start-up failures and their exit codes; a session set up by game.ini
and --level that goes on from a save, with scripts that never return and one that changes its
character through the API; live reload in developer mode. The plain first session is the playthrough's."""
import os
import re
import time
import unittest

from game_driver import MEADOW, START_PROBE, STARTED, GameRun, add_probe, loaded, write_save

# The herbalist moves herself after 30 ticks and says so through the API.
ZIELARKA = """ticks = 0
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

# Soltys stands and says once where the player is, as the reloaded level sees it.
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
                self.assertEqual(run.start(env=env, wait_window=False).wait(30), code, run.output())
                lines = run.lines()  # game.ini is read before the first line
                start = lines.index("INFO: Start")
                self.assertTrue(start <= 1 and lines[start + 1].startswith("INFO: Build: "), lines)
                self.assertIn(line, run.output())
                self.assertNotIn(STARTED, run.output())
                self.assertNotIn("INFO: Zatrzymano", run.output())
                self.assertFalse(os.path.exists(run.path("save", "sav01.bin")))

    def test_settings_runaway_scripts_and_the_save(self):
        # game.ini moves the start, the player and the save (one bad value, reported at its line);
        # --level wins over its level. The level's tick and one character's update never return,
        # another character allocates without end: they are stopped, the game goes on.
        run = self.run_
        os.makedirs(run.path("slots"))
        write_save(run.path("slots", "one.bin"), {}, {"miedzyczas_wizyty": 4})
        write_save(run.path("save", "sav01.bin"), {}, {"miedzyczas_wizyty": 9})
        run.write("game.ini", SETTINGS)
        run.write("lua/zielarka.lua", ZIELARKA)
        run.write("lua/miedzyczas.lua", "\nfunction tick() while true do end end\n" + START_PROBE, "a")
        run.write("lua/skoczek.lua", "\nfunction update() while true do end end\n", "a")
        run.write("lua/soltys.lua", "t = {}\nfunction update()\n"
                  "  while true do t[#t + 1] = string.rep('x', 65536) .. #t end\nend\n")
        run.started(args=["--level", MEADOW])
        for line in RUNAWAY + ["INFO: LuaFuncs.lTest"]:
            self.assertTrue(run.wait_for_line(line, timeout=30), run.output())
        self.assertEqual(run.quit(), 0, run.output())
        out = run.output()
        self.assertIn("E2E start 980 70 100\n", out)
        self.assertIn('FAIL: GameSettings.load: game.ini:7: bad value for player_hp: "lots"', out)
        self.assertIn("INFO: GameSettings.load: read game.ini", out)
        self.assertIn(loaded(MEADOW), out)
        self.assertNotIn("Sprite.load", out)
        self.assertEqual(out.count("przekroczony limit"), 3, out)
        self.assertEqual(out.count("INFO: LuaFuncs.lTest"), 1)
        self.assertNotIn("FAIL: LuaFuncs", out)
        strs, vals = run.save("slots/one.bin")
        self.assertEqual(vals.get("miedzyczas_wizyty"), 5, vals)  # counts on from the save
        # Every listed character wrote its line when the level was unloaded, stopped scripts too.
        for name in ("soltys", "zielarka", "skoczek"):
            words = strs.get(f"{MEADOW}_{name}", "").split(" ")
            self.assertEqual((len(words), words[0], words[11][-4:]), (12, "1", ".lua"), words)
        zielarka = strs[f"{MEADOW}_zielarka"].split(" ")
        self.assertEqual((zielarka[4], zielarka[7]), ("500", "42"), zielarka)
        self.assertEqual(run.save()[1], {"miedzyczas_wizyty": 9})  # the old save is left alone

    def test_live_reload(self):
        # A script and a dialog line changed while the game runs reload the level with the new
        # behaviour and the player where it was; a broken script keeps the running level and says why.
        run = self.run_
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

