#!/usr/bin/env bash
# Runs the Windows build under Wine on a private Xvfb and checks it against
# the Linux build's facts: the picture's hashes; for each window back end
# (Direct2D, DirectX, GDI) in one start of a probe program: the window (title,
# size, what the X server shows after a full and after a partial update),
# keys through XTEST into the key queue and key_state, Escape and the close
# request; which back end the selection chooses; the animation's pace on
# DirectX; the colour key of layered windows; a window at twice the picture's
# size and widened (exact pixels, each back end); fullscreen the display refuses.
# Usage: run_wine_tests.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
set -uo pipefail
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
tool="$linux_build/tests/x_window_tool"
probe_exe="$win_build/tests/win32/wine_window_probe.exe"
tmp=$(mktemp -d /tmp/qz-wine.XXXXXX)
base_overrides="mscoree,mshtml="
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="$base_overrides"
xvfb_pid=""
no_glx_pid=""
probe_pid=""
failures=0

cleanup() {
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  wineserver -k 2>/dev/null  # the prefix's own server: ours alone
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$no_glx_pid" ] && kill "$no_glx_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
expect() {  # expect WHAT GOT WANTED
  [ "$2" = "$3" ] && pass "$1" || fail "$1: got '$2', wanted '$3'"
}
stage_start=$(date +%s)
stage() { echo "   ($(( $(date +%s) - stage_start )) s) $*"; }

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

# A server of our own: -displayfd picks a free number without racing other
# runs on the machine and writes it once the server is ready.
start_xvfb() {  # start_xvfb NAME XVFB-ARGS...: ${NAME}_pid, the number in $tmp/NAME.number
  local name=$1 number=""
  shift
  Xvfb -displayfd 3 "$@" -nolisten tcp 3>"$tmp/$name.number" >/dev/null 2>&1 &
  printf -v "${name}_pid" %s "$!"
  for _ in $(seq 100); do
    number=$(cat "$tmp/$name.number" 2>/dev/null)
    [ -n "$number" ] && break
    sleep 0.1
  done
}
start_xvfb xvfb -screen 0 1920x1200x24
display=$(cat "$tmp/xvfb.number")
export DISPLAY=":$display"

# --- The picture drawn by the Windows build ------------------------------------
phases=500c4478494bbc68603205c8d54ec7c81e17abe453b2ff143b8ebb1ce534ffcb
expected="phases $phases
frame1 e970e37cdcf6100543f2dfe19fc4b72047723f10c4e57331ab77bfadc8a75223
frame2 93561b358c670d9e7be62e94e64d05604e2b878e11e9aacfce4630b5e7366040
frame72 6513dc1fa5dfa941726d2caadb8281a3bc43895d76e772096e90d53534d22f1d
frame73 6513dc1fa5dfa941726d2caadb8281a3bc43895d76e772096e90d53534d22f1d"
got=$(timeout 120 wine "$win_build/tests/win32/wine_picture.exe" | tr -d '\r')
[ "$got" = "$expected" ] && pass "picture hashes" || fail "picture hashes: $got"

window_of() {  # waits for a window titled $1
  timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}

# The probe: one start per back end, driven line by line. Direct2D takes
# 8-16 s to start under Wine, hence the generous limits.
start_probe() {  # start_probe WINEDLLOVERRIDES [VAR=VALUE...]
  local overrides=$1
  shift
  coproc PROBE { env WINEDLLOVERRIDES="$overrides" "$@" timeout 180 wine "$probe_exe" 2>&1; }
  probe_pid=$PROBE_PID
}
ask() {  # ask COMMAND: sends a command, prints the answer's line
  echo "$1" >&"${PROBE[1]}"
  local line
  IFS= read -r -t 60 line <&"${PROBE[0]}" && echo "${line%$'\r'}"
}
probe_ready() {
  local line
  IFS= read -r -t 90 line <&"${PROBE[0]}" && [ "${line%$'\r'}" = ready ]
}
end_probe() {  # end_probe: its exit status
  local status
  wait "$probe_pid" 2>/dev/null; status=$?
  probe_pid=""
  return "$status"
}

# Everything one back end must do, in one start of the probe, which ends by
# Escape or by the close request ($ending).
check_back_end() {  # check_back_end NAME ENDING WINEDLLOVERRIDES [VAR=VALUE...]
  local name=$1 ending=$2 w size step keys
  shift 2
  start_probe "$@"
  if ! probe_ready; then
    fail "$name: probe window did not open"
    kill "$probe_pid" 2>/dev/null; end_probe
    return
  fi
  stage "$name started"
  expect "$name: the back end chosen" "$(ask driver)" "$name"
  expect "$name: the framebuffer's hash" "$(ask hash)" "$phases"
  expect "$name: the pass takes the unlock's request" "$(ask request)" taken
  expect "$name: the display's mode among the 32-bit modes" "$(ask modes)" listed
  w=$(window_of linkageSWEEPdemo1)
  size=$("$tool" size "$w")
  expect "$name: window titled linkageSWEEPdemo1, client area" "$size" 1680x1050
  for step in full band; do
    [ "$(ask "$step Z:$tmp/$step.bgra")" = ok ] || fail "$name: probe did not answer $step"
    sleep 0.2
    "$tool" compare "$w" "$tmp/$step.bgra" && pass "$name: server shows the framebuffer ($step update)" ||
      fail "$name: server differs from the framebuffer ($step update)"
  done
  # Keys go to the window under the pointer; the focus makes it the
  # foreground window, which DirectInput needs.
  eval "$(xdotool getwindowgeometry --shell "$w")"
  xdotool mousemove $((X + 50)) $((Y + 50))
  xdotool windowfocus --sync "$w" 2>/dev/null
  sleep 0.5
  xdotool keydown a; sleep 0.3
  expect "$name: key_state while a is held" "$(ask 'held 30')" held
  xdotool keyup a; sleep 0.3
  expect "$name: key_state after a is let go" "$(ask 'held 30')" up
  for k in F1 Up ctrl+Up shift+Tab Escape; do xdotool key "$k"; sleep 0.15; done
  "$tool" close "$w"
  sleep 0.5
  keys=$(ask keys)
  expect "$name: keys a F1 Up Ctrl+Up Shift+Tab Escape, close request" "$keys" \
    "97|255 59|255 72|255 141|255 15|9|27|255 107 ends"
  if [ "$name" = DirectX ]; then
    # One frame is 27 vertical-sync waits: 432 ms at 16 ms each, more on a
    # busy machine; a wait that returns at once would make it a few ms.
    local pace
    pace=$(ask "pace 6")
    [ -n "$pace" ] && [ "$pace" -ge 380 ] && [ "$pace" -le 800 ] && pass "$name: frame pace $pace ms" ||
      fail "$name: frame pace '$pace' ms, wanted about 432"
  fi
  echo run >&"${PROBE[1]}"
  sleep 0.5
  if [ "$ending" = Escape ]; then xdotool key Escape; else "$tool" close "$w"; fi
  end_probe
  expect "$name: the program ends on $ending with status" "$?" 0
  stage "$name done"
}

# Without QZGFX Direct2D comes first; without d2d1.dll DirectX; QZGFX names
# the one tried first.
check_back_end Direct2D close "$base_overrides"
check_back_end DirectX Escape "$base_overrides;d2d1="
check_back_end GDI close "$base_overrides" QZGFX=gdi

chosen() {  # chosen WINEDLLOVERRIDES [VAR=VALUE...]: the back end the probe gets
  start_probe "$@"
  probe_ready && ask driver && echo quit >&"${PROBE[1]}"
  end_probe
}
expect "QZGFX=directx tries DirectX first" "$(chosen "$base_overrides" QZGFX=directx)" DirectX
expect "without d2d1.dll and ddraw.dll: GDI" "$(chosen "$base_overrides;d2d1=;ddraw=")" GDI
expect "QZGFX=opengl without an OpenGL mode: not OpenGL" \
  "$(chosen "$base_overrides;d2d1=;ddraw=" QZGFX=opengl)" GDI
stage "selection done"

# --- The program ends on Escape and on the close request -------------------------
for way in Escape close; do
  timeout 120 wine "$win_build/linkageSWEEPdemo1.exe" >/dev/null 2>&1 &
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
stage "program done"

# --- The OpenGL mode --------------------------------------------------------------
# The first three back ends refuse an OpenGL mode; the program's GL drawing
# shows on the server; keys and the close request come through poll_events
# and through flip; Alt+Enter keeps the context.
gl_run() {  # gl_run DISPLAY: starts the OpenGL test program as GL
  coproc GL { DISPLAY=$1 timeout 60 wine "$win_build/tests/win32/wine_opengl.exe" "Z:$tmp/gl.bgra" 2>&1; }
  probe_pid=$GL_PID
}
gl_ask() {
  [ -n "${1:-}" ] && echo "$1" >&"${GL[1]}"
  local line
  IFS= read -r -t 60 line <&"${GL[0]}" && echo "${line%$'\r'}"
}
gl_run "$DISPLAY"
expect "OpenGL mode: the back end chosen" "$(gl_ask)" "driver OpenGL version given"
w=$(window_of wine_opengl)
"$tool" compare "$w" "$tmp/gl.bgra" && pass "OpenGL mode: server shows the clear colour and the quad" ||
  fail "OpenGL mode: server differs from the GL drawing"
eval "$(xdotool getwindowgeometry --shell "$w")"
xdotool mousemove $((X + 50)) $((Y + 50))
xdotool windowfocus --sync "$w" 2>/dev/null
sleep 0.3
for k in a F1 Up Escape; do xdotool key "$k"; sleep 0.1; done
expect "OpenGL mode: keys a F1 Up Escape through poll_events" "$(gl_ask keys)" "97|255 59|255 72|27"
"$tool" close "$w"
expect "OpenGL mode: the close request through poll_events" "$(gl_ask keys)" "255 107"
expect "OpenGL mode: the program's WM_QUIT and thread messages left in its queue" "$(gl_ask messages)" "kept kept"
"$tool" close "$w"
expect "OpenGL mode: a loop that only flips takes the close request" "$(gl_ask flips)" "255 107"
# Alt+Enter builds the window again (fullscreen is refused here, so twice):
# the context, its texture and its drawing come along.
expect "OpenGL mode: Alt+Enter keeps the context's texture" "$(gl_ask switch)" "texture kept"
w=$(window_of wine_opengl)
sleep 0.2
"$tool" compare "$w" "$tmp/gl.bgra" && pass "OpenGL mode: after Alt+Enter the server shows the drawing" ||
  fail "OpenGL mode: after Alt+Enter the server differs from the GL drawing"
echo quit >&"${GL[1]}"
end_probe
expect "OpenGL mode: program ends with status" "$?" 0

# A server without GLX: refused (windowed and fullscreen), error 1, no window.
start_xvfb no_glx -screen 0 1280x1024x24 -extension GLX
no_glx=$(cat "$tmp/no_glx.number")
gl_run ":$no_glx"
expect "OpenGL mode without GLX: refused" "$(gl_ask)" "error 1 version ''"
left=$(DISPLAY=":$no_glx" xdotool search --onlyvisible --name '^wine_opengl$' 2>/dev/null | wc -l)
expect "OpenGL mode without GLX: no window left" "$left" 0
echo quit >&"${GL[1]}"
end_probe
kill "$no_glx_pid" 2>/dev/null
no_glx_pid=""
stage "OpenGL done"

# --- Layered windows at depth 16: magenta is see-through ---------------------------
# The window's shape on the server: out at magenta points, in on the green box.
for back_end in gdi:GDI direct2d:Direct2D; do
  coproc LAYERED { env QZGFX="${back_end%%:*}" timeout 120 wine "$win_build/tests/win32/wine_layered.exe" 2>&1; }
  probe_pid=$LAYERED_PID
  IFS= read -r -t 90 line <&"${LAYERED[0]}"
  w=$(window_of wine_layered)
  expect "layered window at depth 16 (${back_end#*:}): magenta see-through, the box shown" \
    "${line%$'\r'} $("$tool" shown "$w" 10 10 150 75 150 150 300 190)" "${back_end#*:} ready out in out out"
  echo >&"${LAYERED[1]}"
  end_probe
done
stage "layered done"

# --- QZGFX_SCALE=2: twice the client area, every pixel its picture pixel's, ---------
# --- also after the window is widened (a new fit, new buffers) -----------------------
shown_exactly() {  # shown_exactly WINDOW FILE: "exact" once the server shows it (a busy Wine may be late)
  for _ in $(seq 10); do
    "$tool" compare "$1" "$2" 2>/dev/null && echo exact && return
    sleep 0.3
  done
  "$tool" compare "$1" "$2"
}
for back_end in gdi:GDI direct2d:Direct2D directx:DirectX; do
  coproc SCALED { env QZGFX="${back_end%%:*}" QZGFX_SCALE=2 timeout 120 \
                    wine "$win_build/tests/win32/wine_scaled.exe" "Z:$tmp/scaled.bgra" 2>&1; }
  probe_pid=$SCALED_PID
  IFS= read -r -t 90 line <&"${SCALED[0]}"
  w=$(window_of wine_scaled)
  shown=$(shown_exactly "$w" "$tmp/scaled.bgra")
  expect "QZGFX_SCALE=2 (${back_end#*:}): client area, every pixel its picture pixel's" \
    "${line%$'\r'} $("$tool" size "$w") $shown" "${back_end#*:} ready 320x200 exact"
  echo >&"${SCALED[1]}"
  IFS= read -r -t 60 line <&"${SCALED[0]}"
  shown=$(shown_exactly "$w" "$tmp/scaled.bgra")
  expect "QZGFX_SCALE=2 (${back_end#*:}): widened to 400x200, the picture refitted between black bars" \
    "${line%$'\r'} $("$tool" size "$w") $shown" "resized 400x200 exact"
  echo >&"${SCALED[1]}"
  end_probe
done
stage "scaled done"

# --- Fullscreen that the display refuses covers the monitor at its own mode -------
got=$(timeout 60 wine "$win_build/tests/win32/wine_fullscreen.exe" 2>/dev/null | tr -d '\r')
[ "$got" = "error 0 fullscreen 1 covers 1" ] && pass "refused fullscreen covers the monitor, picture fitted" ||
  fail "fullscreen: $got"

# --- No window at all: one line on stderr, status 1 ---------------------------------
# Last: a Wine desktop started without a display would serve later windows.
wineserver -w
message=$(env -u DISPLAY timeout 60 wine "$win_build/linkageSWEEPdemo1.exe" 2>&1 >/dev/null | tr -d '\r' |
          grep -c "linkageSWEEPdemo1: cannot open a window")
env -u DISPLAY timeout 60 wine "$win_build/linkageSWEEPdemo1.exe" >/dev/null 2>&1; status=$?
[ "$status" = 1 ] && [ "$message" = 1 ] && pass "no window: message and status 1" ||
  fail "no window: status $status, message lines $message"

stage "all done"
echo "Wine tests: $failures failure(s)"
[ "$failures" = 0 ]
