"""The demo's quest played through on the real binary: land, talk to Soltys
and take his offer, hop west to Skoczek and follow him down the well (the
vision turns the picture sepia, the music cross-fades), push the chest
against the ledge and jump up, break the barricade with the slingshot, talk
to Echo and go back up, quit with Left Alt+F4. Checked on the console, on
screenshots, on the save and on the mixed sound (SDL's disk driver). A
second start goes on from the save: Soltys thanks the traveller.

A probe appended to the levels' scripts prints the player's position, so
the walks stop where they should instead of after guessed times."""
import os
import struct
import time
import unittest

from harness import GameRun, Shot, add_probe
from test_level import read_save

MEADOW = "data/lvl/miedzyczas.crs:lvl"
WELL = "data/lvl/studnia.crs:lvl"
PICTURE = (240, 40, 160, 120)  # where Echo's dialog shows the picture of the well


def BRIGHT(r, g, b):
    return r + g + b > 300


def loaded(level):
    return f'OK  : Level.load: Poziom "{level}" wczytany w'


class PlayThrough(unittest.TestCase):
    def setUp(self):
        self.run_ = GameRun(keep=bool(os.environ.get("E2E_KEEP"))).prepare()
        self.shots = os.environ.get("E2E_SHOTS") or self.run_.path("shots")
        os.makedirs(self.shots, exist_ok=True)
        add_probe(self.run_)

    def tearDown(self):
        self.run_.cleanup()

    def shot(self, name):
        return Shot(self.run_.screenshot(os.path.join(self.shots, name + ".png")))

    def test_quest_and_its_continuation(self):
        run = self.run_
        audio = run.path("audio.raw")
        run.start(env={"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": audio,
                       "SDL_DISKAUDIODELAY": "20"})
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        time.sleep(1.5)  # the fade-in; the traveller drops onto the meadow

        # The meadow in daylight: blue sky above, colours (no vision).
        meadow = self.shot("01-meadow")
        self.assertGreater(meadow.fraction((0, 0, 640, 120), lambda r, g, b: b > r + 40), 0.5)
        self.assertFalse(meadow.sepia())

        # Soltys: two pages, the choice (help), his thanks.
        run.talk(tries=10, slot1=True)
        talk = self.shot("02-soltys")
        self.assertTrue(talk.dialog_box(), "the text box shows")
        run.page_to_choice()
        self.shot("03-soltys-choice")
        run.key("Return")  # choose "Pomoge, jasne."
        time.sleep(0.8)
        run.key("Return")
        time.sleep(0.5)

        # West over the pond and the ruins (hopping) to Skoczek's hut.
        run.walk_to(440, "Left", jump=True, timeout=25)
        time.sleep(0.6)
        run.talk(tries=8, step="Left")
        time.sleep(3.6)  # his story with its pauses; a floating "la la laaa"
        self.shot("04-skoczek")
        run.page_to_choice()
        run.key("Return")  # "Tak, prowadz."
        self.assertTrue(run.wait_for_line(loaded(WELL), timeout=15), run.output())
        # The cave, seen as an old photograph once the vision has faded in
        # (slow frames on a busy machine make that take longer).
        deadline = time.time() + 15
        cave = self.shot("05-well-vision")
        while not cave.sepia() and time.time() < deadline:
            time.sleep(0.5)
            cave = self.shot("05-well-vision")
        self.assertTrue(cave.sepia(), "the post program tints the picture")

        # The chest goes against the ledge; up onto it, then onto the ledge.
        run.push_until(lambda x, y: x >= 500, "Right", timeout=12)
        run.hold("Right", 0.6)
        run.xdotool("keydown", "Right")
        for _ in range(2):
            run.key("Up", hold_ms=200)
            time.sleep(0.9)
        run.xdotool("keyup", "Right")
        x, y = run.position()
        self.assertLessEqual(y, 288, f"on the ledge ({x}, {y})")
        if x > 630:  # far enough from the barricade to see a stone fly
            run.walk_to(615, "Left")
        run.face_right()  # towards the barricade again
        x, y = run.position()
        self.assertGreater(x, 584, "still on the ledge")

        # Stones break the barricade (at level x 772..796, 64 high);
        # the first one is seen in flight, right of the hand.
        wood = (784 - x + 320 - 12, 176, 24, 64)
        before = self.shot("06-before-shooting")
        run.key("z", hold_ms=80)
        # A few pictures while it flies (half a second to the barricade).
        path = (344, 190, min(96, wood[0] - 344), 45)
        flight = max((self.shot("07-stone-in-flight-%d" % i) for i in range(4)),
                     key=lambda shot: shot.changed(before, path))
        self.assertGreaterEqual(flight.changed(before, path), 4, "a stone flies right of the hand")
        time.sleep(0.7)
        run.key("z", hold_ms=80)
        time.sleep(0.3)
        self.shot("08-barricade-splinters")
        for _ in range(5):  # three hits break it; a stone may fly past
            time.sleep(0.5)
            if run.probe(4) == 1:  # the save key zapora_zbita
                break
            run.key("z", hold_ms=80)
        time.sleep(1.5)
        broken = self.shot("09-barricade-gone")
        lit = lambda r, g, b: r + g + b > 150  # wood, not the dark cave
        self.assertGreater(before.fraction(wood, lit, step=1), 0.4, "the barricade stood")
        self.assertLess(broken.fraction(wood, lit, step=1), 0.05, "the barricade is gone")

        # On to Echo behind it; her picture and the end of the vision.
        run.walk_to(1030, "Right", timeout=10)
        before = self.shot("10-before-echo").fraction(PICTURE, BRIGHT)
        run.talk(tries=8, slot1=True)
        time.sleep(0.8)
        echo = self.shot("11-echo")
        self.assertGreater(echo.fraction(PICTURE, BRIGHT), before + 0.02, "the picture of the well")
        run.page_to_choice(pause=1.0)  # the vision ends with a fade, then the choice
        run.key("Return")   # "Wracam na gore."
        self.assertTrue(run.wait_for(lambda out: out.count(loaded(MEADOW)) == 2, timeout=15),
                        "\n".join(run.lines()[-40:]))
        time.sleep(2.5)
        back = self.shot("12-back-in-the-village")
        self.assertFalse(back.sepia(), "the vision is over")
        self.assertEqual(run.quit(), 0, run.output())

        out = run.output()
        self.assertNotIn("FAIL: Sound", out)
        self.assertNotIn("FAIL: Lua", out)
        _, vals = read_save(run.path("save", "sav01.bin"))
        for key, want in (("soltys_pomoc", 1), ("skoczek_studnia", 1), ("zapora_zbita", 1),
                          ("studnia_glos", 1), ("wizja", 0)):
            self.assertEqual(vals.get(key), want, key)

        # The mixed output: silence while loading, sound once the music runs.
        with open(audio, "rb") as f:
            raw = f.read()
        samples = struct.unpack("<%dh" % (len(raw) // 2), raw)
        self.assertGreater(len(samples), 44100 * 2 * 5)
        self.assertEqual(max(map(abs, samples[:2048])), 0, "silence before the first sound")
        second = samples[44100 * 2 * 3: 44100 * 2 * 4]
        self.assertGreater(max(map(abs, second)), 1000, "sound after")

        # Again from the save: Soltys's third talk shows the quiet well.
        run.start()
        self.assertTrue(run.wait_for_line("INFO: Wystartowano w"), run.output())
        time.sleep(1.5)
        run.talk(tries=10, slot1=True)
        time.sleep(0.8)
        thanks = self.shot("13-soltys-thanks")
        self.assertGreater(thanks.fraction((250, 75, 140, 95), lambda r, g, b: r + g + b < 150), 0.3,
                           "the dark picture of the quiet well over the sky")
        self.assertTrue(thanks.dialog_box())
        self.assertEqual(run.quit(), 0, run.output())
        _, vals = read_save(run.path("save", "sav01.bin"))
        self.assertEqual(vals.get("soltys_rozmowy"), 2)


if __name__ == "__main__":
    unittest.main()
