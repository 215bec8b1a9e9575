#!/usr/bin/env bash
# Installs the Debian packages the build, the game and the tests need, only
# when some are missing (apt-get update first; sudo when not root).
set -euo pipefail
PKGS=(build-essential cmake pkg-config python3 python3-pil python3-clang-14
      libsdl1.2-dev libsdl-image1.2-dev liblua5.1-0-dev zlib1g-dev libglew-dev libsndfile1-dev
      libgl1-mesa-dri libglu1-mesa
      libgtest-dev googletest libbenchmark-dev clang-14 libclang-rt-14-dev
      libpugixml-dev nlohmann-json3-dev lua5.1 ccache tiled glslang-dev glslang-tools
      xvfb xauth x11-utils xdotool imagemagick valgrind llvm-14 util-linux)
missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then exit 0; fi
echo "deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
