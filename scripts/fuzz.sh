#!/usr/bin/env bash
# Builds and runs the libFuzzer targets (one fuzz/NAME.cpp = target NAME,
# seeds in fuzz/corpus/NAME/).
#
#   scripts/fuzz.sh smoke                 build every target, run each over its
#                                         seeds for 5 seconds; fails on a crash
#   scripts/fuzz.sh run SECONDS [NAME...] run each named target (default: all)
#                                         that long, one after another
#   scripts/fuzz.sh campaign RUNS SECONDS [NAME...]
#                                         run each target to RUNS executions or
#                                         SECONDS, whichever comes first, and
#                                         print executions, time and exec/s;
#                                         each run is added to the ledger
#   scripts/fuzz.sh goal RUNS [NAME...]   a campaign for each target that the
#                                         ledger has below RUNS executions,
#                                         for what it lacks, one after another
#   scripts/fuzz.sh stop                  end the running campaigns cleanly:
#                                         what they ran so far is counted
#   scripts/fuzz.sh ledger [NAME...]      executions of every campaign run so
#                                         far, per target and commit
#   scripts/fuzz.sh minimize [NAME...]    merge what the runs found into
#                                         fuzz/corpus/NAME/, keeping only the
#                                         inputs that add coverage (edges);
#                                         campaigns may go on meanwhile
#   scripts/fuzz.sh cover [NAME...]       line coverage (llvm-cov) of each
#                                         target's reader from its corpus;
#                                         reports in build-cov/report/, what
#                                         stays uncovered is in fuzz/COVERAGE.md
#   scripts/fuzz.sh plant [NAME...]       plant a fault in each reader of a
#                                         scratch copy and time how long each
#                                         target takes to find it (< 60 s of
#                                         processor time)
#
# Every run uses -timeout=1 -rss_limit_mb=512 -malloc_limit_mb=256: an input
# that takes a second, or a process that grows past 512 MiB, or one
# allocation of more than 256 MiB is a finding. A timeout whose input then
# replays in a fraction of a second was the machine stalling the process
# (a loaded machine does that), not the reader: it is set aside as
# findings/NAME/stall-* and the run goes on. New inputs go to
# build-fuzz/corpus/NAME/ and crashes to build-fuzz/findings/, never into
# the repository's corpus (minimize writes it on purpose). Campaigns that
# run for hours are counted in fuzz/ledger.tsv (one row per run: start,
# target, commit, executions, seconds, stalls, result), so a target can
# reach its count over several runs, sessions and machines: commit it with
# the minimised corpus.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${TERVALO_FUZZ_BUILD:-$ROOT/build-fuzz}"
JOBS="${JOBS:-2}"
LEDGER="${TERVALO_FUZZ_LEDGER:-$ROOT/fuzz/ledger.tsv}"
LIMITS=(-timeout=1 -rss_limit_mb=512 -malloc_limit_mb=256)
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Freed memory waits in a 1 MiB quarantine instead of 256 MiB before it is
# reused, so a use of it within the next megabyte of frees is still caught
# while the heap stays in the cache; and no allocation stacks are recorded
# (a finding replays with them: run build-fuzz/fuzz/NAME on the artefact
# directly). The checker target runs 1.2 times the inputs a second of a
# 16 MiB quarantine with stacks, 1.4 times ASan's defaults.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=1:malloc_context_size=0}"

