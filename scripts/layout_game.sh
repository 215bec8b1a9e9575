#!/usr/bin/env bash
# Lays out the runnable game: scripts/layout_game.sh CRS CONTENT_DIR GAME_DIR
# Every directory content/data/**/NAME.crs/ becomes the archive data/**/NAME.crs
# (its files become the entries); every other file under content/ is copied
# as it is (npc/, lua/, controls.bin, ...). save/ is created empty.
set -euo pipefail
CRS="$1"; CONTENT="$2"; GAME="$3"
mkdir -p "$GAME/data" "$GAME/npc" "$GAME/lua" "$GAME/save"
cd "$CONTENT"
# Plain files (anything not inside a *.crs directory, and not the generators).
find . -type f ! -path '*.crs/*' ! -path './tools/*' ! -name '*.py' ! -name 'README*' -print0 |
  while IFS= read -r -d '' f; do
    mkdir -p "$GAME/$(dirname "$f")"
    cp -p "$f" "$GAME/$f"
  done
# Archives.
find . -type d -name '*.crs' -print0 | while IFS= read -r -d '' d; do
  out="$GAME/$d"
  mkdir -p "$(dirname "$out")"
  "$CRS" pack -q "$out.tmp" "$d"
  mv -f "$out.tmp" "$out"
done
