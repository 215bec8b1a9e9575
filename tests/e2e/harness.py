"""End-to-end harness: runs the real tervalo binary in a prepared game
directory under its own Xvfb server, sends keys with xdotool, takes
screenshots and collects console lines, the exit code and written files.

Used by the e2e tests (python3 -m unittest) and by `make play` on a machine
without a display (python3 harness.py play GAME_DIR).
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CAPTION = "Tervalo v3"
SCREEN = "1024x768x24"


def _env_path(name, default=None):
    value = os.environ.get(name, default)
    if value is None:
        raise RuntimeError(f"{name} is not set")
    return value


def game_dir():
    return _env_path("TERVALO_GAME_DIR", os.path.join(os.path.dirname(__file__), "../../build/game"))


class Xvfb:
    """One private X server; picks a free display number itself."""

    def __init__(self):
        self.proc = None
        self.display = None

    def start(self):
        for _ in range(5):
            r, w = os.pipe()
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(w), "-screen", "0", SCREEN, "-nolisten", "tcp",
                 "-noreset"],
                pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(w)
            data = b""
            deadline = time.time() + 15
            while time.time() < deadline and not data.endswith(b"\n"):
                chunk = os.read(r, 16)
                if not chunk:
                    break
                data += chunk
            os.close(r)
            if data.strip():
                self.display = ":" + data.decode().strip()
                return self
            self.stop()
        raise RuntimeError("could not start Xvfb")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        self.proc = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class GameRun:
    """A prepared copy of the game directory and one run of the binary in it.

    prepare() copies the laid-out game (binary, data/, npc/, lua/, save/,
    controls.bin) into a temporary directory; tests may change files there
    before start(). The X server runs with -noreset, so SDL 1.2 opens the
    display at the first attempt.
    """

    def __init__(self, source=None, binary=None, keep=False):
        self.source = source or game_dir()
        self.binary = binary or os.environ.get("TERVALO_BIN") or os.path.join(self.source, "tervalo")
        self.dir = None
        self.keep = keep
        self.proc = None
        self.xvfb = None
        self.window = None
        self.log_path = None
        self.returncode = None

    # --- directory -------------------------------------------------------
    def prepare(self, with_save=False):
        self.dir = tempfile.mkdtemp(prefix="tervalo-e2e-")
        for name in os.listdir(self.source):
            if name in ("tervalo", "screenshots"):
                continue
            src = os.path.join(self.source, name)
            dst = os.path.join(self.dir, name)
            if os.path.isdir(src):
                shutil.copytree(src, dst)
            else:
                shutil.copy2(src, dst)
        shutil.copy2(self.binary, os.path.join(self.dir, "tervalo"))
        os.makedirs(os.path.join(self.dir, "save"), exist_ok=True)
        if not with_save:
            save = os.path.join(self.dir, "save", "sav01.bin")
            if os.path.exists(save):
                os.remove(save)
        return self

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def cleanup(self):
        self.stop()
        if self.xvfb:
            self.xvfb.stop()
        if self.dir and not self.keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    # --- running ---------------------------------------------------------
    def start(self, env=None, xvfb=True, wait_window=True, args=()):
        run_env = dict(os.environ)
        run_env["SDL_AUDIODRIVER"] = run_env.get("SDL_AUDIODRIVER_E2E", "dummy")
        if xvfb:
            if not self.xvfb:
                self.xvfb = Xvfb().start()
            run_env["DISPLAY"] = self.xvfb.display
        else:
            run_env.pop("DISPLAY", None)
        if env:
            run_env.update(env)
        self.env = run_env
        self.log_path = os.path.join(self.dir, "console.log")
        self.log_file = open(self.log_path, "wb")
        self.proc = subprocess.Popen([os.path.join(self.dir, "tervalo"), *args], cwd=self.dir,
                                     env=run_env, stdout=self.log_file,
                                     stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        if not wait_window or self._wait_for_window(timeout=30):
            return self
        raise RuntimeError("game window never appeared:\n" + self.output())

    def run_to_exit(self, env=None, timeout=30, args=()):
        """Starts the game under Xvfb and waits for it to end by itself
        (start-up failures)."""
        self.start(env=env, wait_window=False, args=args)
        return self.wait(timeout)

    def _wait_for_window(self, timeout):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.proc.poll() is not None:
                return False
            r = subprocess.run(["xdotool", "search", "--name", "^" + CAPTION + "$"],
                               env=self.env, capture_output=True, text=True)
            ids = r.stdout.split()
            if ids:
                self.window = ids[0]
                return True
            time.sleep(0.1)
        return False

    def wait_for_line(self, text, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if text in self.output():
                return True
            if self.proc.poll() is not None:
                return text in self.output()
            time.sleep(0.05)
        return False

    def wait_for(self, test, timeout=20):
        """Waits until test(console output) holds."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if test(self.output()):
                return True
            if self.proc.poll() is not None:
                break
            time.sleep(0.05)
        return test(self.output())

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=False, capture_output=True)

    def focus(self):
        if self.window:
            self.xdotool("windowfocus", "--sync", self.window)

    def key(self, *keys, hold_ms=60):
        """Presses keys together (xdotool names: Alt_L, F4, Return, Print,
        Shift_R, Right, space...), holding them for hold_ms."""
        self.focus()
        for k in keys:
            self.xdotool("keydown", k)
        time.sleep(hold_ms / 1000.0)
        for k in reversed(keys):
            self.xdotool("keyup", k)

    def hold(self, key, seconds):
        self.focus()
        self.xdotool("keydown", key)
        time.sleep(seconds)
        self.xdotool("keyup", key)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", "-crop", "640x480+0+0", path],
                       env=self.env, check=True, capture_output=True)
        return path

    def wait(self, timeout=20):
        try:
            self.returncode = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.returncode = None
        if self.returncode is not None:
            self.log_file.close()
        return self.returncode

    def quit(self, timeout=20):
        """Left Alt+F4, then waits for the exit code. The game reads Left Alt
        from the keyboard state when it handles the F4 event, so Alt is held
        well around F4: on a slow frame all four key events arrive at once."""
        self.focus()
        self.xdotool("keydown", "Alt_L")
        time.sleep(0.2)
        self.xdotool("keydown", "F4")
        time.sleep(0.3)
        self.xdotool("keyup", "F4")
        time.sleep(0.3)
        self.xdotool("keyup", "Alt_L")
        return self.wait(timeout)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
        self.returncode = self.proc.returncode if self.proc else None

    # --- the player's position, printed by a probe script ----------------
    # Tests append a probe to a level's script that prints
    # "E2E pos X Y MODE NPCX ..." a few times a second (MODE: the dialog's
    # mode, NPCX: the x of the character in slot 1; more fields may follow).
    def position(self):
        """The last (x, y) the probe printed, or None."""
        for line in reversed(self.lines()):
            if line.startswith("E2E pos "):
                x, y, _ = line.split()[2:5]
                return int(x), int(y)
        return None

    def dialog_mode(self):
        for line in reversed(self.lines()):
            if line.startswith("E2E pos "):
                return int(line.split()[4])
        return None

    def push_until(self, reached, key, jump=False, timeout=15):
        """Holds `key` (and jump, for hopping over steps) until the probe
        reports a position for which reached(x, y) holds."""
        self.focus()
        self.xdotool("keydown", key)
        deadline = time.time() + timeout
        try:
            while time.time() < deadline:
                p = self.position()
                if p and reached(*p):
                    return p
                if jump:
                    self.xdotool("keydown", "Up")
                    time.sleep(0.12)
                    self.xdotool("keyup", "Up")
                time.sleep(0.05)
        finally:
            self.xdotool("keyup", key)
        raise AssertionError(f"never got there (last position {self.position()})\n" + self.output()[-3000:])

    def walk_to(self, x, key, jump=False, timeout=15):
        """Walks left or right until the player's x passes `x`."""
        if key == "Right":
            return self.push_until(lambda px, py: px >= x, key, jump, timeout)
        return self.push_until(lambda px, py: px <= x, key, jump, timeout)

    def probe(self, field):
        """Field `field` (counted from 0: x, y, mode, ...) of the last probe line."""
        for line in reversed(self.lines()):
            if line.startswith("E2E pos "):
                return int(line.split()[2 + field])
        return None

    def face_right(self, tries=4):
        """Steps right until the probe sees the player move: a step shorter
        than a frame is never seen as held, and only a step turns him."""
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
            if self.dialog_mode() == 3:
                return
            self.key("Return")
            time.sleep(pause)
        if self.dialog_mode() != 3:
            raise AssertionError("no choice came up:\n" + self.output()[-2000:])

    def npc_x(self):
        return self.probe(3)

    def talk(self, tries=4, step="Right", slot1=False):
        """Presses the talk key until a conversation runs (the probe reports
        a dialog mode other than 0), stepping towards `step` between tries,
        or towards the character in slot 1 when `slot1`."""
        for _ in range(tries):
            if slot1:
                (x, _), nx = self.position(), self.npc_x()
                if abs(nx - x) > 36:
                    self.hold("Right" if nx > x else "Left", min(0.6, abs(nx - x) / 150))
                    time.sleep(0.2)
                    continue
            self.key("e", hold_ms=80)
            time.sleep(0.5)
            if self.dialog_mode() not in (0, None):
                return
            if not slot1:
                self.hold(step, 0.15)
                time.sleep(0.2)
        raise AssertionError("nobody to talk to at " + str(self.position()))

    def output(self):
        if not self.log_path or not os.path.exists(self.log_path):
            return ""
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def lines(self):
        return self.output().splitlines()


