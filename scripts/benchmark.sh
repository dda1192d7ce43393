#!/usr/bin/env bash
# Prints velmor.exe's size, its imports and its start-up cost under Wine against
# baselines (see benchmarks/footprint.py). A benchmark, not a test: it prints figures
# and judges nothing. Usage: scripts/benchmark.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
python3 benchmarks/footprint.py build/windows "${1:-61}"
