#!/usr/bin/env bash
# The coverage-guided fuzzing campaign in one command. Builds every libFuzzer
# target in build-fuzz/ with clang (libraries instrumented for coverage,
# AddressSanitizer and UndefinedBehaviorSanitizer), then runs each target
# from its seeds for a fixed time, a few at a time under nice, and prints
# the covered edges after the seeds were loaded and at the end, the corpus
# size and what was found (crash, leak, timeout and out-of-memory inputs are
# kept in build-fuzz/campaign/<target>/found/).
#
#   fuzz/campaign.sh [-t SECONDS] [-j JOBS] [TARGET...]
#
# Defaults: 600 seconds per target, 2 at a time, every target. TARGET is a
# fuzz target's name (zipdir, zipextract, rararchive, rarunpack15, ...).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=600
jobs=2
while getopts "t:j:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) echo "usage: $0 [-t SECONDS] [-j JOBS] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

build=$here/build-fuzz
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARKELIN_FUZZ=ON -DARKELIN_SANITIZE=ON -DARKELIN_TESTS=OFF -DARKELIN_BENCH=OFF >/dev/null
if [ $# -eq 0 ]; then
  set -- $(ls "$build/fuzz-seeds" | sed 's/\.txt$//' | sort)
fi
nice -n 10 cmake --build "$build" -j2 --target $(printf '%s_fuzzer ' "$@")

run_one() {
  local name=$1 dir=$build/campaign/$1
  mkdir -p "$dir/corpus" "$dir/seeds" "$dir/found"
  rm -rf "$dir/seeds"/*
  while IFS= read -r s; do
    [ -n "$s" ] || continue
    if [ -d "$s" ]; then find "$s" -maxdepth 1 -type f -exec cp -t "$dir/seeds" {} +; else cp -t "$dir/seeds" "$s"; fi
  done <"$build/fuzz-seeds/$name.txt"
  # Leaks are reported by the sanitizer build at exit; -detect_leaks stays on.
  ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    nice -n 15 "$build/bin/${name}_fuzzer" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/found/" "$dir/corpus" "$dir/seeds" >"$dir/log" 2>&1 || true
}

running=0
for name in "$@"; do
  run_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

printf '%-14s %10s %10s %8s %6s  %s\n' target "edges@seed" "edges@end" corpus execs found
for name in "$@"; do
  dir=$build/campaign/$name
  start=$(grep -m1 -o 'INITED cov: [0-9]*' "$dir/log" | grep -o '[0-9]*$' || echo "?")
  end=$(grep -o 'cov: [0-9]*' "$dir/log" | tail -1 | grep -o '[0-9]*$' || echo "?")
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" | grep -o '[0-9]*$' || echo "?")
  corpus=$(ls "$dir/corpus" | wc -l)
  found=$(ls "$dir/found" | wc -l)
  printf '%-14s %10s %10s %8s %6s  %s\n' "$name" "$start" "$end" "$corpus" "$execs" \
    "$( [ "$found" -eq 0 ] && echo none || ls "$dir/found" | tr '\n' ' ')"
done
