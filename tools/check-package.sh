#!/usr/bin/env bash
# qzgfx as a package, the way users get it: the library built and installed
# on its own (static and shared), the examples built out of tree against the
# installed package with g++ and clang++ (find_package, and pkg-config
# --static for the C one), consumers that take the sources through
# add_subdirectory and FetchContent, and every program run under a private
# Xvfb until it ends by itself with status 0. The installed files name
# their dependencies, never this machine's library paths, and the shared
# package serves a C++ user at -Wold-style-cast -Werror who has no X11 or
# libpng development files.
# Usage: tools/check-package.sh X_WINDOW_TOOL   (sends the close request)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
close_tool=$1
work=$(mktemp -d /tmp/qz-package.XXXXXX)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
jobs=$(nproc)
quiet() { "$@" >"$work/last.log" 2>&1 || { cat "$work/last.log"; return 1; }; }

# A private X server: -displayfd picks a free number atomically (looking for
# free lock files races with other runs on the machine); -noreset, because a
# server resetting as the last client leaves can refuse the next example.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$work/display")"
xdpyinfo >/dev/null 2>&1 || { echo "check-package: Xvfb did not start"; exit 1; }
unset QZGFX

# Runs a program until its window shows, then asks it to end the way it
# expects (a key, a click, the close request) and wants status 0.
run_example() {
  local program=$1 how=$2
  "$program" "$work/out.png" >/dev/null &
  local pid=$! wid=""
  for _ in $(seq 200); do
    wid=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && break
    sleep 0.05
  done
  [ -n "$wid" ] || { kill "$pid" 2>/dev/null; echo "$program: no window"; return 1; }
  # The program's status says whether it got what it waited for.
  case $how in
    # The key goes where the focus is, once the program has taken it: a key
    # sent earlier may land on the root window, where the previous
    # example's window left the focus.
    key) for _ in $(seq 100); do
           [ "$(xdotool getwindowfocus 2>/dev/null)" = "$wid" ] && break
           sleep 0.05
         done
         xdotool mousemove --window "$wid" 10 10 key Escape 2>/dev/null || true ;;
    close) xdotool mousemove --window "$wid" 50 50 key --window "$wid" a click 1 2>/dev/null || true
           sleep 0.3
           "$close_tool" close "$wid" 2>/dev/null || true ;;
  esac
  local status=0
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then kill "$pid"; echo "$program: still running"; return 1; fi
  wait "$pid" || status=$?
  [ "$status" = 0 ] || { echo "$program: status $status"; return 1; }
  echo "  ran $(basename "$program")"
}
run_all() {
  local dir=$1
  run_example "$dir/hello" key
  run_example "$dir/animation" key
  run_example "$dir/input" close
  run_example "$dir/images" key
  [ -s "$work/out.png" ] || { echo "images: no PNG written"; return 1; }
  run_example "$dir/palette" key
  # Built where the system's GL headers and library are found.
  if [ -x "$dir/gl_triangle" ]; then run_example "$dir/gl_triangle" key; fi
}

for kind in static shared; do
  shared=$([ $kind = shared ] && echo ON || echo OFF)
  prefix=$work/prefix-$kind
  echo "--- $kind library: build, install to $prefix"
  quiet cmake -S "$src" -B "$work/lib-$kind" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=$shared \
        -DQZ_BUILD_DEMO=OFF -DQZ_BUILD_TESTS=OFF -DQZ_BUILD_BENCH=OFF -DQZ_BUILD_EXAMPLES=OFF
  quiet cmake --build "$work/lib-$kind" -j"$jobs"
  quiet cmake --install "$work/lib-$kind" --prefix "$prefix"
  lib=$prefix/lib/libqzgfx.a
  [ $kind = shared ] && lib=$prefix/lib/libqzgfx.so.$(sed -n 's/^Version: //p' "$prefix/lib/pkgconfig/qzgfx.pc")
  bash "$src/tests/api/check_exports.sh" "$lib"
  if grep -rnE '/usr/lib|\.so[";]' "$prefix/lib/cmake/qzgfx"; then
    echo "check-package: the installed $kind package holds library paths"; exit 1
  fi
  for compiler in g++ clang++; do
    c_compiler=$([ $compiler = g++ ] && echo gcc || echo clang)
    echo "--- examples with $compiler against the installed $kind package (find_package)"
    quiet cmake -S "$src/examples" -B "$work/ex-$kind-$compiler" -DCMAKE_PREFIX_PATH="$prefix" \
          -DCMAKE_CXX_COMPILER=$compiler -DCMAKE_C_COMPILER=$c_compiler -DCMAKE_BUILD_TYPE=Release
    quiet cmake --build "$work/ex-$kind-$compiler" -j"$jobs"
    LD_LIBRARY_PATH="$prefix/lib" run_all "$work/ex-$kind-$compiler"
  done
  echo "--- hello.c through pkg-config ($kind)"
  static_flag=$([ $kind = static ] && echo --static || echo)
  # shellcheck disable=SC2046
  cc -std=c11 -Wall -Wextra -pedantic -Werror "$src/examples/hello.c" -o "$work/hello-pc-$kind" \
     $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs $static_flag qzgfx)
  mkdir -p "$work/pc-$kind" && mv "$work/hello-pc-$kind" "$work/pc-$kind/hello"
  LD_LIBRARY_PATH="$prefix/lib" run_example "$work/pc-$kind/hello" key
