"""The game driver: the real tervalo binary in a copy of a game folder under its own Xvfb server, driven
by xdotool (keys, screenshots, console lines, the save file). `make play` without a display plays the
demo's quest with it (python3 scripts/game_driver.py play GAME_DIR [OUT_DIR]); the soak, the start-up
measurement and the end-to-end tests drive the game through it too."""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

CAPTION = "Tervalo v3"
STARTED = "INFO: Wystartowano w"
MEADOW = "data/lvl/miedzyczas.crs:lvl"
WELL = "data/lvl/studnia.crs:lvl"


def game_dir():
    return os.environ.get("TERVALO_GAME_DIR", os.path.join(os.path.dirname(__file__), "../build/game"))


def loaded(level):
    return f'OK  : Level.load: Poziom "{level}" wczytany w'


def read_save(path):
    """The save file's string and integer tables."""
    with open(path, "rb") as f:
        u32 = lambda fmt="<I": struct.unpack(fmt, f.read(4))[0]
        text = lambda: f.read(u32()).decode("latin-1")
        strs = {text(): text() for _ in range(u32())}
        return strs, {text(): u32("<i") for _ in range(u32())}


def write_save(path, strs, vals):
    blob = lambda t: struct.pack("<I", len(t)) + t.encode("latin-1")
    with open(path, "wb") as f:
        f.write(struct.pack("<I", len(strs)) + b"".join(blob(k) + blob(v) for k, v in strs.items()) +
                struct.pack("<I", len(vals)) + b"".join(blob(k) + struct.pack("<i", v) for k, v in vals.items()))


class Xvfb:
    """One private X server on a display it picks itself (-noreset: SDL 1.2 opens it at the first try)."""

    def start(self):
        for _ in range(5):
            r, w = os.pipe()
            self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten",
                                          "tcp", "-noreset"], pass_fds=(w,), stderr=subprocess.DEVNULL)
            os.close(w)
            with os.fdopen(r) as f:
                number = f.readline().strip()  # empty when the server gave up
            if number:
                self.display = ":" + number
                return self
            self.stop()
        raise RuntimeError("could not start Xvfb")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait()

    __enter__ = start

    def __exit__(self, *exc):
        self.stop()


