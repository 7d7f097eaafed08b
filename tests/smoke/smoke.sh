#!/usr/bin/env bash
# A real-window smoke test: Quilbo under Xvfb against the printer emulator, driven with real
# X input events. Runs inside a private network namespace so the printer's port 9100 is ours.
# Usage: tests/smoke/smoke.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)

if [ "${QUILBO_SMOKE_INNER:-}" != 1 ]; then
  # A smoke test that cannot run has checked nothing: that is a failure, not a pass.
  for tool in Xvfb:xvfb xdotool:xdotool unshare:util-linux ip:iproute2; do
    command -v "${tool%%:*}" >/dev/null ||
      { echo "smoke: FAIL: ${tool%%:*} is missing (Debian package ${tool#*:})"; exit 1; }
  done
  if ! unshare -n true 2>/dev/null; then
    echo "smoke: FAIL: cannot make a network namespace here (unshare -n needs root or user namespaces)"
    exit 1
  fi
  exec env QUILBO_SMOKE_INNER=1 unshare -n "$0" "$@"
fi

ip link set lo up
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "smoke: FAIL: $*"
  [ -f "$work/received" ] && { echo "--- received:"; od -c "$work/received" | tail -20; }
  exit 1
}

# The program keeps its settings beside itself: give it a folder of its own.
cp "$build/src/quilbo" "$work/quilbo"
printf '[EPC]\r\nCOM=0\r\nTCPIPADDR=127.0.0.1\r\n' > "$work/quilbo.INI"

"$build/tools/printer-sim/quilbo-printer-sim" --port 9100 --reply success \
  --record "$work/received" --quiet > "$work/sim.out" 2>&1 &
pids+=($!)

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.out" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb "$work/quilbo" > "$work/quilbo.out" 2>&1 &
pids+=($!)

# Waits for a window by its exact title and prints its id. The title the window system
# shows (_NET_WM_NAME) must be that caption too, with nothing appended.
window() {
  for _ in $(seq 150); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && [ "$(xdotool getwindowname "$id")" != "$1" ] &&
      { echo "smoke: \"$1\" is shown as \"$(xdotool getwindowname "$id")\"" >&2; return 1; }
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Start-up asks whether to initialize the printer: No.
init=$(window "Quilbo Initialization") || fail "no initialization dialog"
xdotool windowfocus --sync "$init" key --clearmodifiers Escape
for _ in $(seq 50); do xdotool search --onlyvisible --name "^Quilbo Initialization\$" >/dev/null 2>&1 || break; sleep 0.1; done

main=$(window "Quilbo") || fail "no main window"
eval "$(xdotool getwindowgeometry --shell "$main")"
# The send button sits 40 pixels in from the right edge, at the top of the window.
xdotool mousemove --window "$main" $((WIDTH - 110)) 60 click 1

question=$(window "Send Format") || fail "no \"Send format packet?\" question"
xdotool windowfocus --sync "$question" key --clearmodifiers Return

for _ in $(seq 100); do
  grep -q '{J,3}' "$work/received" 2>/dev/null && break
  sleep 0.1
done
grep -q '{J,3}' "$work/received" || fail "the printer got no status request"
grep -q '{F,1,A,R,E,100,400' "$work/received" || fail "no format packet"
grep -q '1,"0123456789ABCDEF00000000"|' "$work/received" || fail "no tag data"

# Setup, Open/Edit File; the menu opens as a second window named "Quilbo".
xdotool windowfocus --sync "$main" key --clearmodifiers alt+s
for _ in $(seq 50); do
  [ "$(xdotool search --onlyvisible --name '^Quilbo$' | wc -l)" -gt 1 ] && break; sleep 0.1
done
xdotool key --clearmodifiers o
window "Format and Batch Data" >/dev/null || fail "no format editor"
echo "smoke: PASS ($(stat -c %s "$work/received") bytes reached the printer)"
