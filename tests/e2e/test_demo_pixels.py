"""bench/demo_views draws fixed views of the demo as asked and with the drawing that cannot show left
out (quads of opacity 0 or off the screen, an opaque sky drawn without blending): the same pictures to
the pixel, with fewer pixels written."""
import os
import re
import subprocess
import tempfile
import unittest

from game_driver import Xvfb, game_dir


def views(tool, out, reference, display):
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy",
               DEMO_VIEWS_REFERENCE="1" if reference else "0")
    r = subprocess.run([tool, game_dir(), "shots", out], env=env, capture_output=True, text=True,
                       timeout=600)
    assert r.returncode == 0, r.stdout + r.stderr
    return {m.group(1): int(m.group(2)) for m in re.finditer(r"VIEW (\S+) (\d+)", r.stdout)}


class DemoPixelsTest(unittest.TestCase):
    def test_views_identical_with_fewer_pixels_written(self):
        binary = os.environ.get("TERVALO_BIN", os.path.join(game_dir(), "tervalo"))
        tool = os.path.join(os.path.dirname(os.path.dirname(binary)), "bench", "demo_views")
        with Xvfb() as x, tempfile.TemporaryDirectory() as tmp:
            ref = views(tool, os.path.join(tmp, "ref"), True, x.display)
            cut = views(tool, os.path.join(tmp, "cut"), False, x.display)
            self.assertGreaterEqual(len(ref), 5)
            self.assertEqual(sorted(ref), sorted(cut))
            for name in ref:
                with open(os.path.join(tmp, "ref", name + ".png"), "rb") as a, \
                        open(os.path.join(tmp, "cut", name + ".png"), "rb") as b:
                    self.assertEqual(a.read(), b.read(), f"view {name} differs")
            self.assertLess(sum(cut.values()), sum(ref.values()))

