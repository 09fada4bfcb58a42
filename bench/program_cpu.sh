#!/usr/bin/env bash
# The running program's own cost while it animates under a private Xvfb:
# CPU time over SECONDS (X server apart) and peak resident memory.
# Usage: bench/program_cpu.sh PROGRAM [SECONDS]   (default 30)
set -euo pipefail
program=$1
seconds=${2:-30}
server=""
child=""
cleanup() {
  for pid in $child $server; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

# A free display number, told by the server itself.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
read -r -t 10 number <&"$display_fd"

DISPLAY=":$number" "$program" &
child=$!
sleep 2  # past the picture: only the animation is measured

ticks() { cut -d')' -f2 "/proc/$child/stat" | awk '{print $12 + $13}'; }
start=$(ticks)
sleep "$seconds"
end=$(ticks)
hz=$(getconf CLK_TCK)
peak=$(awk '/VmHWM/ {print $2}' "/proc/$child/status")
awk -v t=$((end - start)) -v hz="$hz" -v s="$seconds" -v kb="$peak" 'BEGIN {
  printf "CPU %.2f s in %d s (%.2f %% of a core), peak resident %.1f MB\n", t / hz, s, 100 * t / hz / s, kb / 1024 }'
