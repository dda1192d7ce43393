#!/usr/bin/env bash
# Runs each fuzz target for a number of runs (a count, not a time) from the seed corpus
# in fuzz/corpus/, and prints its executions and findings. Usage: scripts/fuzz.sh [RUNS]
# New inputs go to build/fuzz/corpus/, crashes to build/fuzz/findings/; the seeds in
# the repository are only read. Exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

findings_total=0
for target in fuzz_command_line fuzz_wide_command_line fuzz_conversion; do
    seeds="fuzz/corpus/${target#fuzz_}"
    work="build/fuzz/corpus/${target#fuzz_}"
    findings="build/fuzz/findings/${target#fuzz_}"
    mkdir -p "$work" "$findings"
    log="build/fuzz/${target}.log"
    status=0
    "build/fuzz/$target" -runs="$runs" -seed=1 -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$seeds" >"$log" 2>&1 || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    found=$(find "$findings" -type f | wc -l)
    echo "$target: ${executions:-0} executions, $found findings (exit $status)"
    if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
        grep -E 'invariant broken|ERROR:|runtime error' "$log" | head -5 || true
        findings_total=$((findings_total + 1))
    fi
done
[ "$findings_total" -eq 0 ]
