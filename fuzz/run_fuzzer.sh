#!/usr/bin/env bash
# Runs one fuzz target for ULO_FUZZ_SECONDS seconds (default 20) on its seed corpus. New inputs
# go to a temporary corpus, crash reproducers to a temporary folder that is printed when kept.
#
#   run_fuzzer.sh TARGET SEED_CORPUS
set -euo pipefail
target=$(realpath "$1")
seeds=$(realpath "$2")
seconds=${ULO_FUZZ_SECONDS:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/ulo-fuzz-XXXXXX")
mkdir -p "$work/corpus"
status=0
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$seeds" 2>"$work/log" || status=$?
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)|ERROR|SUMMARY' "$work/log" || true
if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/log"
    echo "the failing input is kept in $work" >&2
    exit "$status"
fi
rm -rf "$work"
