#!/usr/bin/env python3
"""Runs every benchmark and prints one table: figure, result, the baseline
measured in the same run, their ratio, the target and whether it is met.
Written to BUILD/bench-results/summary.md (raw reports beside it).

    scripts/bench_summary.py BUILD BASELINE_BUILD

Run under one X server (scripts/run_benchmarks.sh starts Xvfb). BASELINE_BUILD
holds the demo drivers built against the older revision
(scripts/bench_baseline.sh). Programs compared with each other run
alternately and the medians are compared. Environment: BENCH_REPS (runs per
side, 3), GBENCH_REPS (repetitions of the benchmarks with a ratio target,
9), PACING_SECONDS (60), FPS_SECONDS (10), SCENE_SECONDS (4), BENCH_ONLY
(some of collision,demo,particles,love,existing; all when unset).
"""
import json
import os
import re
import shutil
import statistics
import subprocess
import sys

BUILD, BASE = sys.argv[1], sys.argv[2]
OUT = os.path.join(BUILD, "bench-results")
REPS = int(os.environ.get("BENCH_REPS", "3"))
GBENCH_REPS = int(os.environ.get("GBENCH_REPS", "9"))
GROUPS = ("collision", "demo", "particles", "love", "existing")
ONLY = [g for g in os.environ.get("BENCH_ONLY", "").split(",") if g] or list(GROUPS)
PACING = float(os.environ.get("PACING_SECONDS", "60"))
FPS_SECONDS = float(os.environ.get("FPS_SECONDS", "10"))
SCENE_SECONDS = float(os.environ.get("SCENE_SECONDS", "4"))
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ENV = dict(os.environ, SDL_AUDIODRIVER="dummy")
rows = []


def log(msg):
    print(msg, flush=True)


def run(cmd, **kw):
    log("   $ " + " ".join(cmd))
    return subprocess.run(cmd, capture_output=True, text=True, env=ENV, **kw)


def row(figure, result, baseline, ratio, target, ok):
    rows.append((figure, result, baseline, ratio, target, ok))
    mark = "" if ok is None else ("yes" if ok else "NO")
    log(f"   {figure}: {result} | {baseline} | {ratio} | {target} | {mark}")


def fmt_ratio(a, b):
    return f"{a / b:.2f}x" if b else "-"


# --- Google Benchmark programs -------------------------------------------

def gbench(name, extra=(), reps=None):
    """Runs one program. `reps` (GBENCH_REPS for the rows with a ratio
    target) interleaves the repetitions of its benchmarks in random order,
    so that a slow spell of the machine falls on both sides of a ratio
    instead of on whichever benchmark ran during it."""
    path = os.path.join(BUILD, "bench", name)
    log(f"== {name}")
    out = os.path.join(OUT, name + ".json")
    if reps:
        extra = (*extra, "--benchmark_enable_random_interleaving=true")
    r = run([path, f"--benchmark_repetitions={reps or REPS}", "--benchmark_report_aggregates_only=true",
             "--benchmark_format=json", f"--benchmark_out={out}", "--benchmark_out_format=json",
             *extra])
    with open(os.path.join(OUT, name + ".txt"), "w") as f:
        f.write(r.stdout + r.stderr)
    try:
        data = json.load(open(out))
    except (OSError, ValueError):
        log(f"   {name} failed:\n{r.stderr[-2000:]}")
        return {}
    res = {}
    for b in data.get("benchmarks", []):
        if b.get("aggregate_name", "median") != "median":
            continue
        res[b["run_name"]] = b
    return res


def ms(b):
    unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    return b["real_time"] * unit


def cpu_ms(b):
    unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    return b["cpu_time"] * unit


def counter(b, key):
    return float(b[key])


def ratio_row(figure, res, name, base, target_max=None, value=ms, unit="ms", note=""):
    a, b = res.get(name), res.get(base)
    if not a or not b:
        row(figure, "missing", "missing", "-", note or "-", False)
        return None
    va, vb = value(a), value(b)
    r = va / vb if vb else float("inf")
    ok = None if target_max is None else r <= target_max
    tgt = note or (f"<= {target_max:.2f}x" if target_max is not None else "-")
    row(figure, f"{va:.4g} {unit}", f"{vb:.4g} {unit}", f"{r:.2f}x", tgt, ok)
    return r


