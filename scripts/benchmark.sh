#!/usr/bin/env bash
# Prints velmor.exe's size, its imports and its start-up cost under Wine against
# baselines (see benchmarks/footprint.py): the 32-bit exe where the host runs 32-bit code,
# the 64-bit build elsewhere (scripts/i386-host.sh decides; VELMOR_NO_I386=1 forces it).
# A benchmark, not a test: it prints figures and judges nothing. Usage: scripts/benchmark.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh windows windows64
python3 benchmarks/footprint.py "${1:-61}"
