"""`tervalo --check`: the demo passes silently; each broken copy of it is
reported with the right path and line, and nothing else."""
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import GameRun

CRS = os.environ.get("TERVALO_CRS") or os.path.join(os.path.dirname(__file__), "../../build/crs")
LEVEL = "data/lvl/miedzyczas.crs"


def line_of(path, text):
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            if text in line:
                return n
    raise AssertionError(f"{text!r} not in {path}")


def replace(path, old, new):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    assert old in text, (path, old)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text.replace(old, new, 1))


def append(path, text):
    with open(path, "a", encoding="utf-8") as f:
        f.write(text)


class Game:
    """A copy of the built demo to break."""

    def __init__(self, run):
        self.run = run
        self.dir = run.dir

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def repack(self, archive, edit):
        """Extracts `archive`, lets `edit(folder)` change its files, packs it
        again with the crs tool."""
        work = tempfile.mkdtemp(prefix="tervalo-check-")
        try:
            subprocess.run([CRS, "extract", self.path(archive), "-C", work], check=True,
                           stdout=subprocess.DEVNULL)
            result = edit(work)
            os.remove(self.path(archive))
            subprocess.run([CRS, "pack", "-q", self.path(archive), work], check=True)
            return result
        finally:
            shutil.rmtree(work)

    def check(self):
        proc = subprocess.run([self.path("tervalo"), "--check", self.dir], capture_output=True,
                              text=True, timeout=120, cwd="/")
        return proc.returncode, proc.stdout.splitlines(), proc.stderr


# Each row breaks one thing and returns the lines expected, as (prefix,
# part of the message): the prefix is "PATH:LINE: " or "PATH: ".

def dialog_unknown_command(g):
    f = g.path("npc", "soltys")
    replace(f, "12 1=strnl ", "12 1=strnlx ")
    return [(f"npc/soltys:{line_of(f, '12 1=strnlx')}: ", 'unknown dialog command "strnlx"')]


def goto_missing_level(g):
    f = g.path("npc", "soltys")
    append(f, "40 0=goto data/lvl/nowhere.crs:lvl 100 200 0 1\n")
    return [(f"npc/soltys:{line_of(f, '40 0=goto')}: ", "no level data/lvl/nowhere.crs:lvl")]


def dialog_wrong_words(g):
    f = g.path("npc", "soltys")
    append(f, "40 0=if val soltys_pomoc one 32 34\n40 1=wyb 77 Dokad?\n40 2=pic 1 2 3\n")
    return [(f"npc/soltys:{line_of(f, '40 0=if')}: ", 'N "one" is not a whole number'),
            (f"npc/soltys:{line_of(f, '40 1=wyb')}: ", "block 77 does not exist"),
            (f"npc/soltys:{line_of(f, '40 2=pic')}: ", 'expected "pic ID X Y SPRITE LIFE"')]


def frame_missing_blocks(g):
    def edit(d):
        p = os.path.join(d, "lvl.txt")
        with open(p, encoding="utf-8") as f:
            first = next(l for l in f if l.startswith("frame "))
        replace(p, first, "frame gone " + first.split(" ", 2)[2])
        return line_of(p, "frame gone ")
    n = g.repack(LEVEL, edit)
    return [(f"{LEVEL}:lvl.txt:{n}: ", f"no block file {LEVEL}:gone.bin")]


def level_bad_lines(g):
    def edit(d):
        append(os.path.join(d, "lvl.txt"), "obj 1 10 10 0\nfram m00 a b 0 0\n")
        p = os.path.join(d, "lvl.txt")
        return line_of(p, "obj 1 10 10 0"), line_of(p, "fram m00")
    a, b = g.repack(LEVEL, edit)
    return [(f"{LEVEL}:lvl.txt:{a}: ", "obj needs at least 6 words"),
            (f"{LEVEL}:lvl.txt:{b}: ", 'unknown command "fram"')]


def lua_syntax_error(g):
    with open(g.path("lua", "broken.lua"), "w") as f:
        f.write("function tick()\n  local x = = 1\nend\n")
    return [("lua/broken.lua:2: ", "Lua syntax error: unexpected symbol near '='")]


def truncated_archive(g):
    p = g.path("data", "wep.crs")
    size = os.path.getsize(p)
    with open(p, "r+b") as f:
        f.truncate(size - 40)
    # The last entry (proca.txt, 40 bytes or more) now reaches past the end.
    return [("data/wep.crs:proca.txt: ", "damaged entry")]


def image_does_not_decode(g):
    def edit(d):
        with open(os.path.join(d, "krew01.png"), "r+b") as f:
            f.seek(40)
            f.write(b"\xff" * 16)
    g.repack("data/gfx.crs", edit)
    return [("data/gfx.crs:krew01.png: ", "the image does not decode")]


