#!/usr/bin/env bash
# Runs one libFuzzer target for a while from its committed seeds.
# Usage: fuzz/run-fuzzer.sh FUZZER SEEDS WORK SECONDS
#   SEEDS: the committed seed folder, copied into WORK/corpus, which keeps what the runs find;
#   WORK:  also receives the reproducer of a failure (crash-*, leak-*, timeout-*, oom-*) and the
#          log of the last run (fuzz.log).
# Exit status: libFuzzer's, 0 when the time ran out without a failure.
set -euo pipefail
if [ $# -ne 4 ]; then
    echo "usage: $0 FUZZER SEEDS WORK SECONDS" >&2
    exit 2
fi
fuzzer=$1 seeds=$2 work=$3 seconds=$4
name=$(basename "$fuzzer")

mkdir -p "$work/corpus"
for seed in "$seeds"/*; do
    [ -e "$work/corpus/${seed##*/}" ] || cp "$seed" "$work/corpus/"
done
# The targets write files for every input: into memory when /dev/shm is there, and away afterwards.
scratch=$(mktemp -d "$( [ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/tolva-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo "== $name: $seconds s from $(ls "$work/corpus" | wc -l) inputs"
# A 64 MB quarantine (the default is 256) still catches a use after free of any recent input, and
# halves the time of inputs that allocate megabytes (the reader's read-ahead, the output batches).
status=0
TMPDIR=$scratch \
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:quarantine_size_mb=64 \
UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1 \
    "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 \
    -dict="$(dirname "$0")/claims.dict" -print_final_stats=1 -artifact_prefix="$work/" \
    "$work/corpus" >"$work/fuzz.log" 2>&1 || status=$?

# The last coverage line and the final statistics; the whole report when it failed.
if [ "$status" -eq 0 ]; then
    grep -E "^#[0-9]+[[:space:]]+DONE" "$work/fuzz.log" | tail -1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$work/fuzz.log" || true
else
    tail -n 80 "$work/fuzz.log"
    echo "== $name FAILED (status $status); reproducer: $(ls -t "$work"/crash-* "$work"/leak-* \
        "$work"/timeout-* "$work"/oom-* 2>/dev/null | head -1)"
fi
exit "$status"
