#!/usr/bin/env bash
# Prints non-blank C/C++ lines in tests/ folders against the rest of the code
# (benchmarks and examples left out) and their ratio; the suite aims at 1/4 to 1/3.
#   scripts/test_ratio.sh        totals only
#   scripts/test_ratio.sh -v     also one line per test file
set -euo pipefail
cd "$(dirname "$0")/.."

# Tracked and new (not ignored) files, so build folders never count.
files=$(git ls-files --cached --others --exclude-standard \
          | grep -E '\.(c|cc|cpp|cxx|h|hh|hpp|hxx)$' \
          | grep -Ev '^(bench|examples)/' \
          | while read -r f; do [ -f "$f" ] && echo "$f"; done)

count() { [ -z "$1" ] && { echo 0; return; }; echo "$1" | xargs grep -hcv '^[[:space:]]*$' | awk '{s += $1} END {print s + 0}'; }

tests=$(echo "$files" | grep -E '(^|/)tests/' || true)
code=$(echo "$files" | grep -Ev '(^|/)tests/' || true)
t=$(count "$tests")
c=$(count "$code")

if [ "${1:-}" = "-v" ]; then
  echo "$tests" | while read -r f; do printf '%6d %s\n' "$(grep -cv '^[[:space:]]*$' "$f")" "$f"; done | sort -rn
fi
awk -v t="$t" -v c="$c" 'BEGIN { printf "tests %d, code %d, ratio %.2f\n", t, c, (c ? t / c : 0) }'
