#!/usr/bin/env bash
# Starts the laid-out game from its own folder. Without a usable display it
# plays a short scripted session under Xvfb and saves screenshots and the
# console log into GAME_DIR/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
GAME="$(cd "${1:-build/game}" && pwd)"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  cd "$GAME"
  exec ./tervalo
fi
echo "play: no display, playing a scripted session under Xvfb"
exec /usr/bin/python3 scripts/game_driver.py play "$GAME" "$GAME/screenshots"
