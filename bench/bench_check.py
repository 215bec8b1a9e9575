#!/usr/bin/env python3
"""`tervalo --check` on the demo and on a generated game of 200 frames and
100 characters (scripts/make_check_game.py): wall time, CPU time and peak
memory of the whole process, the median of several runs, each against
`tervalo --help` (start and exit of the same program) measured in the same
run.

    bench/bench_check.py [BUILD] [--runs 5]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def measure(cmd, runs):
    """Median wall and CPU seconds and the largest peak memory (KB) of
    `cmd`, as /usr/bin/time reports them."""
    walls, cpus, rss = [], [], []
    for _ in range(runs):
        with tempfile.NamedTemporaryFile("r") as t:
            proc = subprocess.run(["/usr/bin/time", "-o", t.name, "-f", "%e %U %S %M", *cmd],
                                  capture_output=True, text=True)
            wall, user, system, peak = t.read().split()[-4:]
        if "--check" in cmd and (proc.returncode != 0 or proc.stdout):
            sys.exit(f"bench_check: {' '.join(cmd)} found problems:\n{proc.stdout}")
        walls.append(float(wall))
        cpus.append(float(user) + float(system))
        rss.append(int(peak))
    return statistics.median(walls), statistics.median(cpus), max(rss)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default=os.path.join(ROOT, "build"))
    ap.add_argument("--runs", type=int, default=5)
    a = ap.parse_args()
    game = os.path.join(a.build, "game")
    tervalo = os.path.join(game, "tervalo")
    with tempfile.TemporaryDirectory() as tmp:
        big = os.path.join(tmp, "big")
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_check_game.py"), game, big,
                        "--crs", os.path.join(a.build, "crs")], check=True)
        rows = [("tervalo --help (baseline)", [tervalo, "--help"]),
                ("--check demo", [tervalo, "--check", game]),
                ("--check 200 frames, 100 characters", [tervalo, "--check", big])]
        results = [(name, measure(cmd, a.runs)) for name, cmd in rows]
    base_wall, base_cpu, _ = results[0][1]
    print(f"{'':38} {'wall ms':>8} {'cpu ms':>8} {'peak KB':>8} {'wall/base':>9}")
    for name, (wall, cpu, rss) in results:
        print(f"{name:38} {wall * 1000:8.1f} {cpu * 1000:8.1f} {rss:8d} {wall / base_wall:9.2f}")


if __name__ == "__main__":
    main()
