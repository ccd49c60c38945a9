#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed time.
# Usage: fuzz/run.sh [SECONDS_PER_TARGET] [RUNS]   (default 60 s; with RUNS, each target runs
# that many inputs instead, however long it takes)
# New crashes land in build-fuzz/findings/; once fixed, copy them to fuzz/regressions/<target>/,
# which every test build replays.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
runs=${2:-}
limit=(-max_total_time="$secs"); [ -n "$runs" ] && limit=(-runs="$runs")
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORTIMENTOR_FUZZ=ON \
  -DSORTIMENTOR_GUI=OFF -DSORTIMENTOR_TESTS=OFF -DSORTIMENTOR_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null
seeds=build-fuzz/seeds
[ -d "$seeds" ] || bash fuzz/make_seeds.sh "$seeds"
mkdir -p build-fuzz/findings
# tmpfs keeps the fsync of the write path from dominating the run.
base=/tmp; [ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
export FUZZ_TMPDIR=$(mktemp -d -p "$base"); trap 'rm -rf "$FUZZ_TMPDIR"' EXIT
for bin in build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$bin"); corpus=build-fuzz/corpus/$name; mkdir -p "$corpus"
  case $name in
    fuzz_id3v1) seed=$seeds/id3v1 ;; fuzz_id3v2) seed=$seeds/id3v2 ;; *) seed=$seeds/mpeg ;;
  esac
  echo "== $name (${runs:-$secs s}${runs:+ runs})"
  "$bin" "${limit[@]}" -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$name"- \
    "$corpus" "$seed" "fuzz/regressions/${name#fuzz_}" 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Done' || true
done
