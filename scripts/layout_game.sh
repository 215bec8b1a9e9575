#!/usr/bin/env bash
# Lays out the runnable game: scripts/layout_game.sh CRS CONTENT_DIR GAME_DIR
# Every directory content/data/**/NAME.crs/ becomes the archive data/**/NAME.crs
# (its files become the entries); every other file under content/ is copied
# as it is (npc/, lua/, controls.bin, ...). save/ is created empty.
# Every Tiled map content/maps/NAME.tmx (or .tmj) becomes the level archive
# data/lvl/NAME.crs, level NAME.crs:lvl, with `crs tiled`, which also writes
# the level's characters and scripts into the copied npc/ and lua/ lists.
set -euo pipefail
CRS="$1"; CONTENT="$2"; GAME="$3"
mkdir -p "$GAME/data" "$GAME/npc" "$GAME/lua" "$GAME/save"
cd "$CONTENT"
# Plain files (anything not inside a *.crs directory, not a map or its
# tilesets and pictures, and not the generators).
find . -type f ! -path '*.crs/*' ! -path './tools/*' ! -path './maps/*' ! -name '*.py' ! -name 'README*' -print0 |
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
# Levels drawn in Tiled.
if [ -d maps ]; then
  mkdir -p "$GAME/data/lvl"
  find maps -maxdepth 1 -type f \( -name '*.tmx' -o -name '*.tmj' \) -print0 | sort -z |
    while IFS= read -r -d '' m; do
      name="$(basename "${m%.*}")"
      "$CRS" tiled "$m" "$GAME/data/lvl/$name.crs" --game "$GAME" >/dev/null
    done
fi
