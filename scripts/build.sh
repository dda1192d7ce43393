#!/usr/bin/env bash
# Configures and builds the given CMake presets, quietly, one build at a time: scripts
# started side by side (run.sh and test.sh, say) never build into one folder at once.
# Usage: scripts/build.sh PRESET...
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
exec 9>build/.build-lock
flock 9
for preset in "$@"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" >/dev/null
done
