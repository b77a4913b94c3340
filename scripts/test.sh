#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   scripts/test.sh          RelWithDebInfo (optimised, assertions on) in build/
#   scripts/test.sh --asan   AddressSanitizer + UndefinedBehaviorSanitizer (clang) in build-asan/,
#                            the tree the fuzz targets share
#   scripts/test.sh --tsan   ThreadSanitizer in build-tsan/
#   scripts/test.sh --armhf  the camera's 32-bit ARM build in build-armhf/, every test program run
#                            under qemu-arm; host programs (built in build/) are compared with the
#                            ARM ones: pipeline digests frame by frame, and every binary form
# Extra arguments after the option are passed to ctest (for example -R Logger).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=plain
if [ $# -gt 0 ]; then
  case "$1" in
    --asan) mode=asan; shift ;;
    --tsan) mode=tsan; shift ;;
    --armhf) mode=armhf; shift ;;
    --plain) shift ;;
  esac
fi

if [ "$mode" = armhf ]; then bash scripts/setup.sh --armhf; else bash scripts/setup.sh; fi

jobs=$(nproc 2>/dev/null || echo 2)
case "$mode" in
  plain) dir=build;      san="" ;;
  asan)  dir=build-asan; san=address ;;
  tsan)  dir=build-tsan; san=thread ;;
  armhf) dir=build-armhf; san="" ;;
esac
# Sanitizer builds skip the benchmarks: they measure nothing useful there.
bench=ON
[ -n "$san" ] && bench=OFF
[ "$mode" = armhf ] && bench=OFF

if [ "$mode" = asan ]; then
  . scripts/asan_tree.sh
  kt_configure_asan_tree "$dir"
elif [ "$mode" = armhf ]; then
  # The host's programs that the ARM ones are compared with: the replay tool frame by frame, and
  # the written forms of every value type.
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "$jobs" --target veltrano_replay make_seeds check_forms
  # -O2 and assertions as on the host, without debug information: the camera build is for running,
  # and it compiles faster.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2" -DCMAKE_C_FLAGS_RELEASE="-O2" \
        -DKT_BUILD_BENCH=OFF -DKT_HOST_BUILD_DIR="$PWD/build" >/dev/null
else
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_SANITIZE="$san" -DKT_BUILD_BENCH=$bench >/dev/null
fi
cmake --build "$dir" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp}
ctest --test-dir "$dir" -j "$jobs" --output-on-failure "$@"