class GameRun:
    """A copy of a game folder (its files may be changed before a start) and runs of the binary in it."""

    def __init__(self, source=None, binary=None, keep=False):
        self.source = source or game_dir()
        self.binary = binary or os.environ.get("TERVALO_BIN") or os.path.join(self.source, "tervalo")
        self.keep = keep
        self.dir = self.proc = self.xvfb = self.window = self.log_path = self.returncode = None

    def prepare(self):
        """A fresh copy of the game without a save (in the same folder when called again)."""
        if self.dir:
            shutil.rmtree(self.dir)
        self.dir = self.dir or tempfile.mkdtemp(prefix="tervalo-e2e-")
        shutil.copytree(self.source, self.dir, dirs_exist_ok=True,
                        ignore=lambda d, names: ["tervalo", "screenshots", "save"] if d == self.source else [])
        shutil.copy2(self.binary, self.path("tervalo"))
        os.makedirs(self.path("save"))
        return self

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write(self, name, text, mode="w"):
        with open(self.path(name), mode) as f:
            f.write(text)

    def edit(self, name, old, new):
        with open(self.path(name)) as f:
            text = f.read()
        assert old in text, (name, old)
        self.write(name, text.replace(old, new, 1))

    def save(self, name="save/sav01.bin"):
        return read_save(self.path(name))

    def cleanup(self):
        self.stop()
        if self.xvfb:
            self.xvfb.stop()
        if self.dir and not self.keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    def start(self, env=None, wait_window=True, args=()):
        self.xvfb = self.xvfb or Xvfb().start()
        self.env = {**os.environ, "SDL_AUDIODRIVER": os.environ.get("SDL_AUDIODRIVER_E2E", "dummy"),
                    "DISPLAY": self.xvfb.display, **(env or {})}
        self.log_path = self.path("console.log")
        self.log_file = open(self.log_path, "wb")
        self.proc = subprocess.Popen([self.path("tervalo"), *args], cwd=self.dir, env=self.env,
                                     stdout=self.log_file, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        if not wait_window or self.wait_for(lambda _: self._find_window(), timeout=30):
            return self
        raise RuntimeError("game window never appeared:\n" + self.output())

    def started(self, **kw):
        if not self.start(**kw).wait_for_line(STARTED):
            raise AssertionError("the game did not start:\n" + self.output())
        return self

    def _find_window(self):
        ids = subprocess.run(["xdotool", "search", "--name", "^" + CAPTION + "$"], env=self.env,
                             capture_output=True, text=True).stdout.split()
        self.window = ids[0] if ids else None
        return self.window

    def wait_for(self, test, timeout=20):
        """Waits until test(console output) holds or the game has ended."""
        deadline = time.time() + timeout
        while time.time() < deadline and not test(self.output()) and self.proc.poll() is None:
            time.sleep(0.05)
        return test(self.output())

    def wait_for_line(self, text, timeout=20):
        return self.wait_for(lambda out: text in out, timeout)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=False, capture_output=True)

    def focus(self):
        if self.window:
            self.xdotool("windowfocus", "--sync", self.window)

    def key(self, *keys, hold_ms=60):
        """Presses keys together (xdotool names: Alt_L, F4, Return, Print, Shift_R, Right, space...),
        holding them for hold_ms."""
        self.focus()
        for k in keys:
            self.xdotool("keydown", k)
        time.sleep(hold_ms / 1000.0)
        for k in reversed(keys):
            self.xdotool("keyup", k)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", "-crop", "640x480+0+0", path],
                       env=self.env, check=True, capture_output=True)
        return path

    def wait(self, timeout=20):
        try:
            self.returncode = self.proc.wait(timeout)
            self.log_file.close()
        except subprocess.TimeoutExpired:
            self.returncode = None
        return self.returncode

    def quit(self, timeout=20):
        """Left Alt+F4, then the exit code. Alt is held well around F4: the game reads it from the
        keyboard state, and on a slow frame all four key events arrive at once."""
        self.focus()
        for step in (("keydown", "Alt_L"), ("keydown", "F4"), ("keyup", "F4"), ("keyup", "Alt_L")):
            self.xdotool(*step)
            time.sleep(0.25)
        return self.wait(timeout)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
        self.returncode = self.proc.returncode if self.proc else None

    def output(self):
        if not self.log_path or not os.path.exists(self.log_path):
            return ""
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def lines(self):
        return self.output().splitlines()

    # --- walking and talking, led by the probe (see PROBE) ---------------
    def probe(self, field=None):
        """The fields of the last probe line (x, y, dialog mode, x of the character in slot 1, barricade
        broken) or one of them; None before it."""
        for line in reversed(self.lines()):
            if line.startswith("E2E pos "):
                values = [int(v) for v in line.split()[2:]]
                return values if field is None else values[field]
        return None

    def position(self):
        p = self.probe()
        return p and tuple(p[:2])

    def walk_to(self, x, key, jump=False, timeout=15):
        """Holds Left or Right (hopping over steps when `jump`) until the player's x passes `x`."""
        sign = 1 if key == "Right" else -1
        self.focus()
        self.xdotool("keydown", key)
        deadline = time.time() + timeout
        try:
            while time.time() < deadline:
                p = self.position()
                if p and sign * (p[0] - x) >= 0:
                    return p
                if jump:
                    self.xdotool("keydown", "Up")
                    time.sleep(0.12)
                    self.xdotool("keyup", "Up")
                time.sleep(0.05)
        finally:
            self.xdotool("keyup", key)
        raise AssertionError(f"never got there (last position {self.position()})\n" + self.output()[-3000:])

    def face_right(self, tries=4):
        """Steps right until the probe sees the player move: a step shorter than a frame is never seen
        as held, and only a step turns him."""
        for _ in range(tries):
            x0 = self.position()[0]
            self.key("Right", hold_ms=250)
            time.sleep(0.4)
            if self.position()[0] > x0:
                return
        raise AssertionError("the player does not turn right")

    def page_to_choice(self, keys=6, pause=0.6):
        """Pages with Return until the conversation offers a choice (mode 3)."""
        for _ in range(keys):
            if self.probe(2) == 3:
                return
            self.key("Return")
            time.sleep(pause)
        if self.probe(2) != 3:
            raise AssertionError("no choice came up:\n" + self.output()[-2000:])

    def talk(self, tries=4, step="Right", slot1=False):
        """Presses the talk key until a conversation runs, stepping towards `step` between tries (or
        towards the character in slot 1)."""
        for _ in range(tries):
            if slot1:
                x, _, _, nx, _ = self.probe()
                if abs(nx - x) > 36:
                    self.key("Right" if nx > x else "Left", hold_ms=min(600, abs(nx - x) / 0.15))
                    time.sleep(0.2)
                    continue
            self.key("e", hold_ms=80)
            time.sleep(0.5)
            if self.probe(2) not in (0, None):
                return
            if not slot1:
                self.key(step, hold_ms=150)
                time.sleep(0.2)
        raise AssertionError("nobody to talk to at " + str(self.position()))


