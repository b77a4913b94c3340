#!/usr/bin/env bash
# Installs what is missing, builds, and runs the application for a while, its log on the terminal.
#   scripts/run.sh [seconds] [application options...]
# seconds: how long to run before SIGTERM (default 10, or RUN_SECONDS; 0 runs until Ctrl-C).
# The video comes from the stand-in SDK: the synthetic scene unless CSDK_SOURCE names a clip or a
# stream; CS_APP_HOME defaults to the sample home folder examples/. See README.md for the CSDK_*
# variables. BUILD_DIR picks another build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target veltrano

seconds=${1:-${RUN_SECONDS:-10}}
[ $# -gt 0 ] && shift
export CS_APP_HOME=${CS_APP_HOME:-$PWD/examples}
export CSDK_SOURCE=${CSDK_SOURCE:-synthetic}
echo "run: CS_APP_HOME=$CS_APP_HOME CSDK_SOURCE=$CSDK_SOURCE, stopping after ${seconds}s (0: Ctrl-C)"

"$build/app/veltrano" "$@" &
app=$!
timer=""
trap 'kill -TERM "$app" 2>/dev/null || true' INT TERM
if [ "$seconds" != "0" ]; then
  (sleep "$seconds"; kill -TERM "$app" 2>/dev/null || true) &
  timer=$!
fi
status=0
# A trapped Ctrl-C interrupts the first wait; the second collects the exit status.
wait "$app" || status=$?
if kill -0 "$app" 2>/dev/null; then wait "$app" || status=$?; fi
[ -n "$timer" ] && kill "$timer" 2>/dev/null || true
echo "run: veltrano exited with status $status (log file: /var/log/Veltrano.log)"
exit "$status"