done

echo "--- C++ users of the shared package without X11 or libpng development files, at -Wold-style-cast -Werror"
prefix=$work/prefix-shared
user=$work/user-shared
mkdir -p "$user"
cat >"$user/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.22)
project(user LANGUAGES CXX)
find_package(qzgfx REQUIRED)
get_target_property(links qzgfx::qzgfx INTERFACE_LINK_LIBRARIES)
if(links MATCHES "X11|PNG|xcb|wayland|xkbcommon|Threads")
  message(FATAL_ERROR "the shared package hands on its own dependencies: ${links}")
endif()
foreach(example animation input images palette)
  add_executable(${example} ${EXAMPLES}/${example}.cpp)
  # -I, not -isystem: warnings from the installed header count.
  set_target_properties(${example} PROPERTIES CXX_STANDARD 17 NO_SYSTEM_FROM_IMPORTED ON)
  target_compile_options(${example} PRIVATE -Wall -Wextra -Wold-style-cast -Werror)
  target_link_libraries(${example} PRIVATE qzgfx::qzgfx)
endforeach()
CMAKE
quiet cmake -S "$user" -B "$user/build" -DCMAKE_PREFIX_PATH="$prefix" -DEXAMPLES="$src/examples" \
      -DCMAKE_DISABLE_FIND_PACKAGE_X11=ON -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON
quiet cmake --build "$user/build" -j"$jobs"
# pkg-config sees only qzgfx's own file, none of the system's.
flags=$(PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" pkg-config --cflags --libs qzgfx)
# shellcheck disable=SC2086
quiet clang++ -std=c++17 -Wall -Wextra -Wold-style-cast -Werror "$src/examples/input.cpp" -o "$user/input-pc" $flags
if g++ -std=c++14 -fsyntax-only -I"$prefix/include" "$src/examples/input.cpp" >"$work/cxx14.log" 2>&1 ||
   ! grep -q "needs C++17" "$work/cxx14.log"; then
  echo "check-package: qzgfx.hpp below C++17 does not say it needs C++17"; exit 1
fi

for way in add_subdirectory FetchContent; do
  echo "--- a consumer taking the sources through $way"
  consumer=$work/consumer-$way
  mkdir -p "$consumer"
  cp "$src/examples/hello.c" "$consumer/"
  if [ $way = add_subdirectory ]; then
    take="add_subdirectory(\"$src\" qzgfx)"
  else
    take="include(FetchContent)
FetchContent_Declare(qzgfx SOURCE_DIR \"$src\")
FetchContent_MakeAvailable(qzgfx)"
  fi
  cat >"$consumer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.22)
project(consumer LANGUAGES C CXX)
$take
add_executable(hello hello.c)
target_link_libraries(hello PRIVATE qzgfx::qzgfx)
CMAKE
  quiet cmake -S "$consumer" -B "$consumer/build" -DCMAKE_BUILD_TYPE=Release
  quiet cmake --build "$consumer/build" -j"$jobs"
  run_example "$consumer/build/hello" key
done
echo "=== package: every example built and ran"
