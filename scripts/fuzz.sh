#!/usr/bin/env bash
# Builds and runs the libFuzzer targets (one fuzz/NAME.cpp = target NAME,
# seeds in fuzz/corpus/NAME/).
#
#   scripts/fuzz.sh smoke                 build every target, run each over its
#                                         seeds for 5 seconds; fails on a crash
#   scripts/fuzz.sh run SECONDS [NAME...] run each named target (default: all)
#                                         that long, one after another
#
# New inputs go to build-fuzz/corpus/NAME/ and crashes to build-fuzz/findings/,
# never into the repository's corpus.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${TERVALO_FUZZ_BUILD:-$ROOT/build-fuzz}"
JOBS="${JOBS:-2}"

usage() {
  sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

all_targets() {
  local f
  for f in "$ROOT"/fuzz/*.cpp; do
    [ -e "$f" ] || continue
    basename "$f" .cpp
  done
}

build() {
  local targets=("$@")
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$ROOT" -B "$BUILD" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERVALO_FUZZ=ON >/dev/null
  else
    cmake "$BUILD" >/dev/null   # picks up fuzz targets added since
  fi
  cmake --build "$BUILD" -j"$JOBS" --target "${targets[@]}"
}

# run_one NAME SECONDS
run_one() {
  local name="$1" secs="$2"
  local seeds="$ROOT/fuzz/corpus/$name" scratch="$BUILD/corpus/$name"
  local findings="$BUILD/findings/$name"
  mkdir -p "$scratch" "$findings"
  local dirs=("$scratch")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "== $name: ${secs}s" >&2
  # The first directory receives new inputs; the seeds are only read.
  local log="$BUILD/findings/$name.log" rc=0
  "$BUILD/fuzz/$name" "${dirs[@]}" -max_total_time="$secs" -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1 || rc=$?
  grep -E '^(stat::number_of_executed_units|#[0-9]+ +DONE|==[0-9]+==ERROR|SUMMARY|Test unit written)' \
    "$log" >&2 || true
  if [ "$rc" -ne 0 ]; then tail -n 40 "$log" >&2; fi
  return "$rc"
}

cmd="${1:-}"
case "$cmd" in
  smoke)
    mapfile -t targets < <(all_targets)
    [ ${#targets[@]} -gt 0 ] || { echo "fuzz: no targets under fuzz/" >&2; exit 1; }
    build "${targets[@]}"
    failed=()
    for t in "${targets[@]}"; do
      run_one "$t" 5 || failed+=("$t")
    done
    if [ ${#failed[@]} -gt 0 ]; then
      echo "fuzz smoke: FAILED: ${failed[*]} (see $BUILD/findings/)" >&2
      exit 1
    fi
    echo "fuzz smoke: ${#targets[@]} targets OK" >&2
    ;;
  run)
    secs="${2:-}"
    [[ "$secs" =~ ^[0-9]+$ ]] || usage
    shift 2
    if [ $# -gt 0 ]; then targets=("$@"); else mapfile -t targets < <(all_targets); fi
    for t in "${targets[@]}"; do
      [ -f "$ROOT/fuzz/$t.cpp" ] || { echo "fuzz: no target $t" >&2; exit 2; }
    done
    build "${targets[@]}"
    failed=()
    for t in "${targets[@]}"; do
      run_one "$t" "$secs" || failed+=("$t")
    done
    if [ ${#failed[@]} -gt 0 ]; then
      echo "fuzz run: FAILED: ${failed[*]} (see $BUILD/findings/)" >&2
      exit 1
    fi
    ;;
  *)
    usage
    ;;
esac
