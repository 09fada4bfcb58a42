#!/usr/bin/env bash
# The running program's own cost while it animates: CPU time over SECONDS
# (display server apart) and peak resident memory, under a private Xvfb or,
# with --wayland, a private headless weston (pixman renderer, as in the
# tests; --wayland=gl for its GL renderer).
# Usage: bench/program_cpu.sh [--wayland[=gl]] PROGRAM [SECONDS]   (default 30)
# SCREEN=WxH sets the display's size (default 1920x1200); the program gets
# the environment, so QZGFX_SCALE=auto measures it scaled.
set -euo pipefail
compositor=""
case "${1:-}" in
  --wayland) compositor=pixman; shift ;;
  --wayland=gl) compositor=gl; shift ;;
esac
program=$1
seconds=${2:-30}
screen=${SCREEN:-1920x1200}
server=""
child=""
runtime=""
cleanup() {
  for pid in $child $server; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  [ -n "$runtime" ] && rm -rf "$runtime"
}
trap cleanup EXIT

if [ -n "$compositor" ]; then
  runtime=$(mktemp -d /tmp/qz-bench-weston-XXXXXX)  # mode 0700, as the protocol asks
  printf '[core]\nidle-time=0\n[shell]\npanel-position=none\n[input-method]\npath=\n' >"$runtime/weston.ini"
  renderer=$([ "$compositor" = pixman ] && echo --use-pixman || echo --use-gl)
  XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so "$renderer" --width="${screen%x*}" --height="${screen#*x}" \
    --socket=bench --config="$runtime/weston.ini" --log="$runtime/weston.log" &
  server=$!
  for _ in $(seq 100); do [ -S "$runtime/bench" ] && break; sleep 0.1; done
  XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=bench QZGFX=wayland "$program" &
  child=$!
else
  # A free display number, told by the server itself.
  exec {display_fd}<> <(:)
  Xvfb -displayfd "$display_fd" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
  server=$!
  read -r -t 10 number <&"$display_fd"
  DISPLAY=":$number" "$program" &
  child=$!
fi
sleep 2  # past the picture: only the animation is measured

ticks() { cut -d')' -f2 "/proc/$child/stat" | awk '{print $12 + $13}'; }
start=$(ticks)
sleep "$seconds"
end=$(ticks)
hz=$(getconf CLK_TCK)
peak=$(awk '/VmHWM/ {print $2}' "/proc/$child/status")
awk -v t=$((end - start)) -v hz="$hz" -v s="$seconds" -v kb="$peak" 'BEGIN {
  printf "CPU %.2f s in %d s (%.2f %% of a core), peak resident %.1f MB\n", t / hz, s, 100 * t / hz / s, kb / 1024 }'
