#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for SECONDS each, from the seed
# folders fuzz/make-seeds.sh made in BUILD/fuzz-seeds (made here when they are
# missing). Fails on the first target that crashes, leaks, hangs or breaks
# one of its own checks, after printing its report; the input that did it is
# left in BUILD/fuzz-crashes/.
#
#   fuzz/run-all.sh BUILD [SECONDS]      (SECONDS defaults to 20)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: $0 BUILD [SECONDS]}"
seconds="${2:-20}"
seeds="$build/fuzz-seeds"
crashes="$build/fuzz-crashes"
logs="$build/fuzz-logs"

[ -d "$seeds" ] || "$here/make-seeds.sh" "$seeds"
mkdir -p "$crashes" "$logs"

for source in "$here"/*_fuzz.cpp; do
  target="$(basename "$source" .cpp)"
  program="$build/fuzz/$target"
  [ -x "$program" ] || { echo "run-all: $program is not built" >&2; exit 1; }
  mkdir -p "$seeds/$target"
  # A hang is a fault too: no single input of these may take 10 seconds.
  if "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$crashes/$target-" "$seeds/$target" >"$logs/$target.log" 2>&1; then
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$target.log")"
    echo "run-all: $target: ${runs:-?} runs in ${seconds}s, no fault"
  else
    tail -n 150 "$logs/$target.log"
    echo "run-all: $target FAILED; the input is in $crashes/" >&2
    exit 1
  fi
done