def figures_collision():
    # One thread: its processor time is the time on one core, which the
    # other programs sharing the machine inflate less than the wall clock.
    res = gbench("bench_physics")
    for n in (100, 1000, 3000, 10000):
        a = res.get(f"BM_PhysicsFrame/{n}")
        walk = res.get(f"BM_PhysicsFrameListWalk/{n}") or res.get(
            f"BM_PhysicsFrameListWalk/{n}/iterations:3")
        if not a:
            row(f"Physics step, {n} walking objects, collisions on (CPU ms/frame)", "missing", "-",
                "-", "-", False)
            continue
        base = cpu_ms(walk) if walk else None
        if n == 10000:
            tgt, ok = "< 8 ms", cpu_ms(a) < 8.0
        elif n == 100:
            tgt = "<= 1.00x of the list walk (5 % noise)"
            ok = base is not None and cpu_ms(a) <= base * 1.05
        else:
            tgt, ok = "-", None
        row(f"Physics step, {n} walking objects, collision index vs list walk (CPU ms/frame)",
            f"{cpu_ms(a):.3f} ms", f"{base:.3f} ms" if base else "-",
            fmt_ratio(cpu_ms(a), base) if base else "-", tgt, ok)
    blocks = res.get("BM_PhysicsFrameBlocksOnly/10000")
    if blocks and res.get("BM_PhysicsFrame/10000"):
        a = cpu_ms(res["BM_PhysicsFrame/10000"])
        row("Physics step, 10000 objects: collisions on vs blocks only (CPU ms/frame)",
            f"{a:.3f} ms", f"{cpu_ms(blocks):.3f} ms", fmt_ratio(a, cpu_ms(blocks)), "-", None)
    log("== collision_diff")
    r = run([os.path.join(BUILD, "bench", "collision_diff"), "1000000"])
    m = re.search(r"queries (\d+) mismatches (\d+) frames (\d+) divergent_frames (\d+)", r.stdout)
    if m:
        q, bad, frames, div = map(int, m.groups())
        row("Collision index vs list walk, randomised worlds (queries compared)",
            f"{bad} differing of {q} queries; {div} of {frames} frames diverged",
            "list walk (reference)", "-", ">= 1 000 000 queries, 0 differing",
            q >= 1000000 and bad == 0 and div == 0)
    else:
        row("Collision index vs list walk", "failed", "-", "-", "0 differing", False)


# --- the demo, this build against the baseline -----------------------------

def demo(build):
    # Both engines run the same game folder (this build's), so the pictures
    # differ only by what the engines do.
    return [os.path.join(build, "bench", "demo_views"), os.path.join(BUILD, "game")]


def figures_demo():
    log("== demo views")
    views = {}
    for side, build in (("base", BASE), ("new", BUILD)):
        d = os.path.join(OUT, "views-" + side)
        shutil.rmtree(d, ignore_errors=True)
        r = run(demo(build) + ["shots", d])
        views[side] = {m.group(1): (int(m.group(2)), float(m.group(3)), int(m.group(4) or -1))
                       for m in re.finditer(r"VIEW (\S+) (\d+) ([\d.]+)(?: (\d+))?", r.stdout)}
    names = sorted(views["base"])
    same = 0
    for n in names:
        a = os.path.join(OUT, "views-new", n + ".png")
        b = os.path.join(OUT, "views-base", n + ".png")
        identical = os.path.exists(a) and os.path.exists(b) and open(a, "rb").read() == open(
            b, "rb").read()
        same += identical
        new = views["new"].get(n)
        old = views["base"][n]
        if new:
            row(f"Demo view {n}: pixels written / 640x480", f"{new[1]:.2f}", f"{old[1]:.2f}",
                fmt_ratio(new[1], old[1]), "no more, picture identical",
                new[1] <= old[1] and identical)
    row("Demo views identical pixel for pixel to the baseline's", f"{same} of {len(names)}",
        "baseline pictures", "-", "all", same == len(names) and len(names) >= 5)
    done = [n for n in names if n in views["new"]]
    if done:
        a = sum(views["new"][n][1] for n in done)
        b = sum(views["base"][n][1] for n in done)
        row(f"Demo views: pixels written / 640x480, total of {len(done)} views", f"{a:.2f}",
            f"{b:.2f}", fmt_ratio(a, b), "fewer", a < b)
    sw = {side: [views[side][n][2] for n in names if n in views[side]] for side in views}
    if names and all(v >= 0 for side in sw for v in sw[side]) and len(sw["new"]) == len(names):
        a, b = sum(sw["new"]), sum(sw["base"])
        row(f"Demo views: texture switches per frame (total of {len(names)} views; "
            f"per view {'/'.join(map(str, sw['new']))})", f"{a}", f"{b}", fmt_ratio(a, b),
            "no more than the baseline", a <= b)

    log("== demo uncapped frame rate (alternating)")
    fps = {"base": [], "new": []}
    for _ in range(REPS):
        for side, build in (("base", BASE), ("new", BUILD)):
            r = run(demo(build) + ["fps", str(FPS_SECONDS)])
            m = re.search(r"fps ([\d.]+)", r.stdout)
            if m:
                fps[side].append(float(m.group(1)))
    if fps["base"] and fps["new"]:
        a, b = statistics.median(fps["new"]), statistics.median(fps["base"])
        row("Demo uncapped frame rate (scripted walk, fps, median)", f"{a:.1f}", f"{b:.1f}",
            fmt_ratio(a, b), ">= 2.00x", a / b >= 2.0)

    log("== demo frame pacing")
    for kind in ("capped", "uncapped"):
        stats = {}
        for side, build in (("new", BUILD), ("base", BASE)):
            r = run(demo(build) + ["pacing", str(PACING), kind])
            with open(os.path.join(OUT, f"pacing-{side}-{kind}.txt"), "w") as f:
                f.write(r.stdout)
            stats[side] = {}
            for m in re.finditer(r"PACING \S+ (\S+) frames (\d+) median ([\d.]+) p99 ([\d.]+) "
                                 r"worst ([\d.]+) over20 (\d+)", r.stdout):
                stats[side][m.group(1)] = m.groups()[1:]
        for what, label in (("frames", "frames"), ("level_change", "level-change frames")):
            n, b = stats["new"].get(what), stats["base"].get(what)
            title = f"Frame pacing, {PACING:.0f} s demo run, {kind}, {label} (ms)"
            if not n:
                row(title, "missing", "-", "-", "-", False)
                continue
            res = f"median {n[1]} / p99 {n[2]} / worst {n[3]} ({n[0]} frames, {n[4]} over 20 ms)"
            base = f"median {b[1]} / p99 {b[2]} / worst {b[3]}" if b else "-"
            ratio = fmt_ratio(float(n[3]), float(b[3])) if b and float(b[3]) else "-"
            if kind == "capped" and what == "frames":
                row(title, res, base, ratio, "no frame over 20 ms (idle machine)", int(n[4]) == 0)
            else:
                row(title, res, base, ratio, "-", None)


