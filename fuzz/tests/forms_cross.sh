#!/usr/bin/env bash
# Binary forms across platforms: the host build and the cross build (under its emulator) write the
# same bytes for the same values, and each reads the other's forms back whole and exact.
#   forms_cross.sh <host fuzz folder> <target fuzz folder> <emulator> <work dir>
set -euo pipefail
host=$1 target=$2 emulator=$3 work=$4
if [ ! -x "$host/make_seeds" ] || [ ! -x "$host/check_forms" ]; then
  echo "forms_cross: no host build of make_seeds and check_forms in '$host' (configure the cross build with -DKT_HOST_BUILD_DIR)" >&2
  exit 1
fi
rm -rf "$work"
mkdir -p "$work"
"$host/make_seeds" "$work/host" >/dev/null
$emulator "$target/make_seeds" "$work/target" >/dev/null
status=0
for kind in binary stream xml; do
  if diff -r -q "$work/host/$kind" "$work/target/$kind" >&2; then
    echo "forms_cross: $kind forms: $(ls "$work/host/$kind" | wc -l) identical on both platforms"
  else
    echo "forms_cross: $kind forms differ between the platforms" >&2
    status=1
  fi
done
$emulator "$target/check_forms" "$work/host" || status=1
"$host/check_forms" "$work/target" || status=1
exit $status