def animation_outside_image(g):
    def edit(d):
        p = os.path.join(d, "proca.txt")
        append(p, "2 0 0 12 12 6 10\nanim 0 0\n")
        return line_of(p, "2 0 0 12 12 6 10"), line_of(p, "anim 0 0")
    a, b = g.repack("data/wep.crs", edit)
    return [(f"data/wep.crs:proca.txt:{a}: ", "reaches outside the 12x12 image"),
            (f"data/wep.crs:proca.txt:{b}: ", "anim needs at least 6 words")]


def character_files(g):
    append(g.path("npc", "list.ini"), "4=nobody\n")
    f = g.path("npc", "zielarka")
    replace(f, "miedzyczas.crs:npc_b 0", "miedzyczas.crs:npc_q 0")
    return [(f"npc/list.ini:{line_of(g.path('npc', 'list.ini'), '4=nobody')}: ",
             "no character file npc/nobody"),
            (f"npc/zielarka:{line_of(f, 'npc_q')}: ",
             "no sprite data/lvl/miedzyczas.crs:npc_q")]


def weapons_controls_shaders(g):
    append(g.path("data", "weapons"), "luk data/wep.crs:luk lua/proca.lua\n")
    with open(g.path("controls.bin"), "r+b") as f:
        f.truncate(10)
    def edit(d):
        replace(os.path.join(d, "post.glsl"), "float grey =", "float grey = nothing +")
        return line_of(os.path.join(d, "post.glsl"), "float grey = nothing")
    n = g.repack("data/shaders.crs", edit)
    with open(g.path("lua", "probe.lua"), "w") as f:
        f.write('setCamShaderPost("data/shaders.crs:post.glsl:sepia")\n'
                'setCamShaderFrag("data/shaders.crs:world.glsl:nothere")\n')
    return [(f"data/weapons:{line_of(g.path('data', 'weapons'), 'luk ')}: ",
             "a weapon line needs 5 words"),
            ("controls.bin: ", "cannot be read"),
            (f"data/shaders.crs:post.glsl:{n}: ", "fragment program sepia: 'nothing'"),
            ("lua/probe.lua:2: ", "has no function void nothere()")]


def settings_values(g):
    with open(g.path("game.ini"), "w") as f:
        f.write("[game]\nplayer_x = far\nlevel = data/lvl/nowhere.crs:lvl\n"
                "player_sprite = data/gfx.crs:hero\n")
    return [("game.ini:2: ", 'bad value for player_x: "far"'),
            ("game.ini:3: ", "the first level: no level data/lvl/nowhere.crs:lvl"),
            ("game.ini:4: ", "the player's sprite: no sprite data/gfx.crs:hero")]


ROWS = [dialog_unknown_command, goto_missing_level, dialog_wrong_words, frame_missing_blocks,
        level_bad_lines, lua_syntax_error, truncated_archive, image_does_not_decode,
        animation_outside_image, character_files, weapons_controls_shaders, settings_values]


class CheckTest(unittest.TestCase):
    def setUp(self):
        self.run_ = GameRun().prepare()
        self.addCleanup(self.run_.cleanup)

    def test_demo_passes_silently(self):
        code, lines, err = Game(self.run_).check()
        self.assertEqual((code, lines, err), (0, [], ""))

    def test_each_broken_game_is_reported_at_its_line(self):
        pristine = tempfile.mkdtemp(prefix="tervalo-check-orig-")
        self.addCleanup(shutil.rmtree, pristine)
        shutil.rmtree(pristine)
        shutil.copytree(self.run_.dir, pristine)
        for row in ROWS:
            with self.subTest(row.__name__):
                shutil.rmtree(self.run_.dir)
                shutil.copytree(pristine, self.run_.dir)
                g = Game(self.run_)
                expected = row(g)
                code, lines, err = g.check()
                self.assertEqual(code, 1, lines)
                self.assertEqual(len(lines), len(expected), "\n".join(lines))
                for prefix, part in expected:
                    self.assertTrue(any(l.startswith(prefix) and part in l[len(prefix):]
                                        for l in lines), f"{prefix}...{part}\n" + "\n".join(lines))

    def test_level_option_and_usage(self):
        g = Game(self.run_)
        proc = subprocess.run([g.path("tervalo"), "--check", "--level", "data/lvl/x.crs:lvl", g.dir],
                              capture_output=True, text=True, timeout=60)
        self.assertEqual(proc.returncode, 1)
        self.assertEqual(proc.stdout, "--level: no level data/lvl/x.crs:lvl (no archive data/lvl/x.crs)\n")
        proc = subprocess.run([g.path("tervalo"), "--chek"], capture_output=True, text=True, timeout=60)
        self.assertEqual(proc.returncode, 2)
        self.assertIn("unknown option --chek", proc.stderr)
        self.assertIn("--check", proc.stderr)


if __name__ == "__main__":
    unittest.main()
