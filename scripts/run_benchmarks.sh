#!/usr/bin/env bash
# Runs every benchmark program under Xvfb (the rendering ones need a window)
# and keeps each report in BUILD/bench-results/NAME.txt. The server runs
# with -noreset: without it, it resets whenever its last client leaves, and
# SDL 1.2 starting at that moment cannot open the display.
#   scripts/run_benchmarks.sh [BUILD] [extra Google Benchmark flags...]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
shift || true
OUT="$BUILD/bench-results"
mkdir -p "$OUT"
export SDL_AUDIODRIVER=dummy
for bin in "$BUILD"/bench/bench_*; do
  [ -x "$bin" ] || continue
  name="$(basename "$bin")"
  echo "== $name"
  xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$bin" "$@" 2>&1 | tee "$OUT/$name.txt"
done
echo "== bench_check"
python3 bench/bench_check.py "$BUILD" | tee "$OUT/bench_check.txt"
echo "bench: reports in $OUT/"
