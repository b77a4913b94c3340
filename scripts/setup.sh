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
  # callgrind counts the pipeline's instructions for the camera estimate (bench/pipeline_bench)
  valgrind
)
# --armhf: the camera's cross build too: Debian's ARM cross compiler, the armhf (multiarch) -dev
# packages of every dependency, and qemu-user to run the test programs.
ARMHF=0
[ "${1:-}" = "--armhf" ] && ARMHF=1
if [ "$ARMHF" = "1" ]; then
  PACKAGES+=(g++-arm-linux-gnueabihf qemu-user
             libgtest-dev:armhf libgmock-dev:armhf libpugixml-dev:armhf uuid-dev:armhf
             libjpeg62-turbo-dev:armhf libsvm-dev:armhf
             libavformat-dev:armhf libavcodec-dev:armhf libswscale-dev:armhf libavutil-dev:armhf)
fi
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
if [ "$ARMHF" = "1" ] && ! dpkg --print-foreign-architectures | grep -qx armhf; then
  $SUDO dpkg --add-architecture armhf
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
