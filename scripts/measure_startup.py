#!/usr/bin/env python3
"""Start-up time and peak memory of laid-out games, measured in one run.

    python3 scripts/measure_startup.py GAME_DIR [GAME_DIR...] [--runs N]

Each game folder (a laid-out build/game with its tervalo) is started N times
(default 3), the folders taking turns, under Xvfb with SDL's disk audio
driver writing to /dev/null (so the mixer really runs). For each start it
reads the engine's own "INFO: Wystartowano w Nms" line, the wall time until
that line, and after four seconds of play the process's peak resident set
(VmHWM), then quits with Left Alt+F4. Prints the medians per folder; compare
folders only within one run (the machine's load changes between runs).
"""
import os
import re
import statistics
import sys
import time

from game_driver import GameRun


def one(game):
    run = GameRun(source=game, binary=os.path.join(game, "tervalo")).prepare()
    try:
        t0 = time.time()
        run.start(env={"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": "/dev/null",
                       "SDL_DISKAUDIODELAY": "20"})
        if not run.wait_for_line("INFO: Wystartowano w", timeout=30):
            raise RuntimeError(f"{game} did not start:\n{run.output()}")
        wall = (time.time() - t0) * 1000
        engine = int(re.search(r"Wystartowano w (\d+)ms", run.output()).group(1))
        time.sleep(4)
        with open(f"/proc/{run.proc.pid}/status") as f:
            peak = int(re.search(r"VmHWM:\s+(\d+) kB", f.read()).group(1))
        run.quit()
        return engine, wall, peak
    finally:
        run.cleanup()


def main(args):
    runs = 3
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    games = [os.path.abspath(a) for a in args]
    if not games:
        print(__doc__, file=sys.stderr)
        return 2
    results = {g: [] for g in games}
    for _ in range(runs):
        for g in games:
            results[g].append(one(g))
    for g in games:
        r = results[g]
        print(f"{g}: start-up {statistics.median(x[0] for x in r)} ms (engine), "
              f"{statistics.median(x[1] for x in r):.0f} ms (wall), "
              f"peak RSS {statistics.median(x[2] for x in r) / 1024:.1f} MiB; runs: {r}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