# The reader(s) each target exercises: the files its coverage is taken of,
# as FILE or FILE:FUNCTIONS (a regular expression over the function names)
# where the reader is only part of its file.
readers() {
  case "$1" in
    fuzz_anims) echo 'render/sprite_anims.cpp:parseAnims|getAnim|findAnim|indexOf|readNumbers|badLine' ;;
    fuzz_check) echo check/game_check.cpp ;;
    fuzz_controls) echo 'world/player.cpp:Ctrls|readU32|writeU32' ;;
    fuzz_database) echo 'resources/database.cpp:load|save|readAll|Reader|put' ;;
    fuzz_dialog) echo dialog/dialog.cpp dialog/dialog_commands.cpp ;;
    fuzz_image) echo render/png_check.cpp ;;
    fuzz_ini) echo 'resources/ini_file.cpp:^(?!.*instance)' ;;
    fuzz_level) echo 'world/level_load.cpp:^(?!.*instance)' 'world/level.cpp:loadFrame' ;;
    fuzz_parser) echo resources/parser.cpp ;;
    fuzz_resfile) echo 'resources/resfile.cpp:^(?!.*instance)' ;;
    fuzz_sound) echo 'sound/audio_stream.cpp:^(?!.*(openFile|BufferDecoder)).*(Sndfile|Impl|sane)' sound/mixer.cpp ;;
    fuzz_tiled) echo maps/tiled_read.cpp maps/level_import.cpp ;;
    fuzz_weapons) echo 'world/weapon.cpp:load|get|clear|count|readFile|Weapon::Weapon' ;;
    fuzz_settings) echo 'resources/game_settings.cpp:parse|checkValue|trim|parseInt|insideFolder|keys|lineOf' ;;
    *) ;;
  esac
}

usage() {
  sed -n '2,/^set -euo/{/^#/p}' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
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

# stalled NAME INPUT: true when INPUT, which timed out, replays in under
# half a second of processor time (the wall clock of a loaded machine says
# nothing).
stalled() {
  local TIMEFORMAT='%3U %3S' t
  t=$( { time "$BUILD/fuzz/$1" -runs=1 -rss_limit_mb=512 -malloc_limit_mb=256 "$2" >/dev/null 2>&1; } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); exit !(a[1] + a[2] < 0.5) }'
}

# run_one NAME SECONDS: fuzzes NAME that long (or to $RUNS executions);
# sets EXECS and STALLS.
run_one() {
  local name="$1" secs="$2"
  local seeds="$ROOT/fuzz/corpus/$name" scratch="$BUILD/corpus/$name"
  local findings="$BUILD/findings/$name"
  mkdir -p "$scratch" "$findings"
  local dirs=("$scratch")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "== $name: ${secs}s" >&2
  # The first directory receives new inputs; the seeds are only read. Each
  # run has its own log: two campaigns of one target share its corpus, and
  # the count of executions is read back from the log.
  local log="$BUILD/findings/$name.$$.log" rc=0 left n art
  local deadline=$(( $(date +%s) + secs ))
  EXECS=0 STALLS=0
  : >"$log"
  while :; do
    left=$(( deadline - $(date +%s) ))
    [ "$left" -ge 1 ] || break
    rc=0
    # -close_fd_mask=3: what the readers print (the MP3 decoder's notes made
    # 200 MB of log in ten minutes) is dropped; libFuzzer's and the
    # sanitisers' reports still reach the log.
    "$BUILD/fuzz/$name" "${dirs[@]}" -max_total_time="$left" -print_final_stats=1 "${LIMITS[@]}" \
      -close_fd_mask=3 ${RUNS:+-runs=$((RUNS - EXECS))} -artifact_prefix="$findings/" >>"$log" 2>&1 || rc=$?
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    EXECS=$(( EXECS + ${n:-0} ))
    [ "$rc" -ne 0 ] || break
    # 72: libFuzzer's exit after an interrupt (fuzz.sh stop).
    if [ "$rc" -eq 72 ]; then STOPPED=1 rc=0; break; fi
    art=$(ls -t "$findings" | head -1)
    if [[ "$art" == timeout-* ]] && stalled "$name" "$findings/$art"; then
      mv "$findings/$art" "$findings/stall-${art#timeout-}"
      STALLS=$(( STALLS + 1 ))
      echo "$name: $art replays in a fraction of a second: the machine stalled the run; going on" >&2
      rc=0
      [ -z "${RUNS:-}" ] || [ "$EXECS" -lt "$RUNS" ] || break
      continue
    fi
    break
  done
  grep -E '^(#[0-9]+ +DONE|==[0-9]+==ERROR|SUMMARY|Test unit written)' "$log" >&2 || true
  echo "$name: $EXECS executions" >&2
  if [ "$rc" -ne 0 ]; then tail -n 40 "$log" >&2; fi
  return "$rc"
}