class Shot:
    """A screenshot's pixels, for checks of what it shows."""

    W, H = 640, 480

    def __init__(self, path):
        # ImageMagick (which took the screenshot) hands over raw RGB bytes.
        self.raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                                  capture_output=True).stdout
        if len(self.raw) != self.W * self.H * 3:
            raise ValueError(f"{path}: not a {self.W}x{self.H} picture")

    def pixels(self, box, step=1):
        """The (r, g, b) of every step-th pixel of box (x, y, w, h)."""
        x0, y0, w, h = box
        for y in range(y0, y0 + h, step):
            for x in range(x0, x0 + w, step):
                i = (y * self.W + x) * 3
                yield tuple(self.raw[i:i + 3])

    def count(self, box, test, step=1):
        return sum(1 for p in self.pixels(box, step) if test(*p))

    def fraction(self, box, test, step=4):
        """Share of the pixels in box (every step-th) passing test(r, g, b)."""
        return self.count(box, test, step) / max(1, len(range(0, box[2], step)) * len(range(0, box[3], step)))

    def sepia(self):
        """Nearly every pixel toned like an old photograph: red over green over blue."""
        return self.fraction((0, 0, 640, 480), lambda r, g, b: r >= g >= b and r > b + 6) > 0.9

    def dialog_box(self):
        """The gold rim of the text box along the bottom of the screen."""
        return self.fraction((60, 369, 520, 6), lambda r, g, b: abs(r - 196) + abs(g - 168) +
                             abs(b - 104) < 60, step=2) > 0.1


# Prints the player's position, the dialog's mode, the x of the character in
# slot 1 and whether the barricade is broken a few times a second.
PROBE = """
local probeTick, probeN = tick, 0
function tick()
  probeTick()
  probeN = probeN + 1
  if probeN % 3 == 0 then
    local x, y = getPlayerPos()
    if x then
      io.write(string.format("E2E pos %d %d %d %d %d\\n", x, y, getDialMode(), getNpcX(1) or -1,
                             dbGetVal("zapora_zbita") or 0))
      io.flush()
    end
  end
end
"""


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


def add_probe(run):
    for script in ("miedzyczas.lua", "studnia.lua"):
        run.write("lua/" + script, PROBE, "a")


