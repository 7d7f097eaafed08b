#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks and builds Quilbo into the given folder.
# Usage: scripts/setup.sh BUILD_DIR [extra cmake options...]
# QUILBO_TARGETS="a b" builds only those targets (scripts/run.sh: the program and the emulator);
# without it everything is built, the tests and benchmarks included.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?build folder}
shift

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-svg-dev
          libqt6svg6 qt6-qpa-plugins libsimpleini-dev libicu-dev libgl-dev
          xvfb xauth xdotool iproute2 util-linux fonts-dejavu-core
          libqt6sql6-sqlite libqt6sql6-psql postgresql)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for t in ${QUILBO_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
