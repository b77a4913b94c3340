#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan, the whole tree instrumented) in build-fuzz/
# (or $KT_FUZZ_DIR) and runs each for a while; fails on any finding (crash, leak, timeout, memory limit).
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
# The tree is configured as the sanitizer test tree, so KT_FUZZ_DIR=build-asan after
# `test.sh --asan` (as CI does) rebuilds nothing.
dir=${KT_FUZZ_DIR:-build-fuzz}
. scripts/asan_tree.sh
kt_configure_asan_tree "$dir"
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
