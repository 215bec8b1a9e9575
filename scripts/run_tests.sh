#!/usr/bin/env bash
# Runs every test: unit, GL (real window) and end-to-end tests through ctest
# under xvfb-run, then a short run of every fuzz target over its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
start=$(date +%s)
# No include may run upward through the engine's floors.
python3 scripts/check_layers.py
# Every console line the engine can print is explained in the guide.
python3 scripts/check_console_docs.py
export SDL_AUDIODRIVER=dummy
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
  ctest --test-dir "$BUILD" --output-on-failure -j2 --timeout 600

# The same unit and GL tests built with AddressSanitizer and UBSan. Leak
# checks run for the unit tests; in GL processes the software renderer's
# threads make LeakSanitizer itself crash at exit, so there they are off.
ASAN_BUILD="${ASAN_BUILD:-$BUILD-asan}"
cmake -S . -B "$ASAN_BUILD" -DCMAKE_BUILD_TYPE=Debug -DTERVALO_SANITIZE=ON >/dev/null
cmake --build "$ASAN_BUILD" -j2 --target unit_tests gl_tests crs game_data
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
  ctest --test-dir "$ASAN_BUILD" --output-on-failure -j2 -L unit
ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
  ctest --test-dir "$ASAN_BUILD" --output-on-failure -j2 -L gl

if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh smoke
fi
echo "run_tests: all tests passed in $(( $(date +%s) - start ))s"
