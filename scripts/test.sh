#!/usr/bin/env bash
# Sets up, builds and runs every test headless. Usage: scripts/test.sh [BUILD_DIR [cmake options...]]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
[ $# -gt 0 ] && shift
"$here/scripts/setup.sh" "$build" "$@"

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR_TESTS:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
cd "$build"
ctest --output-on-failure -j2 --timeout 300
