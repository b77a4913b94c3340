#!/usr/bin/env bash
# The same frames through the host build and the cross build (under its emulator) must give identical
# per-frame digests: masks, blobs, tracked objects and events, bit for bit.
#   digest_compare.sh <host veltrano_replay> <target veltrano_replay> <emulator> <settings> <work dir>
set -euo pipefail
host=$1 target=$2 emulator=$3 settings=$4 work=$5
if [ ! -x "$host" ]; then
  echo "digest_compare: no host build of veltrano_replay at '$host' (configure the cross build with -DKT_HOST_TOOLS_DIR)" >&2
  exit 1
fi
mkdir -p "$work"
# Gray by day, colour by day (frames up to 192 wide), and the night scene at the camera's usual size.
cases=(
  "day320 --source synthetic --size 320x240"
  "colour176 --source synthetic --size 176x144"
  "night640 --source synthetic:night --size 640x480 --night"
)
status=0
for c in "${cases[@]}"; do
  read -r name args <<<"$c"
  # shellcheck disable=SC2086
  "$host" --settings "$settings" $args --frames 200 --digest "$work/$name.host" >/dev/null 2>"$work/$name.host.log"
  # shellcheck disable=SC2086
  $emulator "$target" --settings "$settings" $args --frames 200 --digest "$work/$name.target" >/dev/null 2>"$work/$name.target.log"
  lines=$(wc -l <"$work/$name.host")
  if [ "$lines" -ne 200 ]; then
    echo "$name: the host wrote $lines digest lines, not 200" >&2
    status=1
  elif cmp -s "$work/$name.host" "$work/$name.target"; then
    objects=$(grep -vc ' objects=0:' "$work/$name.host" || true)
    echo "$name: 200 frames identical ($objects with objects)"
  else
    echo "$name: digests differ; first differences (host < > target):" >&2
    diff "$work/$name.host" "$work/$name.target" | head -6 >&2 || true
    status=1
  fi
done
exit $status
