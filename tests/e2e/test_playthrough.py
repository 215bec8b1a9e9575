"""The demo's quest (game_driver.quest) on screenshots, console, save and mixed sound (SDL's disk driver),
after a start without game.ini or a save. E2E_SHOTS=DIR keeps the screenshots, E2E_KEEP=1 the folder."""
import os
import re
import struct
import unittest

from game_driver import MEADOW, START_PROBE, STARTED, GameRun, add_probe, loaded, quest, shooter


class PlayThrough(unittest.TestCase):
    def test_quest(self):
        run = GameRun(keep=bool(os.environ.get("E2E_KEEP"))).prepare()
        self.addCleanup(run.cleanup)
        add_probe(run)
        run.write("lua/miedzyczas.lua", START_PROBE, "a")
        shot = shooter(run, os.environ.get("E2E_SHOTS") or run.path("shots"))

        def expect(ok, what):
            self.assertTrue(ok, what + "\n" + "\n".join(run.lines()[-40:]))

        audio = run.path("audio.raw")
        run.start(env={"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": audio, "SDL_DISKAUDIODELAY": "20"})
        quest(run, shot, expect)
        run.key("Alt_L", "F5")
        run.key("Alt_L", "a")
        self.assertIsNone(run.wait(1.0), "the game ended on Left Alt + another key")
        self.assertEqual(run.quit(), 0, run.output())
        out = run.output()
        for part in ("FAIL: Sound", "FAIL: Lua", "FAIL: Dialog", "GameSettings"):
            self.assertNotIn(part, out)
        self.assertIn("E2E start 960 96 100\n", out)  # without game.ini: the defaults
        self.assertRegex(out, re.escape(loaded(MEADOW)) + r" \d+ms\n")
        self.assertLess(out.index(loaded(MEADOW)), out.index(STARTED))
        self.assertIn("FAIL: main: Nie udalo sie wczytac zapisu", out)
        self.assertLess(out.index("INFO: Start"), out.index("-" * 79 + "\n"))
        self.assertRegex(out, r"INFO: Zatrzymano \(\d+\.\d\ds\)\n")
        want = {"soltys_pomoc": 1, "skoczek_studnia": 1, "zapora_zbita": 1, "studnia_glos": 1, "wizja": 0}
        self.assertEqual({key: run.save()[1].get(key) for key in want}, want)

        # The mixed output: silence while loading, sound once the music runs.
        with open(audio, "rb") as f:
            raw = f.read()
        samples = struct.unpack("<%dh" % (len(raw) // 2), raw)
        self.assertGreater(len(samples), 44100 * 2 * 5)
        self.assertEqual(max(map(abs, samples[:2048])), 0, "silence before the first sound")
        self.assertGreater(max(map(abs, samples[44100 * 2 * 3: 44100 * 2 * 4])), 1000, "sound after")

