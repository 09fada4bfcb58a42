#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan), replays the
# saved crash inputs, then fuzzes for a bounded time: two thirds of it the
# graphics stack (fuzz_gfx), one third the PNG loader (fuzz_png).
#
#   tests/fuzz/run_fuzz.sh [seconds] [build dir]
#
# Defaults: 60 seconds, build-fuzz under the source tree. Exits non-zero on
# any finding: crash, sanitizer report, leak, out-of-memory or a call slower
# than the per-call budget (QZ_FUZZ_CALL_BUDGET_MS, default 10000); for the
# PNG loader also any single allocation above what the largest image it
# accepts needs. Findings are written to <build dir>/artifacts/. The corpora
# grow in <build dir>/corpus and <build dir>/corpus_png; the seeds in
# tests/fuzz/corpus and tests/fuzz/corpus_png stay as they are.
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
cmake --build "$build_dir" --target fuzz_gfx fuzz_png -j "$(nproc)" >"$log" 2>&1 ||
  { cat "$log" >&2; exit 1; }

mkdir -p "$build_dir/corpus" "$build_dir/corpus_png" "$build_dir/artifacts"

# Halt on the first report, with stacks; leaks count as findings.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# The largest image the loader accepts is 256 MiB of pixels: a larger single
# allocation is memory a file's claim made it take.
png_malloc_limit_mb=320

# Inputs that once failed must stay fixed: replay <name> <regressions dir> [options].
replay() {
  name=$1
  dir=$2
  shift 2
  [ -n "$(ls -A "$here/$dir")" ] || return 0
  "$build_dir/$name" -runs=1 "$@" "$here/$dir"/* >"$build_dir/$dir.log" 2>&1 || {
    cat "$build_dir/$dir.log" >&2
    echo "run_fuzz.sh: a saved regression input of $name fails again" >&2
    exit 1
  }
}
replay fuzz_gfx regressions
replay fuzz_png regressions_png -malloc_limit_mb=$png_malloc_limit_mb

[ "$seconds" -gt 0 ] || exit 0
png_seconds=$((seconds / 3))
gfx_seconds=$((seconds - png_seconds))
"$build_dir/fuzz_gfx" "$build_dir/corpus" "$here/corpus" \
  -max_total_time="$gfx_seconds" -timeout=30 -rss_limit_mb=2048 -max_len=4096 \
  -artifact_prefix="$build_dir/artifacts/" -print_final_stats=1
[ "$png_seconds" -gt 0 ] || exit 0
exec "$build_dir/fuzz_png" "$build_dir/corpus_png" "$here/corpus_png" \
  -max_total_time="$png_seconds" -timeout=30 -rss_limit_mb=2048 -malloc_limit_mb=$png_malloc_limit_mb \
  -max_len=4096 -dict="$here/png.dict" -artifact_prefix="$build_dir/artifacts/png-" -print_final_stats=1
