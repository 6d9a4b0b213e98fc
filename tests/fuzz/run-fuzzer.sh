#!/usr/bin/env bash
# run-fuzzer.sh <target> <kept corpus> <work dir> <seconds>: every kept case first (a crash
# found once stays a test), then new inputs for the given time.
set -eu
target=$1 corpus=$2 work=$3 seconds=$4
mkdir -p "$work/corpus" "$corpus"
if [ -n "$(ls -A "$corpus")" ]; then
  "$target" -runs=0 "$corpus"/* >/dev/null 2>&1 || { "$target" -runs=0 "$corpus"/*; exit 1; }
fi
# The fuzzer's own status, not tail's: a crash found now must fail the run. Its input is kept in
# the work dir; once mended it goes into the kept corpus.
set -o pipefail
# Shown: the last status line (coverage, corpus) and the last five lines (a crash's report).
"$target" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$work/" \
  "$work/corpus" "$corpus" 2>&1 |
  awk '/^#[0-9]+/ { status = $0 } { last[NR % 5] = $0 }
       END { print status; for (i = NR - 4; i <= NR; i++) if (i > 0) print last[i % 5] }' || {
  echo "run-fuzzer: $(basename "$target") failed; its input: $(ls -t "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null | head -n 1)" >&2
  exit 1
}
