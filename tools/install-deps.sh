#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, skipping
# whatever is already there. Usage: tools/install-deps.sh [build|test|web]
# (web: what the browser build and its test need; test includes it).
set -euo pipefail
want=(cmake g++ make pkg-config libx11-dev libx11-xcb-dev libxcb-shm0-dev libxext-dev libxrandr-dev libxss-dev libpng-dev
      libwayland-dev wayland-protocols libxkbcommon-dev)
if [ "${1:-build}" = test ]; then
  want+=(libgtest-dev libbenchmark-dev xvfb xdotool x11-xserver-utils x11-utils locales clang libclang-rt-14-dev
         g++-mingw-w64-x86-64-posix wine wine64 doxygen weston libweston-10-dev)
fi
if [ "${1:-build}" = test ] || [ "${1:-build}" = web ]; then
  want+=(emscripten chromium python3-websocket)
fi
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