def figures_particles():
    res = gbench("bench_particles")
    for n in (1000, 10000):
        a = res.get(f"BM_ParticlesStepDraw/{n}/real_time")
        b = res.get(f"BM_ParticlesBaseline_RawQuads/{n}/real_time")
        if not a or not b:
            row(f"Particles, {n} stepped and drawn (ms/frame)", "missing", "-", "-", "-", False)
            continue
        # A figure to watch, not a target: 10 000 quads of 32 x 32 pixels
        # are more than a software rasteriser fills in one frame.
        row(f"Particles, {n} stepped and drawn vs {n} raw quads drawn (ms/frame)",
            f"{ms(a):.3f} ms", f"{ms(b):.3f} ms", fmt_ratio(ms(a), ms(b)), "-", None)


def figures_love():
    love = shutil.which("love")
    scene = os.path.join(BUILD, "bench", "sprite_scene")
    if not love:
        row("Sprite scene beside LOVE", "love is not installed", "-", "-", ">= 1.00x", False)
        return
    log("== sprite scene: engine and LOVE 11, alternating")
    for n in (1000, 5000, 20000):
        eng, lov = [], []
        for _ in range(REPS):
            r = run([scene, str(n), str(SCENE_SECONDS)])
            m = re.search(r"fps ([\d.]+)", r.stdout)
            if m:
                eng.append(float(m.group(1)))
            r = run([love, os.path.join(ROOT, "bench", "love_scene"), str(n), str(SCENE_SECONDS)])
            m = re.search(r"fps ([\d.]+)", r.stdout)
            if m:
                lov.append(float(m.group(1)))
        if not eng or not lov:
            row(f"Sprite scene, {n} moving 32x32 sprites: engine vs LOVE (fps)", "failed", "-",
                "-", ">= 1.00x", False)
            continue
        a, b = statistics.median(eng), statistics.median(lov)
        row(f"Sprite scene, {n} moving 32x32 sprites: engine vs LOVE 11 (fps)", f"{a:.1f}",
            f"{b:.1f}", fmt_ratio(a, b), ">= 1.00x", a / b >= 1.0)


