#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (plus AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]     (default 300 s, every target)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
[ $# -gt 0 ] && shift
build="$here/build-fuzz"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILBO_FUZZ=ON -DQUILBO_SANITIZE=ON -DQUILBO_BUILD_TESTS=OFF -DQUILBO_BUILD_BENCH=OFF >/dev/null
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(tagdata packettext settings replies gs1epc)
for t in "${targets[@]}"; do
  cmake --build "$build" --target "fuzz_$t" >/dev/null
  work="$build/corpus-$t"
  mkdir -p "$work"
  echo "== fuzz_$t for ${seconds}s =="
  # New inputs go to the work folder; the seeds in the repo stay as they are.
  ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=4096 \
    -artifact_prefix="$build/crash-$t-" "$work" "$here/fuzz/corpus/$t" 2>&1 | tail -n 3
done
