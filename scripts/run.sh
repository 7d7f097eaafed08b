#!/usr/bin/env bash
# Sets up, builds, starts the bundled printer emulator on 127.0.0.1:9100 and runs Quilbo
# against it. Usage: scripts/run.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
# Only what this script starts; scripts/test.sh builds the rest (tests, benchmarks, quilbo-batch).
QUILBO_TARGETS="quilbo quilbo-printer-sim" "$here/scripts/setup.sh" "$build"

app="$build/src/quilbo"
sim="$build/tools/printer-sim/quilbo-printer-sim"
ini="$build/src/quilbo.INI"
if [ ! -e "$ini" ]; then
  # First run: the network link to the emulator, so the first batch gets an answer.
  printf '[EPC]\r\nCOM=0\r\nTCPIPADDR=127.0.0.1\r\n' > "$ini"
  echo "Created $ini (network link to 127.0.0.1)."
fi

"$sim" --port 9100 --reply success &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT
echo "Printer emulator running on 127.0.0.1:9100 (pid $sim_pid); it prints each batch it receives."

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Quilbo under a virtual X server (xvfb-run)."
  echo "To see the window, run this command from a desktop session."
  xvfb-run -a "$app"
else
  "$app"
fi
