#!/usr/bin/env bash
# Builds a release tree and runs every benchmark, one after the other, printing their figures.
# Usage: bench/run-all.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-bench}
"$here/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
b="$build/bench"
echo "== start-up to main window shown (against a bare Qt window) =="
"$b/bench_startup" 15
echo "== comm dialog open (port probe) =="
"$b/bench_commset"
echo "== batch send to the emulator =="
"$b/bench_batch" 200
echo "== quilbo-batch: 1,000 batches with replies (against a raw socket) =="
"$b/bench_batchrun" 1000
echo "== network send through the link (against a raw socket) =="
"$b/bench_net"
echo "== file transfer: network 64 MiB and serial (against raw socket / cat) =="
"$b/bench_transfer"
echo "== batch journal: append+fsync, 1,000,000-line load, lookup (against plain I/O) =="
(cd "$build" && "$b/bench_journal")
echo "== journal window: 1,000,000 batches loaded and shown, sorts, export (against plain I/O) =="
(cd "$build" && "$b/bench_journalwindow")
echo "== journal database: batch and result commits (against write+fsync), 1,000,000 batches, PostgreSQL writers =="
"$b/bench_journalstore"
echo "== journal window over a database of 1,000,000 batches (against an empty database) =="
"$b/bench_journalpages"
echo "== tag data and packet text =="
"$b/bench_tagdata" 2>&1 | awk '/^RESULT/ {name=$3} /per iteration/ {printf "%-40s %s ms\n", name, $1}' 
