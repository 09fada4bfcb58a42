#!/usr/bin/env bash
# Runs the Windows build under Wine on a private Xvfb and checks it against
# the Linux build's facts: the picture's hashes, the window (title, size,
# what the X server shows after a full and after a partial update), keys
# through XTEST, Escape and the close request, fullscreen fallback.
# Usage: run_wine_tests.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
set -uo pipefail
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
tool="$linux_build/tests/x_window_tool"
tmp=$(mktemp -d /tmp/qz-wine.XXXXXX)
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
failures=0

cleanup() {
  wineserver -k 2>/dev/null  # the prefix's own server: ours alone
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# A prefix of our own, made without a display, crash dialogs off so that a
# crash ends the process instead of waiting on a dialog.
# Everything before the display exists must have ended (wineserver -w):
# a desktop process started without a display would serve later windows.
(
  unset DISPLAY
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
)
wineserver -w

display=""
for n in $(seq 71 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=$n; break; }
done
Xvfb ":$display" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"

# --- The picture drawn by the Windows build ------------------------------------
expected="phases 500c4478494bbc68603205c8d54ec7c81e17abe453b2ff143b8ebb1ce534ffcb
frame1 e970e37cdcf6100543f2dfe19fc4b72047723f10c4e57331ab77bfadc8a75223
frame2 93561b358c670d9e7be62e94e64d05604e2b878e11e9aacfce4630b5e7366040
frame72 6513dc1fa5dfa941726d2caadb8281a3bc43895d76e772096e90d53534d22f1d
frame73 6513dc1fa5dfa941726d2caadb8281a3bc43895d76e772096e90d53534d22f1d"
got=$(timeout 120 wine "$win_build/tests/win32/wine_picture.exe" | tr -d '\r')
[ "$got" = "$expected" ] && pass "picture hashes" || fail "picture hashes: $got"

window_of() {  # waits for a window titled $1
  timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}

# --- The window and what the server shows -------------------------------------
coproc PROBE { timeout 120 wine "$win_build/tests/win32/wine_window_probe.exe" 2>&1; }
probe_pid=$PROBE_PID
read_probe() { local line; IFS= read -r -t 60 line <&"${PROBE[0]}" && echo "${line%$'\r'}"; }
first=$(read_probe)
if [ "$first" = ready ]; then
  w=$(window_of linkageSWEEPdemo1)
  [ -n "$w" ] && pass "window titled linkageSWEEPdemo1" || fail "no window titled linkageSWEEPdemo1"
  size=$("$tool" size "$w")
  [ "$size" = 1680x1050 ] && pass "client area 1680x1050" || fail "client area $size"
  for step in full band; do
    echo "$step Z:$tmp/$step.bgra" >&"${PROBE[1]}"
    [ "$(read_probe)" = ok ] || fail "probe did not answer $step"
    sleep 0.2
    "$tool" compare "$w" "$tmp/$step.bgra" && pass "server shows the framebuffer ($step update)" ||
      fail "server differs from the framebuffer ($step update)"
  done
  echo quit >&"${PROBE[1]}"
else
  fail "probe window did not open: $first"
fi
wait "$probe_pid" 2>/dev/null; status=$?
[ "$status" = 0 ] && pass "probe ended with 0" || fail "probe ended with $status"

# --- Keys through XTEST -----------------------------------------------------------
coproc READER { timeout 120 wine "$win_build/tests/win32/wine_key_reader.exe" 2>&1; }
reader_pid=$READER_PID
read_reader() { local line; IFS= read -r -t 60 line <&"${READER[0]}" && echo "${line%$'\r'}"; }
if [ "$(read_reader)" = ready ]; then
  w=$(window_of "key reader")
  eval "$(xdotool getwindowgeometry --shell "$w")"
  xdotool mousemove $((X + 50)) $((Y + 50))
  sleep 0.5
  for k in a F1 Up ctrl+Up shift+Tab Escape; do xdotool key "$k"; sleep 0.15; done
  sleep 0.5
  echo drain >&"${READER[1]}"
  keys=""
  while line=$(read_reader) && [ "$line" != end ]; do keys="$keys${keys:+|}$line"; done
  [ "$keys" = "97|255 59|255 72|255 141|255 15|9|27" ] && pass "keys a F1 Up Ctrl+Up Shift+Tab Escape" ||
    fail "keys read: $keys"
  echo quit >&"${READER[1]}"
else
  fail "key reader did not open its window"
fi
wait "$reader_pid" 2>/dev/null

# --- The program ends on Escape and on the close request -------------------------
for way in Escape close; do
  timeout 60 wine "$win_build/linkageSWEEPdemo1.exe" >/dev/null 2>&1 &
  pid=$!
  w=$(window_of linkageSWEEPdemo1)
  if [ -z "$w" ]; then fail "program window ($way)"; kill "$pid" 2>/dev/null; continue; fi
  eval "$(xdotool getwindowgeometry --shell "$w")"
  xdotool mousemove $((X + 50)) $((Y + 50))
  sleep 0.5
  if [ "$way" = Escape ]; then xdotool key Escape; else "$tool" close "$w"; fi
  wait "$pid"; status=$?
  [ "$status" = 0 ] && pass "program ends with 0 on $way" || fail "program ended with $status on $way"
done

# --- Fullscreen that the display refuses falls back to a window -------------------
got=$(timeout 60 wine "$win_build/tests/win32/wine_fullscreen.exe" 2>/dev/null | tr -d '\r')
[ "$got" = "error 0 fullscreen 0" ] && pass "refused fullscreen falls back to windowed" || fail "fullscreen: $got"

# --- No window at all: one line on stderr, status 1 ---------------------------------
# Last: a Wine desktop started without a display would serve later windows.
wineserver -w
message=$(env -u DISPLAY timeout 60 wine "$win_build/linkageSWEEPdemo1.exe" 2>&1 >/dev/null | tr -d '\r' |
          grep -c "linkageSWEEPdemo1: cannot open a window")
env -u DISPLAY timeout 60 wine "$win_build/linkageSWEEPdemo1.exe" >/dev/null 2>&1; status=$?
[ "$status" = 1 ] && [ "$message" = 1 ] && pass "no window: message and status 1" ||
  fail "no window: status $status, message lines $message"

echo "Wine tests: $failures failure(s)"
[ "$failures" = 0 ]
