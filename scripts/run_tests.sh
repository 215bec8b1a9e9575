#!/usr/bin/env bash
# Runs every test: unit, GL (real window) and end-to-end tests through ctest
# under xvfb-run, then a short run of every fuzz target over its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
start=$(date +%s)
export SDL_AUDIODRIVER=dummy
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --test-dir "$BUILD" --output-on-failure -j2 --timeout 600
if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh smoke
fi
echo "run_tests: all tests passed in $(( $(date +%s) - start ))s"
