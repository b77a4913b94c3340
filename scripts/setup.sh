#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent; quick when all is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev uuid-dev libjpeg62-turbo-dev libsvm-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # clang with its sanitizer and libFuzzer runtimes: the fuzz targets (scripts/fuzz.sh)
  clang libclang-rt-14-dev
)
# The benchmark compares against OpenCV; it is optional and skipped with KT_NO_OPENCV=1.
if [ "${KT_NO_OPENCV:-0}" != "1" ]; then
  PACKAGES+=(libopencv-dev)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