class Shot:
    """A screenshot's pixels, for checks of what it shows."""

    W, H = 640, 480

    def __init__(self, path):
        self.path = path
        # ImageMagick (which took the screenshot) hands over raw RGB bytes.
        raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                             capture_output=True).stdout
        if len(raw) != self.W * self.H * 3:
            raise ValueError(f"{path}: not a {self.W}x{self.H} picture")
        self.raw = raw

    def pixel(self, x, y):
        i = (y * self.W + x) * 3
        return tuple(self.raw[i:i + 3])

    def pixels(self, box):
        x0, y0, w, h = box
        for y in range(y0, y0 + h):
            for x in range(x0, x0 + w):
                yield self.pixel(x, y)

    def fraction(self, box, test, step=4):
        """Share of the pixels in box (x, y, w, h) (every step-th) passing test(r, g, b)."""
        x0, y0, w, h = box
        hits = total = 0
        for y in range(y0, y0 + h, step):
            for x in range(x0, x0 + w, step):
                total += 1
                hits += bool(test(*self.pixel(x, y)))
        return hits / max(1, total)

    def has_colour(self, box, colour, tolerance=20):
        return any(all(abs(a - b) <= tolerance for a, b in zip(p, colour)) for p in self.pixels(box))

    def changed(self, before, box, by=100):
        """Pixels of box that grew brighter than in `before` by more than `by`."""
        return sum(1 for a, b in zip(self.pixels(box), before.pixels(box)) if sum(a) - sum(b) > by)

    def sepia(self):
        """Nearly every pixel toned like an old photograph: red over green over blue."""
        return self.fraction((0, 0, 640, 480), lambda r, g, b: r >= g >= b and r > b + 6) > 0.9

    def dialog_box(self):
        """The gold rim of the text box along the bottom of the screen."""
        return self.fraction((60, 369, 520, 6), lambda r, g, b: abs(r - 196) + abs(g - 168) +
                             abs(b - 104) < 60, step=2) > 0.1