def quest(run, shot, expect):
    """The demo's quest on a started run with the probe, from the landing down the well and back up.
    shot(name) returns a new screenshot as a Shot; expect(ok, what) reports a check (a test asserts,
    `make play` warns); walking and talking raise AssertionError when they do not get there."""
    expect(run.wait_for_line(STARTED), "the game starts")
    time.sleep(1.5)  # the fade-in; the traveller drops onto the meadow
    meadow = shot("01-meadow-daylight")
    expect(meadow.fraction((0, 0, 640, 120), lambda r, g, b: b > r + 40) > 0.5, "blue sky over the meadow")
    expect(not meadow.sepia(), "colours before the vision")

    run.talk(tries=10, slot1=True)  # Soltys: two pages, the choice, his thanks
    expect(shot("02-soltys-greeting").dialog_box(), "the text box shows")
    run.page_to_choice()
    shot("03-soltys-choice")
    run.key("Return")  # "Pomoge, jasne."
    time.sleep(0.8)
    run.key("Return")
    time.sleep(0.5)

    run.walk_to(440, "Left", jump=True, timeout=25)  # over the pond and the ruins to Skoczek's hut
    time.sleep(0.6)
    run.talk(tries=8, step="Left")
    time.sleep(3.6)  # his story with its pauses; a floating "la la laaa"
    shot("04-skoczek-floating-text")
    run.page_to_choice()
    run.key("Return")  # "Tak, prowadz."
    expect(run.wait_for_line(loaded(WELL), timeout=15), "down the well")
    # The cave as an old photograph once the vision has faded in (slow
    # frames on a busy machine make that take longer).
    deadline = time.time() + 15
    while not (cave := shot("05-well-sepia-vision")).sepia() and time.time() < deadline:
        time.sleep(0.5)
    expect(cave.sepia(), "the post program tints the picture")

    # The chest goes against the ledge; up onto it, then onto the ledge.
    run.walk_to(500, "Right", timeout=12)
    run.key("Right", hold_ms=600)
    shot("06-chest-pushed-to-ledge")
    run.xdotool("keydown", "Right")
    for _ in range(2):
        run.key("Up", hold_ms=200)
        time.sleep(0.9)
    run.xdotool("keyup", "Right")
    x, y = run.position()
    expect(y <= 288, f"on the ledge ({x}, {y})")
    if x > 630:  # far enough from the barricade to see a stone fly
        run.walk_to(615, "Left")
    run.face_right()  # towards the barricade again
    x, y = run.position()
    expect(x > 584, "still on the ledge")

    # Stones break the barricade (level x 772..796, 64 high; half a second's
    # flight away). How a stone is drawn is the GL tests' business.
    wood = (784 - x + 320 - 12, 176, 24, 64)
    before = shot("07-on-the-ledge")
    run.key("z", hold_ms=80)
    shot("08-stone-in-flight")
    time.sleep(1.0)
    run.key("z", hold_ms=80)
    time.sleep(0.3)
    shot("09-barricade-splinters")
    for _ in range(5):  # three hits break it; a stone may fly past
        time.sleep(0.5)
        if run.probe(4) == 1:
            break
        run.key("z", hold_ms=80)
    time.sleep(1.5)
    lit = lambda r, g, b: r + g + b > 150  # wood, not the dark cave
    expect(before.fraction(wood, lit, step=1) > 0.4, "the barricade stood")
    expect(shot("10-barricade-gone").fraction(wood, lit, step=1) < 0.05, "the barricade is gone")

    # On to Echo behind it: her picture of the well, the end of the vision.
    picture, bright = (240, 40, 160, 120), (lambda r, g, b: r + g + b > 300)
    run.walk_to(1030, "Right", timeout=10)
    before = shot("11-before-echo").fraction(picture, bright)
    run.talk(tries=8, slot1=True)
    time.sleep(0.8)
    expect(shot("12-echo-picture").fraction(picture, bright) > before + 0.02, "the picture of the well")
    run.page_to_choice(pause=1.0)  # the vision ends with a fade, then the choice
    run.key("Return")  # "Wracam na gore."
    expect(run.wait_for(lambda out: out.count(loaded(MEADOW)) == 2, timeout=15), "back up in the village")
    time.sleep(2.5)
    expect(not shot("13-back-in-the-village").sepia(), "the vision is over")


def shooter(run, folder, taken=None):
    """shot(NAME): a screenshot saved as folder/NAME.png (its path added to `taken`), as a Shot."""
    os.makedirs(folder, exist_ok=True)

    def shot(name):
        path = run.screenshot(os.path.join(folder, name + ".png"))
        if taken is not None:
            taken.append(path)
        return Shot(path)
    return shot


def play(game, out_dir):
    """`make play` without a display: the quest with a screenshot at each
    step (named after what it shows) and the console log, in out_dir."""
    run = GameRun(source=game, binary=os.path.join(game, "tervalo")).prepare()
    add_probe(run)
    shots = []
    try:
        run.start()
        try:
            quest(run, shooter(run, out_dir, shots),
                  lambda ok, what: ok or print(f"play: not as it should be: {what}"))
        except (AssertionError, TypeError) as e:
            print(f"play: the session went off its script: {e}".splitlines()[0])
        code = run.quit()
        log = os.path.join(out_dir, "console.log")
        with open(log, "w") as f:
            f.write("".join(l + "\n" for l in run.lines() if not l.startswith("E2E pos")))
        print(f"play: exit code {code}\nplay: console log: {log}")
        for s in dict.fromkeys(shots):
            print(f"play: screenshot: {s}")
        return 0 if code == 0 else 1
    finally:
        run.cleanup()


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "play":
        out = sys.argv[3] if len(sys.argv) > 3 else os.path.join(sys.argv[2], "screenshots")
        sys.exit(play(os.path.abspath(sys.argv[2]), os.path.abspath(out)))
    print("usage: game_driver.py play GAME_DIR [OUT_DIR]", file=sys.stderr)
    sys.exit(2)
