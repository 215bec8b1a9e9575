"""`tervalo --check`: the demo passes silently; each broken copy of it is
reported with the right path and line, and nothing else."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from game_driver import GameRun

CRS = os.environ.get("TERVALO_CRS") or os.path.join(os.path.dirname(__file__), "../../build/crs")
LEVEL = "data/lvl/miedzyczas.crs"


def line_of(path, text):
    with open(path, encoding="utf-8") as f:
        return next(n for n, line in enumerate(f, 1) if text in line)


def cut(n):
    return lambda path: os.truncate(path, os.path.getsize(path) - n)


def spoil(at, n):
    def change(path):
        with open(path, "r+b") as f:
            f.seek(at)
            f.write(b"\xff" * n)
    return change


L, W = LEVEL + ":lvl.txt", "data/wep.crs:proca.txt"
# Each row: the changes to a copy of the demo, then the lines expected. A
# change is (file, regex, replacement), (file, None, appended text) or (file,
# function of its path); "ARCHIVE:ENTRY" names a file in an archive. A line
# expected is (file, text on the line or None, part of the message): it
# starts "FILE:LINE: " or "FILE: ".
ROWS = {
    "dialog commands": (
        [("npc/soltys", "12 1=strnl ", "12 1=strnlx "),
         ("npc/soltys", None, "40 0=goto data/lvl/nowhere.crs:lvl 100 200 0 1\n"
          "41 0=if val soltys_pomoc one 32 34\n41 1=wyb 77 Dokad?\n41 2=pic 1 2 3\n")],
        [("npc/soltys", "12 1=strnlx", 'unknown dialog command "strnlx"'),
         ("npc/soltys", "40 0=goto", "no level data/lvl/nowhere.crs:lvl"),
         ("npc/soltys", "41 0=if", 'N "one" is not a whole number'),
         ("npc/soltys", "41 1=wyb", "block 77 does not exist"),
         ("npc/soltys", "41 2=pic", 'expected "pic ID X Y SPRITE LIFE"')]),
    "level lines": (
        [(L, r"^frame \S+", "frame gone"), (L, None, "obj 1 10 10 0\nfram m00 a b 0 0\n")],
        [(L, "frame gone ", f"no block file {LEVEL}:gone.bin"), (L, "obj 1 10 10 0", "obj needs at least 6 words"),
         (L, "fram m00", 'unknown command "fram"')]),
    "Lua syntax": (
        [("lua/broken.lua", None, "function tick()\n  local x = = 1\nend\n")],
        [("lua/broken.lua", "= = 1", "Lua syntax error: unexpected symbol near '='")]),
    # The last entry (proca.txt, 40 bytes or more) reaches past the end.
    "damaged archives": (
        [("data/wep.crs", cut(40)), ("data/gfx.crs:krew01.png", spoil(40, 16))],
        [(W, None, "damaged entry"), ("data/gfx.crs:krew01.png", None, "the image does not decode")]),
    "animation outside the image": (
        [(W, None, "2 0 0 12 12 6 10\nanim 0 0\n")],
        [(W, "2 0 0 12 12 6 10", "reaches outside the 12x12 image"), (W, "anim 0 0", "anim needs at least 6 words")]),
    "character files": (
        [("npc/list.ini", None, "4=nobody\n5\x01\x00=x\n"), ("npc/zielarka", "miedzyczas.crs:npc_b 0", "miedzyczas.crs:npc_q 0")],
        [("npc/list.ini", "4=nobody", "no character file npc/nobody"),
         ("npc/list.ini", "5\x01", '"5\\x01\\x00" is not a character id from 1 to 99; the line is not read'),
         ("npc/zielarka", "npc_q", "no sprite data/lvl/miedzyczas.crs:npc_q")]),
    "weapons, controls and shaders": (
        [("data/weapons", None, "luk data/wep.crs:luk lua/proca.lua\n"),
         ("controls.bin", lambda path: os.truncate(path, 10)),
         ("data/shaders.crs:post.glsl", "float grey =", "float grey = nothing +"),
         ("lua/probe.lua", None, 'setCamShaderPost("data/shaders.crs:post.glsl:sepia")\n'
          'setCamShaderFrag("data/shaders.crs:world.glsl:nothere")\n')],
        [("data/weapons", "luk ", "a weapon line needs 5 words"), ("controls.bin", None, "cannot be read"),
         ("data/shaders.crs:post.glsl", "grey = nothing", "fragment program sepia: 'nothing'"),
         ("lua/probe.lua", "nothere", "has no function void nothere()")]),
    "game.ini values": (
        [("game.ini", None, "[game]\nplayer_x = far\nlevel = data/lvl/nowhere.crs:lvl\n"
          "player_sprite = data/gfx.crs:hero\n")],
        [("game.ini", "player_x", 'bad value for player_x: "far"'),
         ("game.ini", "level", "the first level: no level data/lvl/nowhere.crs:lvl"),
         ("game.ini", "player_sprite", "the player's sprite: no sprite data/gfx.crs:hero")]),
}


def apply(run, changes, expected):
    """Makes the changes (archives are extracted and packed again with the crs
    tool); returns the expected lines as (prefix, part of the message)."""
    extracted = {}

    def local(name):
        archive, _, entry = name.partition(":")
        if entry and archive not in extracted:
            extracted[archive] = tempfile.mkdtemp(prefix="tervalo-check-")
            subprocess.run([CRS, "extract", run.path(archive), "-C", extracted[archive]], check=True,
                           stdout=subprocess.DEVNULL)
        return os.path.join(extracted[archive], entry) if entry else run.path(name)

    for name, *change in changes:
        path = local(name)
        if len(change) == 1:
            change[0](path)
            continue
        text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
        new = text + change[1] if change[0] is None else re.sub(change[0], change[1], text, 1, re.M)
        assert new != text, (name, change)
        with open(path, "w", encoding="utf-8") as f:
            f.write(new)
    lines = [(f"{name}:{line_of(local(name), marker)}: " if marker else f"{name}: ", part)
             for name, marker, part in expected]
    for archive, folder in extracted.items():
        os.remove(run.path(archive))
        subprocess.run([CRS, "pack", "-q", run.path(archive), folder], check=True)
        shutil.rmtree(folder)
    return lines


def check(run, *args):
    proc = subprocess.run([run.path("tervalo"), "--check", *args], capture_output=True, text=True,
                          timeout=120, cwd="/")
    return proc.returncode, proc.stdout.splitlines(), proc.stderr


class CheckTest(unittest.TestCase):
    def test_demo_passes_and_each_broken_copy_is_reported_at_its_line(self):
        run = GameRun().prepare()
        self.addCleanup(run.cleanup)
        self.assertEqual(check(run, run.dir), (0, [], ""))
        # --level names a level that is not there; a wrong option prints the usage.
        self.assertEqual(check(run, "--level", "data/lvl/x.crs:lvl", run.dir)[:2],
                         (1, ["--level: no level data/lvl/x.crs:lvl (no archive data/lvl/x.crs)"]))
        proc = subprocess.run([run.path("tervalo"), "--chek"], capture_output=True, text=True, timeout=60)
        self.assertEqual(proc.returncode, 2)
        self.assertIn("unknown option --chek", proc.stderr)
        self.assertIn("--check", proc.stderr)
        for name, (changes, wanted) in ROWS.items():
            with self.subTest(name):
                expected = apply(run.prepare(), changes, wanted)
                code, lines, err = check(run, run.dir)
                self.assertEqual(code, 1, lines)
                self.assertEqual(len(lines), len(expected), "\n".join(lines))
                for prefix, part in expected:
                    self.assertTrue(any(l.startswith(prefix) and part in l[len(prefix):] for l in lines),
                                    f"{prefix}...{part}\n" + "\n".join(lines))
