#!/usr/bin/env bash
# Every test: the host unit tests, again under ASan and UBSan, and the Wine suite of
# the real exe. Installs what it lacks first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

echo "== host unit tests"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host

echo "== host unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize
ctest --preset host-sanitize

echo "== Wine suite"
cmake --preset windows >/dev/null
cmake --build --preset windows
python3 tests/wine/run_wine_tests.py build/windows
