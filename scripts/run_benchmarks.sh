#!/usr/bin/env bash
# Runs every benchmark under one Xvfb server and prints one table (figure,
# result, baseline measured in the same run, ratio, target, pass), written
# to BUILD/bench-results/summary.md with the raw reports beside it.
#   scripts/run_benchmarks.sh [BUILD]
# The whole-program figures compare this build with the engine at
# BENCH_BASELINE (default: the revision before the collision index and the
# overdraw cuts), built once into BUILD/bench-baseline. LOVE 11 is
# installed when missing (the scene beside LOVE needs it). The server runs
# with -noreset: without it, it resets whenever its last client leaves, and
# SDL 1.2 starting at that moment cannot open the display.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
# The revision before the collision index (the parent of the commit that
# added it).
FIRST="$(git log --format=%H --diff-filter=A -- world/collision_grid.h | tail -1)"
BASELINE="${BENCH_BASELINE:-${FIRST:+$FIRST^}}"
BASELINE="${BASELINE:-HEAD}"
mkdir -p "$BUILD/bench-results"
if ! command -v love >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get install -y love >/dev/null || echo "bench: could not install love"
fi
cmake --build "$BUILD" -j"${JOBS:-2}" --target demo_views sprite_scene collision_diff \
  bench_physics bench_particles bench_resfile bench_lua bench_database bench_level bench_text \
  bench_mixer bench_sprite bench_frame game_data >/dev/null
BASE_BUILD="$(scripts/bench_baseline.sh "$BASELINE" "$BUILD/bench-baseline" | tail -1)"
export SDL_AUDIODRIVER=dummy
# The game checker's own figures (bench/bench_check.py), kept beside the table.
python3 bench/bench_check.py "$BUILD" > "$BUILD/bench-results/bench_check.txt" 2>&1 ||
  echo "bench: bench_check failed (see $BUILD/bench-results/bench_check.txt)"
exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
  python3 scripts/bench_summary.py "$BUILD" "$BASE_BUILD"
