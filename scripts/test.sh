#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   scripts/test.sh          RelWithDebInfo (optimised, assertions on) in build/
#   scripts/test.sh --asan   AddressSanitizer + UndefinedBehaviorSanitizer (clang) in build-asan/,
#                            the tree the fuzz targets share
#   scripts/test.sh --tsan   ThreadSanitizer in build-tsan/
# Extra arguments after the option are passed to ctest (for example -R Logger).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=plain
if [ $# -gt 0 ]; then
  case "$1" in
    --asan) mode=asan; shift ;;
    --tsan) mode=tsan; shift ;;
    --plain) shift ;;
  esac
fi

bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
case "$mode" in
  plain) dir=build;      san="" ;;
  asan)  dir=build-asan; san=address ;;
  tsan)  dir=build-tsan; san=thread ;;
esac
# Sanitizer builds skip the benchmarks: they measure nothing useful there.
bench=ON
[ -n "$san" ] && bench=OFF

if [ "$mode" = asan ]; then
  . scripts/asan_tree.sh
  kt_configure_asan_tree "$dir"
else
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_SANITIZE="$san" -DKT_BUILD_BENCH=$bench >/dev/null
fi
cmake --build "$dir" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp}
ctest --test-dir "$dir" -j "$jobs" --output-on-failure "$@"
