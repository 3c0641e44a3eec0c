#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 10).
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
# Crashes, leaks and sanitizer reports stop a target and fail this script; the
# input that caused it is left in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVALEN_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"${JOBS:-2}"
targets=("$@")
if ((${#targets[@]} == 0)); then
  for source in fuzz/*_fuzz.cc; do targets+=("$(basename "$source" .cc)"); done
fi
mkdir -p build-fuzz/findings
status=0
for target in "${targets[@]}"; do
  seeds="fuzz/corpus/${target%_fuzz}"
  corpus="$PWD/build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  log="build-fuzz/$target.log"
  if "build-fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=65536 \
        -artifact_prefix="$PWD/build-fuzz/findings/" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "$target: ok, $runs runs in ${seconds}s"
  else
    echo "$target: FAILED (see $log)"
    tail -n 30 "$log"
    status=1
  fi
done
exit $status
