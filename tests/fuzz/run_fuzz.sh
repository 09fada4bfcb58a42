#!/bin/sh
# Builds the graphics-stack fuzz target with clang (libFuzzer, ASan, UBSan),
# replays the saved crash inputs, then fuzzes for a bounded time.
#
#   tests/fuzz/run_fuzz.sh [seconds] [build dir]
#
# Defaults: 60 seconds, build-fuzz under the source tree. Exits non-zero on
# any finding: crash, sanitizer report, leak, out-of-memory or a call slower
# than the per-call budget (QZ_FUZZ_CALL_BUDGET_MS, default 10000). Findings
# are written to <build dir>/artifacts/. The corpus grows in <build dir>/corpus;
# the seeds in tests/fuzz/corpus stay as they are.
set -eu

seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build_dir=${2:-$source_dir/build-fuzz}
cc=${QZ_FUZZ_CC:-clang}
cxx=${QZ_FUZZ_CXX:-clang++}

mkdir -p "$build_dir"
log=$build_dir/build.log

case $seconds in
  '' | *[!0-9]*) echo "run_fuzz.sh: seconds must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

cmake -S "$source_dir" -B "$build_dir" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQZ_SANITIZE=address -DQZ_BUILD_TESTS=OFF -DQZ_BUILD_BENCH=OFF \
  -DCMAKE_PROJECT_INCLUDE="$here/fuzz_target.cmake" >"$log" 2>&1 ||
  { cat "$log" >&2; exit 1; }
cmake --build "$build_dir" --target fuzz_gfx -j "$(nproc)" >"$log" 2>&1 ||
  { cat "$log" >&2; exit 1; }

fuzzer=$build_dir/fuzz_gfx
mkdir -p "$build_dir/corpus" "$build_dir/artifacts"

# Halt on the first report, with stacks; leaks count as findings.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# Inputs that once failed must stay fixed.
set -- "$here"/regressions/*
if [ -e "$1" ]; then
  "$fuzzer" -runs=1 "$@" >"$build_dir/regressions.log" 2>&1 || {
    cat "$build_dir/regressions.log" >&2
    echo "run_fuzz.sh: a saved regression input fails again" >&2
    exit 1
  }
fi

[ "$seconds" -gt 0 ] || exit 0
exec "$fuzzer" "$build_dir/corpus" "$here/corpus" \
  -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=4096 \
  -artifact_prefix="$build_dir/artifacts/" -print_final_stats=1