# Prints the player's position, the dialog's mode and the x of the
# character in slot 1 a few times a second (see GameRun.position).
PROBE = """
local probeTick, probeN = tick, 0
function tick()
  probeTick()
  probeN = probeN + 1
  if probeN % 3 == 0 then
    local x, y = getPlayerPos()
    local nx = getNpcX(1) or -1
    local broken = dbGetVal("zapora_zbita") or 0
    if x then
      io.write(string.format("E2E pos %d %d %d %d %d\\n", x, y, getDialMode(), nx, broken))
      io.flush()
    end
  end
end
"""


def add_probe(run):
    for script in ("miedzyczas.lua", "studnia.lua"):
        with open(run.path("lua", script), "a") as f:
            f.write(PROBE)


def play(game, out_dir):
    """Scripted session for machines without a display: the demo's quest
    from the landing to the well and back, with a screenshot at each step
    (named after what it shows) and the console log written to out_dir."""
    os.makedirs(out_dir, exist_ok=True)
    run = GameRun(source=game, binary=os.path.join(game, "tervalo"), keep=False)
    run.prepare(with_save=False)
    add_probe(run)
    shots = []

    def shot(name):
        shots.append(run.screenshot(os.path.join(out_dir, name + ".png")))

    def steps():
        run.wait_for_line("INFO: Wystartowano w")
        time.sleep(1.5)
        shot("01-meadow-daylight")
        run.talk(tries=10, slot1=True)           # Soltys on the meadow
        time.sleep(0.6)
        shot("02-soltys-greeting")
        run.page_to_choice()
        shot("03-soltys-choice")
        run.key("Return")                        # "Pomoge, jasne."
        time.sleep(0.8)
        run.key("Return")
        time.sleep(0.5)
        run.walk_to(440, "Left", jump=True, timeout=25)   # hopping west to the hut
        time.sleep(0.6)
        run.talk(tries=8, step="Left")           # Skoczek
        time.sleep(3.6)
        shot("04-skoczek-floating-text")
        run.page_to_choice()
        run.key("Return")                        # "Tak, prowadz." - down the well
        run.wait_for(lambda out: "studnia.crs:lvl\" wczytany" in out, timeout=15)
        time.sleep(2.0)
        shot("05-well-sepia-vision")
        run.push_until(lambda x, y: x >= 500, "Right", timeout=12)
        run.hold("Right", 0.6)
        shot("06-chest-pushed-to-ledge")
        run.xdotool("keydown", "Right")
        for _ in range(2):                       # onto the chest, onto the ledge
            run.key("Up", hold_ms=200)
            time.sleep(0.9)
        run.xdotool("keyup", "Right")
        if run.position()[0] > 630:
            run.walk_to(615, "Left")
        run.face_right()
        shot("07-on-the-ledge")
        run.key("z", hold_ms=80)
        time.sleep(0.15)
        shot("08-stone-in-flight")
        for i in range(6):                       # until the barricade breaks
            time.sleep(0.6)
            if run.probe(4) == 1:
                break
            run.key("z", hold_ms=80)
            if i == 0:
                time.sleep(0.3)
                shot("09-barricade-splinters")
        time.sleep(1.5)
        run.walk_to(1030, "Right", timeout=10)
        run.talk(tries=8, slot1=True)            # Echo
        time.sleep(0.8)
        shot("10-echo-picture")
        run.page_to_choice(pause=1.0)
        run.key("Return")                        # "Wracam na gore."
        run.wait_for(lambda out: out.count("miedzyczas.crs:lvl\" wczytany") == 2, timeout=15)
        time.sleep(2.5)
        shot("11-back-in-the-village")

    try:
        run.start()
        try:
            steps()
        except (AssertionError, TypeError) as e:
            print(f"play: the session went off its script: {e}".splitlines()[0])
        code = run.quit()
        log = os.path.join(out_dir, "console.log")
        with open(log, "w") as f:
            f.write("".join(l + "\n" for l in run.lines() if not l.startswith("E2E pos")))
        print(f"play: exit code {code}")
        print(f"play: console log: {log}")
        for s in shots:
            print(f"play: screenshot: {s}")
        return 0 if code == 0 else 1
    finally:
        run.cleanup()


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "play":
        sys.exit(play(os.path.abspath(sys.argv[2]),
                      os.path.abspath(sys.argv[3] if len(sys.argv) > 3
                                      else os.path.join(sys.argv[2], "screenshots"))))
    print("usage: harness.py play GAME_DIR [OUT_DIR]", file=sys.stderr)
    sys.exit(2)
