#!/usr/bin/env bash
# Every test: the set-up script against a package archive that is mid-sync, static checks,
# the host unit tests (and the allocation count), again under ASan and UBSan, the fuzz
# targets for a bounded number of runs, the Wine suite of the real exe in every mode the
# host runs (scripts/i386-host.sh decides), and the check that the exe, the release
# archive and the Windows Installer package build byte for byte the same (the package also
# installed, upgraded and removed under Wine).
# Installs what it lacks first.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== install-deps.sh against stand-ins for apt-get"
bash tests/setup/install_deps_test.sh
bash scripts/install-deps.sh

echo "== static checks"
bash scripts/static-checks.sh 2>&1 | grep -v ' warnings generated\.$'

echo "== host unit tests"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host

echo "== host unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize
ctest --preset host-sanitize

echo "== fuzz targets, a bounded number of runs from the seed corpus"
bash scripts/fuzz.sh 20000

echo "== Wine suite"
bash scripts/build.sh windows windows64
# A mode the suite does not know runs nothing, and must not pass for a run.
refused=0
python3 tests/wine/run_wine_tests.py no-such-mode 2>/dev/null || refused=$?
if [ "$refused" -ne 2 ]; then
    echo "FAIL run_wine_tests.py took a mode it does not know for a pass"
    exit 1
fi
python3 tests/wine/run_wine_tests.py

echo "== reproducible build, release archive and package"
bash scripts/check-reproducible.sh
