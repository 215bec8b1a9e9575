#!/usr/bin/env python3
"""Soak: the demo played by random keys for a long time, then under valgrind.

    scripts/soak.py [--minutes 30] [--valgrind-minutes 5] [--game DIR]
                    [--binary PATH] [--out DIR] [--seed N]

Phase 1 runs the release binary under Xvfb for --minutes with random keys
(walking, jumping, shooting, talking, choosing, pausing, switching full
screen) and a level change every 20 seconds (the copy's level scripts send
the player to the other level through a dialog goto): the game must not
crash, and its resident memory may grow by less
than 2 MiB after the first minute. The frame-time distribution (from
TERVALO_FRAME_LOG) and the memory samples are written to --out. Phase 2
plays the same way under valgrind (memcheck) for --valgrind-minutes: no
error, nothing definitely lost. Exit 0 when both pass. `make soak` runs it.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import time

from game_driver import GameRun

HERE = os.path.dirname(os.path.abspath(__file__))

# Every 20 seconds the level's script sends the player to the other level
# through the dialog command goto, the way a game changes levels: the level
# is loaded anew and the player's character made again (a script's loadLvl
# alone leaves the player without a character).
LEVEL_CHANGE = """
-- soak: after 20 seconds here the player goes to the other level
local soakTicks = 0
local soakTick = tick
function tick()
  soakTick()
  soakTicks = soakTicks + 1
  if soakTicks == %d then setDial("soak", %d) end
end
"""
SOAK_DIALOG = """[dialog]
1=goto data/lvl/studnia.crs:lvl 96 300 0 0
2=goto data/lvl/miedzyczas.crs:lvl 420 380 0 0
"""


def add_level_changes(run, ticks):
    with open(run.path("npc", "soak"), "w") as f:
        f.write(SOAK_DIALOG)
    for script, block in (("miedzyczas.lua", 1), ("studnia.lua", 2)):
        with open(run.path("lua", script), "a") as f:
            f.write(LEVEL_CHANGE % (ticks, block))


# (weight, keys held together, hold seconds range)
ACTIONS = [
    (20, ("Right",), (0.1, 1.5)), (20, ("Left",), (0.1, 1.5)),
    (6, ("d",), (0.1, 1.0)), (6, ("a",), (0.1, 1.0)),
    (10, ("Up",), (0.05, 0.3)), (6, ("space",), (0.05, 0.3)),
    (8, ("z",), (0.03, 0.1)), (5, ("x",), (0.03, 0.1)),
    (8, ("e",), (0.03, 0.1)), (10, ("Return",), (0.03, 0.1)),
    (3, ("Down",), (0.03, 0.1)),
    (1, ("Print",), (0.03, 0.1)),            # pause (toggled back soon after)
    (1, ("Alt_L", "Return"), (0.03, 0.1)),   # window <-> full screen
]


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def launch(run, prefix, env):
    """Starts run's game (under `prefix`, e.g. valgrind) and waits for its window."""
    real = os.path.join(run.dir, "tervalo")
    if prefix:
        wrapper = os.path.join(run.dir, "tervalo-wrapped")
        os.rename(real, wrapper)
        with open(real, "w") as f:
            f.write("#!/bin/sh\ncd \"$(dirname \"$0\")\"\nexec " + " ".join(prefix) +
                    " ./tervalo-wrapped \"$@\"\n")
        os.chmod(real, 0o755)
    run.start(env=env)
    # valgrind's process is the game itself (exec), so the pid is the game's.
    return run.proc.pid


# Played at the start and again soon after each of the first two level
# changes, so that the first minute, which the memory check leaves out, has
# made every kind of thing once in both levels: the full-screen picture
# (with and without the level's post-processing program), bullets, a
# conversation, the pause.
WARM_UP_AT = (0, 25, 47)
WARM_UP = [("Alt_L", "Return"), ("Alt_L", "Return"), ("z",), ("x",), ("e",), ("Return",),
           ("Return",), ("Print",), ("Print",)]


def play(run, seconds, rng, sample, paused_state):
    """Random keys for `seconds`; sample(t) is called every 5 s. False when
    the game ended by itself."""
    start = time.time()
    next_sample = start
    warm_ups = list(WARM_UP_AT)
    while time.time() - start < seconds:
        if run.proc.poll() is not None:
            return False
        now = time.time()
        if now >= next_sample:
            sample(now - start)
            next_sample += 5
        if warm_ups and now - start >= warm_ups[0]:
            warm_ups.pop(0)
            for keys in WARM_UP:
                run.key(*keys, hold_ms=60)
                time.sleep(0.5)
            if paused_state[0]:
                run.key("Print")
                paused_state[0] = False
            continue
        weights = [a[0] for a in ACTIONS]
        _, keys, (lo, hi) = rng.choices(ACTIONS, weights)[0]
        if keys == ("Print",):
            paused_state[0] = not paused_state[0]
        run.key(*keys, hold_ms=int(rng.uniform(lo, hi) * 1000))
        if paused_state[0] and rng.random() < 0.3:
            run.key("Print")
            paused_state[0] = False
        time.sleep(rng.uniform(0.02, 0.2))
    if paused_state[0]:
        run.key("Print")
        paused_state[0] = False
    return run.proc.poll() is None


def percentiles(hist):
    total = sum(hist.values())
    out = {}
    for p in (50, 90, 99, 99.9):
        need, acc = total * p / 100.0, 0
        for ms in sorted(hist):
            acc += hist[ms]
            if acc >= need:
                out[p] = ms
                break
    out["max"] = max(hist) if hist else None
    out["frames"] = total
    return out


