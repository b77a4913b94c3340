#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan, the whole tree instrumented) in build-fuzz/
# and runs each for a while; fails on any finding (crash, leak, timeout, memory limit).
#   scripts/fuzz.sh [seconds per target, default 60] [target names...]
# Seeds are generated into build-fuzz/seeds/<target>; what a run learns stays in
# build-fuzz/corpus/<target>, findings go to build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(binary xml stream texts image jpeg settings svm net)

bash scripts/setup.sh
dir=build-fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"
# -O1 with line tables: the fuzzers' speed hardly suffers, the whole-tree build is much quicker.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_C_FLAGS_FUZZ="-O1 -g1" -DCMAKE_CXX_FLAGS_FUZZ="-O1 -g1" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  "${launcher[@]}" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DKT_BUILD_TESTS=OFF -DKT_BUILD_BENCH=OFF -DKT_BUILD_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target make_seeds "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
rm -rf "$dir/seeds"
"$dir/fuzz/make_seeds" "$dir/seeds" >/dev/null
mkdir -p "$dir/findings"
status=0
for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t"
  log="$dir/findings/$t.log"
  if "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=1024 -malloc_limit_mb=256 -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" "$dir/corpus/$t" "$dir/seeds/$t" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz: $t: $runs executions in ${seconds}s, no finding"
  else
    echo "fuzz: $t: FINDING (log $log)"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5 || true
    status=1
  fi
done
exit $status
