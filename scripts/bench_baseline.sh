#!/usr/bin/env bash
# Builds the whole-program bench drivers against an older revision of the
# engine, for figures measured side by side with it in one run:
#   scripts/bench_baseline.sh REV OUT_DIR
# Exports REV (a commit, tag or branch) into OUT_DIR, puts the current tree's
# bench drivers into it, and builds them with the game folder in
# OUT_DIR/build (the same layout as a checkout, so ccache reuses objects
# other checkouts compiled). Rebuilding the same revision reuses the build.
set -euo pipefail
cd "$(dirname "$0")/.."
REV="$1"
OUT="$(mkdir -p "$2" && cd "$2" && pwd)"
SHA="$(git rev-parse --verify "$REV^{commit}")"
SRC="$OUT"
if [ "$(cat "$OUT/rev" 2>/dev/null)" != "$SHA" ]; then
  find "$OUT" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
  git archive "$SHA" | tar -x -C "$SRC"
  echo "$SHA" > "$OUT/rev"
fi
# The drivers come from the current tree; they use only interfaces that
# older revisions have as well.
for f in bench/demo_views.cpp; do
  [ -f "$f" ] && cp -p "$f" "$SRC/$f"
done
cmake -S "$SRC" -B "$OUT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$OUT/build" -j"${JOBS:-2}" --target demo_views game_data >/dev/null
echo "$OUT/build"