# Targets named on the command line, or all of them.
pick() {
  if [ $# -gt 0 ]; then targets=("$@"); else mapfile -t targets < <(all_targets); fi
  for t in "${targets[@]}"; do
    [ -f "$ROOT/fuzz/$t.cpp" ] || { echo "fuzz: no target $t" >&2; exit 2; }
  done
}

cover() {
  local cov="$ROOT/build-cov"
  if [ ! -f "$cov/CMakeCache.txt" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$ROOT" -B "$cov" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTERVALO_FUZZ=ON -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
      -DCMAKE_C_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
      -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
  fi
  cmake --build "$cov" -j"$JOBS" --target "${targets[@]}"
  mkdir -p "$cov/prof" "$cov/report"
  local t specs
  printf '%-16s %-28s %-14s %6s %6s %7s\n' target file part lines missed cover
  for t in "${targets[@]}"; do
    rm -f "$cov/prof/$t".*.profraw
    # Every corpus file runs once (the directory with -runs=0).
    LLVM_PROFILE_FILE="$cov/prof/$t.%p.profraw" ASAN_OPTIONS=detect_leaks=0 \
      "$cov/fuzz/$t" -runs=0 "${LIMITS[@]}" "$ROOT/fuzz/corpus/$t" >"$cov/prof/$t.log" 2>&1 || true
    llvm-profdata-14 merge -sparse "$cov/prof/$t".*.profraw -o "$cov/prof/$t.profdata"
    read -ra specs <<<"$(readers "$t")"
    python3 "$ROOT/scripts/fuzz_cover.py" "$t" "$cov/fuzz/$t" "$cov/prof/$t.profdata" \
      "$cov/report/$t.txt" "${specs[@]}"
  done
  echo "lines never run: $cov/report/NAME.txt; what stays uncovered and why: fuzz/COVERAGE.md" >&2
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
  campaign)
    runs="${2:-}" secs="${3:-}"
    [[ "$runs" =~ ^[0-9]+$ && "$secs" =~ ^[0-9]+$ ]] || usage
    shift 3
    pick "$@"
    build "${targets[@]}"
    printf '%-16s %12s %8s %8s %6s %s\n' target executions seconds exec/s stalls result
    commit=$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo '?')
    # The ledger's own new rows are not a change to what runs.
    git -C "$ROOT" diff --quiet HEAD -- . ":(exclude)fuzz/ledger.tsv" 2>/dev/null || commit="$commit+changes"
    STOPPED=0
    for t in "${targets[@]}"; do
      start=$(date +%s)
      res=ok
      RUNS="$runs" run_one "$t" "$secs" 2>/dev/null || res="FAILED (see $BUILD/findings/$t/)"
      [ "$STOPPED" -eq 0 ] || res=stopped
      took=$(( $(date +%s) - start ))
      printf '%-16s %12s %8s %8s %6s %s\n' "$t" "$EXECS" "$took" \
        "$(( EXECS / (took > 0 ? took : 1) ))" "$STALLS" "$res"
      printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u -d "@$start" +%FT%TZ)" "$t" "$commit" \
        "$EXECS" "$took" "$STALLS" "$res" >>"$LEDGER"
      [ "$STOPPED" -eq 0 ] || break
    done
    ;;
  goal)
    runs="${2:-}"
    [[ "$runs" =~ ^[0-9]+$ ]] || usage
    shift 2
    pick "$@"
    for t in "${targets[@]}"; do
      done_=0
      [ ! -f "$LEDGER" ] ||
        done_=$(awk -F'\t' -v t="$t" '$2 == t { n += $4 } END { print n + 0 }' "$LEDGER")
      if [ "$done_" -ge "$runs" ]; then
        echo "$t: $done_ executions in the ledger, done" >&2
        continue
      fi
      "${BASH_SOURCE[0]}" campaign $(( runs - done_ )) 86400 "$t"
      # A campaign ended by 'fuzz.sh stop' ends the goal too.
      [ "$(tail -1 "$LEDGER" | cut -f7)" != stopped ] || break
    done
    ;;
  stop)
    # libFuzzer counts, prints its figures and exits at an interrupt; it
    # leaves its scratch folder behind (it skips the exit handlers).
    pkill -INT -f "^$BUILD/fuzz/fuzz_" || echo "fuzz: no campaign is running" >&2
    sleep 2
    for d in "${TMPDIR:-/dev/shm}"/tervalo_fuzz_* /tmp/tervalo_fuzz_*; do
      [ -d "$d" ] && ! kill -0 "${d##*_}" 2>/dev/null && rm -rf "$d"
    done
    true
    ;;
  ledger)
    shift
    [ -f "$LEDGER" ] || { echo "fuzz: no campaign has run yet" >&2; exit 1; }
    printf '%-16s %-18s %5s %12s %9s %s\n' target commit runs executions seconds "failed runs"
    awk -F'\t' -v only="$*" '
      BEGIN { n = split(only, w, " "); for (i = 1; i <= n; i++) want[w[i]] = 1 }
      n && !($2 in want) { next }
      { key = $2 "\t" $3; runs[key]++; ex[key] += $4; secs[key] += $5; tot[$2] += $4
        if ($7 != "ok" && $7 != "stopped") bad[key]++ }
      END {
        for (k in runs) { split(k, p, "\t")
          printf "%s 0 %-16s %-18s %5d %12d %9d %d\n", p[1], p[1], p[2], runs[k], ex[k], secs[k], bad[k] }
        for (t in tot) printf "%s 1 %-16s %-18s %5s %12d\n", t, t, "all", "", tot[t]
      }' "$LEDGER" | sort -k1,1 -k2,2n | cut -d' ' -f3-
    ;;
  minimize)
    shift
    pick "$@"
    build "${targets[@]}"
    for t in "${targets[@]}"; do
      seeds="$ROOT/fuzz/corpus/$t" fresh="$BUILD/merged/$t" found="$BUILD/merged/$t.found"
      rm -rf "$fresh" "$found"
      mkdir -p "$fresh" "$found" "$seeds" "$BUILD/corpus/$t"
      # A running campaign replaces inputs of its corpus by shorter ones: the
      # merge reads a snapshot (hard links), or it would stop at the first
      # input deleted under it and start again, for ever.
      cp -l "$BUILD/corpus/$t"/* "$found"/ 2>/dev/null || true
      # Edges only (no hit counts): the smallest set that runs every line
      # and branch the runs reached.
      "$BUILD/fuzz/$t" -merge=1 -use_counters=0 "${LIMITS[@]}" "$fresh" "$seeds" "$found" \
        >"$BUILD/findings/$t.merge.log" 2>&1 || { tail -n 20 "$BUILD/findings/$t.merge.log" >&2; exit 1; }
      rm -rf "$found"
      before=$(ls "$seeds" | wc -l)
      find "$seeds" -type f -delete
      cp "$fresh"/* "$seeds"/ 2>/dev/null || true
      echo "$t: $before -> $(ls "$seeds" | wc -l) inputs, $(cat "$seeds"/* 2>/dev/null | wc -c) bytes" >&2
    done
    ;;
  cover)
    shift
    pick "$@"
    cover
    ;;
  plant)
    shift
    exec python3 "$ROOT/scripts/fuzz_plant.py" "$@"
    ;;
  *)
    usage
    ;;
esac
