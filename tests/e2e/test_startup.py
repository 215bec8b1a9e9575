"""The real binary: start-up failures, the shortcut that ends it, the save."""
import os
import subprocess
import time
import unittest

from harness import GameRun


class StartupTest(unittest.TestCase):
    def setUp(self):
        self.run_ = GameRun().prepare()

    def tearDown(self):
        self.run_.cleanup()

    def test_without_opengl_window_exits_100(self):
        # The dummy video driver has no OpenGL: the screen cannot be opened.
        run = self.run_
        run.start(env={"SDL_VIDEODRIVER": "dummy"}, xvfb=False, wait_window=False)
        self.assertEqual(run.wait(30), 100, run.output())
        lines = run.lines()
        self.assertEqual(lines[0], "INFO: Start")
        self.assertTrue(lines[1].startswith("INFO: Build: "), lines)
        self.assertTrue(any(l.startswith("FAIL: init: ") for l in lines), lines)
        self.assertNotIn("INFO: Zatrzymano", run.output())
        # An early exit never writes the save.
        self.assertFalse(os.path.exists(run.path("save", "sav01.bin")))

    def test_alt_f4_ends_with_0_and_saves(self):
        run = self.run_
        run.start()
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        self.assertEqual(run.quit(), 0, run.output())
        out = run.output()
        self.assertIn("FAIL: main: Nie udalo sie wczytac zapisu", out)
        self.assertIn("-" * 79 + "\n", out)
        self.assertRegex(out, r"INFO: Zatrzymano \(\d+\.\d\ds\)\n")
        self.assertTrue(os.path.exists(run.path("save", "sav01.bin")))

    def test_without_sound_device_exits_101(self):
        run = self.run_
        self.assertEqual(run.run_to_exit(env={"SDL_AUDIODRIVER": "nonexistent"}), 101,
                         run.output())
        self.assertIn("FAIL: Sound.", run.output())
        self.assertNotIn("INFO: Zatrzymano", run.output())
        self.assertFalse(os.path.exists(run.path("save", "sav01.bin")))

    def test_missing_dialog_sprites_exit_102(self):
        run = self.run_
        os.remove(run.path("data", "gfx.crs"))
        self.assertEqual(run.run_to_exit(), 102, run.output())
        self.assertIn("FAIL: main: Nie udalo sie uruchomic dialogow\n", run.output())
        self.assertNotIn("INFO: Zatrzymano", run.output())
        self.assertFalse(os.path.exists(run.path("save", "sav01.bin")))

    def test_first_frames_show_the_title_and_the_debug_texts(self):
        run = self.run_
        run.start()
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        # The loading picture is plain black; once the loop runs, the level,
        # the fade and the texts give a picture of many colours.
        colours = 0
        for _ in range(50):
            shot = run.screenshot(run.path("start.png"))
            r = subprocess.run(["convert", shot, "-format", "%k", "info:"],
                               capture_output=True, text=True, check=True)
            colours = int(r.stdout.strip())
            if colours > 50:
                break
            time.sleep(0.1)
        self.assertGreater(colours, 50, "too few colours on screen")
        self.assertEqual(run.quit(), 0, run.output())
        lines = run.lines()
        start = lines.index("INFO: Start")
        self.assertLess(start, lines.index("-" * 79))

    def test_left_alt_with_other_key_does_nothing(self):
        run = self.run_
        run.start()
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        run.key("Alt_L", "F5")
        run.key("Alt_L", "a")
        self.assertIsNone(run.wait(1.0), "the game ended on Left Alt + another key")
        self.assertEqual(run.quit(), 0, run.output())


if __name__ == "__main__":
    unittest.main()
