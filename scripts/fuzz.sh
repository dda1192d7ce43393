#!/usr/bin/env bash
# Runs each fuzz target from the seed corpus in fuzz/corpus/ and prints, for each, its
# runs, its runs a second and its findings.
#   scripts/fuzz.sh [RUNS]                          a count of runs each (20000), seed 1:
#                                                   the short, fixed run of the test suite
#   scripts/fuzz.sh --minutes M [--seed S] [TARGET...]
#                                                   a campaign of M minutes a target
# The grown corpus is kept in build/fuzz/corpus/ from one run to the next; the seeds in
# the repository are only read. A finding's input lands in build/fuzz/findings/TARGET/,
# with the command that reproduces it beside it (NAME.command). Exits non-zero when any
# target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=20000
minutes=
seed=1
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --minutes) minutes=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        [0-9]*) runs=$1; shift ;;
        fuzz_*) targets+=("$1"); shift ;;
        *) echo "usage: scripts/fuzz.sh [RUNS] | --minutes M [--seed S] [TARGET...]" >&2; exit 2 ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_command_line fuzz_wide_command_line fuzz_conversion)
if [ -n "$minutes" ]; then
    budget="-max_total_time=$((minutes * 60))"
else
    budget="-runs=$runs"
fi
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

findings_total=0
for target in "${targets[@]}"; do
    seeds="fuzz/corpus/${target#fuzz_}"
    work="build/fuzz/corpus/${target#fuzz_}"
    findings="build/fuzz/findings/${target#fuzz_}"
    mkdir -p "$work" "$findings"
    log="build/fuzz/${target}.log"
    status=0
    "build/fuzz/$target" "$budget" -seed="$seed" -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$seeds" >"$log" 2>&1 || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    found=0
    for input in "$findings"/*; do
        [ -f "$input" ] || continue
        case "$input" in *.command) continue ;; esac
        found=$((found + 1))
        echo "build/fuzz/$target $input" >"$input.command"
    done
    echo "$target: ${executions:-0} runs, ${per_second:-0} runs/s, $found findings (exit $status)"
    if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
        grep -E 'invariant broken|ERROR:|runtime error' "$log" | head -5 || true
        findings_total=$((findings_total + 1))
    fi
done
[ "$findings_total" -eq 0 ]
