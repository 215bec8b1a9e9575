"""The real binary on the demo level: loading it, its level and character
scripts, the state the characters save, and a missing first level."""
import os
import re
import struct
import unittest

from harness import GameRun

LEVEL = "data/lvl/miedzyczas.crs:lvl"
LOADED = f'OK  : Level.load: Poziom "{LEVEL}" wczytany w'


def read_save(path):
    """The save file's string and integer tables as two dicts."""
    with open(path, "rb") as f:
        data = f.read()
    pos = 0

    def u32():
        nonlocal pos
        (v,) = struct.unpack_from("<I", data, pos)
        pos += 4
        return v

    def text():
        nonlocal pos
        n = u32()
        s = data[pos:pos + n].decode("latin-1")
        pos += n
        return s

    strs = {}
    for _ in range(u32()):
        key = text()
        strs[key] = text()
    vals = {}
    for _ in range(u32()):
        key = text()
        vals[key] = struct.unpack("<i", struct.pack("<I", u32()))[0]
    return strs, vals


class LevelTest(unittest.TestCase):
    def setUp(self):
        self.run_ = GameRun().prepare()

    def tearDown(self):
        self.run_.cleanup()

    def test_demo_level_loads_and_its_state_is_saved(self):
        run = self.run_
        run.start()
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        self.assertRegex(run.output(), re.escape(LOADED) + r" \d+ms\n")
        self.assertEqual(run.quit(), 0, run.output())
        # The level is loaded before the start-up line, once.
        out = run.output()
        self.assertLess(out.index(LOADED), out.index("INFO: Wystartowano w"))
        self.assertEqual(out.count(LOADED), 1)

        strs, vals = read_save(run.path("save", "sav01.bin"))
        # The level file's "script" and "call" lines ran.
        self.assertEqual(vals.get("miedzyczas_wizyty"), 1, vals)
        # Every listed character wrote its line when the level was unloaded.
        for name in ("soltys", "zielarka", "skoczek"):
            line = strs.get(f"{LEVEL}_{name}", "")
            words = line.split(" ")
            self.assertEqual(len(words), 12, line)
            self.assertEqual(words[0], "1", line)
            self.assertTrue(words[11].endswith(".lua"), line)

        # The second visit counts on and starts from the saved state.
        run.start()
        self.assertTrue(run.wait_for_line(LOADED), run.output())
        self.assertEqual(run.quit(), 0, run.output())
        _, vals = read_save(run.path("save", "sav01.bin"))
        self.assertEqual(vals.get("miedzyczas_wizyty"), 2, vals)

    def test_character_script_runs_every_tick(self):
        run = self.run_
        # The village head gets a script of ours: after 30 ticks it moves
        # itself and says so through the API.
        with open(run.path("lua", "soltys.lua"), "w") as f:
            f.write("ticks = 0\n"
                    "function update()\n"
                    "  ticks = ticks + 1\n"
                    "  if ticks == 30 then setX(500) setNpcHp(getId(), 42) test() end\n"
                    "end\n")
        run.start()
        self.assertTrue(run.wait_for_line("INFO: LuaFuncs.lTest", timeout=30), run.output())
        self.assertEqual(run.quit(), 0, run.output())
        self.assertEqual(run.output().count("INFO: LuaFuncs.lTest"), 1)
        self.assertNotIn("FAIL: LuaFuncs", run.output())
        strs, _ = read_save(run.path("save", "sav01.bin"))
        words = strs[f"{LEVEL}_soltys"].split(" ")
        self.assertEqual(words[4], "500", words)
        self.assertEqual(words[7], "42", words)

    def test_runaway_scripts_are_stopped_and_the_game_quits(self):
        run = self.run_
        # The level's periodic function and one character's update never
        # return; another character allocates without end.
        with open(run.path("lua", "miedzyczas.lua"), "a") as f:
            f.write("\nfunction tick() while true do end end\n")
        with open(run.path("lua", "skoczek.lua"), "a") as f:
            f.write("\nfunction update() while true do end end\n")
        with open(run.path("lua", "soltys.lua"), "w") as f:
            f.write("t = {}\nfunction update() while true do t[#t + 1] = string.rep('x', 65536) .. #t end end\n"
                    "ticks = 0\n")
        with open(run.path("game.ini"), "a") as f:
            f.write("\n[game]\nscript_budget_ms = 100\nscript_memory_mb = 8\n")
        run.start()
        for line in ("FAIL: Lua.update: Error: Skrypt data/lvl/miedzyczas.crs:lvl, funkcja tick: "
                     "przekroczony limit czasu (100 ms)",
                     "FAIL: Lua.update: Error: Skrypt lua/skoczek.lua, funkcja update: "
                     "przekroczony limit czasu (100 ms)",
                     "FAIL: Lua.update: Error: Skrypt lua/soltys.lua, funkcja update: "
                     "przekroczony limit pamieci (8 MiB)"):
            self.assertTrue(run.wait_for_line(line, timeout=30), run.output())
        # The window still answers: the shortcut quits and the save is written.
        self.assertEqual(run.quit(), 0, run.output())
        out = run.output()
        self.assertEqual(out.count("przekroczony limit"), 3, out)
        strs, _ = read_save(run.path("save", "sav01.bin"))
        self.assertIn(f"{LEVEL}_skoczek", strs)

    def test_missing_first_level_exits_200(self):
        run = self.run_
        os.remove(run.path("data", "lvl", "miedzyczas.crs"))
        self.assertEqual(run.run_to_exit(), 200, run.output())
        out = run.output()
        self.assertIn("FAIL: Level.load: Nie udalo sie wczytac informacji o poziomie\n", out)
        self.assertNotIn("INFO: Wystartowano w", out)
        self.assertNotIn("INFO: Zatrzymano", out)
        self.assertFalse(os.path.exists(run.path("save", "sav01.bin")))


if __name__ == "__main__":
    unittest.main()
