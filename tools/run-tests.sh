#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in three
# configurations: plain, AddressSanitizer with UBSan, and ThreadSanitizer;
# then the package check (install, examples against it) and the API
# reference, a bounded fuzzing run, and the Windows build, cross-compiled
# and tested under Wine; the web build, tested in headless Chromium. Tests that
# need an X server start their own Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test
jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# ThreadSanitizer sleeps a second at exit while other threads live (the
# termination watchdog always does); the exit-time tests would time that.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:atexit_sleep_ms=0
for config in plain address thread; do
  dir=build-test-$config
  sanitize=$([ "$config" = plain ] && echo "" || echo "$config")
  type=$([ "$config" = plain ] && echo Release || echo RelWithDebInfo)
  echo "=== $config: configure and build ($dir)"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DQZ_SANITIZE="$sanitize" \
        -DQZ_BUILD_BENCH="$([ "$config" = plain ] && echo ON || echo OFF)" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "=== $config: tests"
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
done
echo "=== package: install, examples out of tree (g++, clang++, pkg-config), add_subdirectory, FetchContent"
bash tools/check-package.sh "$PWD/build-test-plain/tests/x_window_tool"
echo "=== API reference: every public name documented"
doxygen docs/Doxyfile

echo "=== fuzzing: 60 s (40 s the graphics stack, 20 s the PNG loader) under ASan and UBSan (clang, libFuzzer)"
bash tests/fuzz/run_fuzz.sh 60 build-test-fuzz

echo "=== windows: cross-build with mingw-w64, tests under Wine"
cmake -S . -B build-test-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQZ_BUILD_BENCH=OFF \
      -DQZ_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build-test-win -j"$jobs"
bash tests/win32/run_wine_tests.sh build-test-plain build-test-win

echo "=== web: WebAssembly pages (emscripten; threaded, then ASYNCIFY), tested in headless Chromium"
for preset in web web-asyncify; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  /usr/bin/python3 tests/web/web_test.py "build/$preset" build-test-plain/linkageSWEEPdemo1-snapshot
done
echo "=== all configurations passed"