def window_growth(samples, start=60, width=300):
    """How much the resident memory grew between the first window after the
    first minute and the last window of the run: the larger of the growth
    of the window's low point and of its high point. The two levels differ
    by several MiB, so one sample against another would measure which level
    each was taken in; a window spans many level changes."""
    if not samples:
        return None
    end = samples[-1][0]
    width = min(width, max((end - start) / 3, 5))
    head = [k for t, k in samples if start <= t < start + width]
    tail = [k for t, k in samples if t >= end - width]
    if not head or not tail:
        return None
    return max(max(tail) - max(head), min(tail) - min(head))


def phase_release(args, rng):
    run = GameRun(source=args.game, binary=args.binary).prepare()
    report = {"ok": False}
    try:
        add_level_changes(run, 1250)
        frames = os.path.join(args.out, "frames.txt")
        pid = launch(run, None, {"TERVALO_FRAME_LOG": frames})
        samples = []

        def sample(t):
            kib = rss_kib(pid)
            if kib:
                samples.append((t, kib))

        alive = play(run, args.minutes * 60, rng, sample, [False])
        sample(args.minutes * 60)
        code = run.quit(timeout=60) if alive else run.wait(5)
        with open(os.path.join(args.out, "rss.csv"), "w") as f:
            f.write("seconds,rss_kib\n")
            for t, kib in samples:
                f.write(f"{t:.0f},{kib}\n")
        after_minute = [k for t, k in samples if t >= 60]
        growth = window_growth(samples)
        peak = (max(after_minute) - after_minute[0]) if after_minute else None
        hist = {}
        if os.path.exists(frames):
            for line in open(frames):
                if line.startswith("#"):
                    continue
                ms, n = line.split()
                hist[int(ms)] = int(n)
        out = run.output()
        with open(os.path.join(args.out, "console-release.log"), "w") as f:
            f.write(out)
        fail_kinds = {}
        for line in out.splitlines():
            if line.startswith("FAIL:"):
                fail_kinds[line] = fail_kinds.get(line, 0) + 1
        report.update(exit=code, alive=alive, rss_start_kib=samples[0][1] if samples else None,
                      rss_first_minute_kib=after_minute[0] if after_minute else None,
                      rss_end_kib=samples[-1][1] if samples else None,
                      load=os.getloadavg()[0],
                      top_fails=sorted(fail_kinds.items(), key=lambda kv: -kv[1])[:5],
                      rss_growth_kib=growth, rss_peak_growth_kib=peak, frames=percentiles(hist),
                      reloads=out.count("wczytany w") - 1,
                      fails=len([l for l in out.splitlines() if l.startswith("FAIL:")]))
        report["ok"] = alive and code == 0 and growth is not None and growth < 2048
    finally:
        run.cleanup()
    return report


def phase_valgrind(args, rng):
    run = GameRun(source=args.game, binary=args.binary).prepare()
    report = {"ok": False}
    log = os.path.join(args.out, "valgrind.log")
    try:
        # Under valgrind the game runs many times slower: change levels
        # after a few seconds of game time so that the run sees several.
        add_level_changes(run, 150)
        supp = os.path.join(HERE, "valgrind.supp")
        prefix = ["valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite",
                  "--errors-for-leak-kinds=definite", f"--log-file={log}", "--num-callers=30"]
        if os.path.exists(supp):
            prefix.append(f"--suppressions={supp}")
        # The software renderer without its JIT: llvmpipe's generated code
        # is opaque to memcheck.
        launch(run, prefix, {"GALLIUM_DRIVER": "softpipe", "LP_NUM_THREADS": "0"})
        alive = play(run, args.valgrind_minutes * 60, rng, lambda t: None, [False])
        code = run.quit(timeout=300) if alive else run.wait(60)
        out = run.output()
        with open(os.path.join(args.out, "console-valgrind.log"), "w") as f:
            f.write(out)
        text = open(log).read() if os.path.exists(log) else ""
        m = re.findall(r"ERROR SUMMARY: (\d+) errors", text)
        d = re.findall(r"definitely lost: ([\d,]+) bytes", text)
        errors = int(m[-1]) if m else None
        lost = int(d[-1].replace(",", "")) if d else 0
        report.update(exit=code, alive=alive, errors=errors, definitely_lost=lost, log=log,
                      reloads=out.count("wczytany w") - 1)
        report["ok"] = alive and code == 0 and errors == 0 and lost == 0
    finally:
        run.cleanup()
    return report


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--minutes", type=float, default=30)
    ap.add_argument("--valgrind-minutes", type=float, default=5)
    ap.add_argument("--game", default=os.path.join(HERE, "..", "build-release", "game"))
    ap.add_argument("--binary", default=None)
    ap.add_argument("--out", default=os.path.join(HERE, "..", "build-release", "soak"))
    ap.add_argument("--seed", type=int, default=int(time.time()))
    args = ap.parse_args()
    args.game = os.path.abspath(args.game)
    args.binary = os.path.abspath(args.binary or os.path.join(args.game, "tervalo"))
    os.makedirs(args.out, exist_ok=True)
    os.environ.setdefault("SDL_AUDIODRIVER_E2E", "dummy")
    rng = random.Random(args.seed)
    print(f"soak: seed {args.seed}, {args.minutes} min release, {args.valgrind_minutes} min valgrind",
          flush=True)
    ok = True
    if args.minutes > 0:
        r = phase_release(args, rng)
        print(f"soak release: {r}", flush=True)
        ok = ok and r["ok"]
    if args.valgrind_minutes > 0:
        r = phase_valgrind(args, rng)
        print(f"soak valgrind: {r}", flush=True)
        ok = ok and r["ok"]
    print("soak: " + ("passed" if ok else "FAILED") + f" (results in {args.out})", flush=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