def figures_existing():
    res = gbench("bench_resfile", reps=GBENCH_REPS)
    ratio_row("Archive load of every entry vs fread + uncompress", res, "BM_LoadAll_Resfile",
              "BM_LoadAll_Baseline", 1.10)
    res = gbench("bench_lua", reps=GBENCH_REPS)
    per = lambda b: counter(b, "per_call") * 1e9  # noqa: E731
    ratio_row("Lua periodic tick vs bare lua_getglobal + lua_pcall (ns/call)", res,
              "BM_PeriodicTick", "BM_BareGetglobalPcall", 1.2, per, "ns")
    ratio_row("Script getter (getLvlW) vs empty registered C function (ns/call)", res,
              "BM_ScriptGetter", "BM_ScriptEmptyCFunction", 1.5, per, "ns")
    res = gbench("bench_database")
    ratio_row("Save of 100 000 keys vs write + fsync + rename of the same bytes", res, "BM_Save",
              "BM_SaveBaseline_WriteSyncRename")
    ratio_row("Load of 100 000 keys vs reading the file", res, "BM_Load",
              "BM_LoadBaseline_ReadFile")
    res = gbench("bench_level")
    ratio_row("Level load, 50 generated frames, cold vs reading its entries", res,
              "BM_LoadGeneratedCold/50", "BM_ReadEntriesOnly/50")
    ratio_row("Level load, 50 generated frames, warm vs reading its entries", res,
              "BM_LoadGeneratedWarm/50", "BM_ReadEntriesOnly/50")
    ratio_row("Level load, the demo level, cold vs warm", res, "BM_LoadDemoCold",
              "BM_LoadDemoWarm")
    res = gbench("bench_text")
    ratio_row("Text layout of 2 000 characters, centred vs left-aligned", res,
              "BM_TextLayoutCentred", "BM_TextLayoutLeft", unit="ms")
    res = gbench("bench_mixer")
    ratio_row("Mixing one second of 16 voices vs 1 voice", res, "BM_Mix16Voices", "BM_Mix1Voice")
    ratio_row("Mixing one second of 16 resampled voices vs 1 voice", res,
              "BM_Mix16VoicesResampled", "BM_Mix1Voice")
    res = gbench("bench_sprite", reps=GBENCH_REPS)
    for n in (1000, 5000, 20000):
        ratio_row(f"Sprite drawing, {n} quads vs a hand-filled client array", res,
                  f"BM_SpriteDraw/{n}/real_time", f"BM_Baseline/{n}/real_time", 1.10)
    res = gbench("bench_frame")
    a, b = res.get("BM_EmptyFrameUncapped/real_time"), res.get("BM_SwapOnly/real_time")
    if a and b:
        row("Empty frame of the loop vs the bare buffer swap (ms)", f"{ms(a):.3f} ms",
            f"{ms(b):.3f} ms", fmt_ratio(ms(a), ms(b)), "-", None)


def main():
    os.makedirs(OUT, exist_ok=True)
    load = open("/proc/loadavg").read().split()[:3]
    unknown = [g for g in ONLY if g not in GROUPS]
    if unknown:
        sys.exit(f"bench: BENCH_ONLY names no group {', '.join(unknown)} (groups: {', '.join(GROUPS)})")
    groups = {"collision": figures_collision, "demo": figures_demo,
              "particles": figures_particles, "love": figures_love, "existing": figures_existing}
    for group in ONLY:
        groups[group]()
    load_after = open("/proc/loadavg").read().split()[:3]
    base_rev = open(os.path.join(os.path.dirname(BASE), "rev")).read().strip() \
        if os.path.exists(os.path.join(os.path.dirname(BASE), "rev")) else "?"
    head = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                          capture_output=True, text=True).stdout.strip()
    lines = [
        "# Benchmarks",
        "",
        f"Build {head}; baseline revision {base_rev[:12]}; {REPS} runs per side, medians "
        f"({GBENCH_REPS} repetitions in random order for archive load, Lua and sprite drawing); "
        + (f"groups {', '.join(ONLY)} only; " if len(ONLY) < len(GROUPS) else "") +
        f"load average {' '.join(load)} at the start, {' '.join(load_after)} at the end "
        f"({os.cpu_count()} cores).",
        "",
        "| Figure | Result | Baseline (same run) | Ratio | Target | Pass |",
        "|---|---|---|---|---|---|",
    ]
    for figure, result, baseline, ratio, target, ok in rows:
        mark = "-" if ok is None else ("yes" if ok else "**no**")
        lines.append(f"| {figure} | {result} | {baseline} | {ratio} | {target} | {mark} |")
    text = "\n".join(lines) + "\n"
    with open(os.path.join(OUT, "summary.md"), "w") as f:
        f.write(text)
    print()
    print(text)
    print(f"bench: table in {os.path.join(OUT, 'summary.md')}")


if __name__ == "__main__":
    main()
