#!/usr/bin/env bash
# A test, run by scripts/test.sh after the Windows build: the shipped exe built from a copy
# of this tree in another folder, at another time, has the same bytes as
# build/windows/velmor.exe; two runs of scripts/release.sh give the same archive, and its
# SHA256SUMS checks.
set -euo pipefail
cd "$(dirname "$0")/.."
copy="$PWD/build/reproducible/elsewhere/velmor-copy"
rm -rf "$PWD/build/reproducible"
mkdir -p "$copy"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$copy"
(cd "$copy" && cmake --preset windows >/dev/null && cmake --build --preset windows --target velmor >/dev/null)
passed=0
failed=0
check() {  # name, then the command that must succeed
    local name=$1
    shift
    if "$@"; then
        echo "ok   $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        failed=$((failed + 1))
    fi
}

check "the exe built in another folder has the same bytes" \
    cmp build/windows/velmor.exe "$copy/build/windows/velmor.exe"

release_output=$(bash scripts/release.sh 2>/dev/null)
archive=${release_output%%$'\n'*}
cp "$archive" build/reproducible/first.zip
bash scripts/release.sh >/dev/null 2>&1
check "two release runs give the same archive" cmp build/reproducible/first.zip "$archive"
python3 -m zipfile -e "$archive" build/reproducible/unpacked
check "the archive's SHA256SUMS checks" \
    bash -c "cd build/reproducible/unpacked && sha256sum -c --quiet SHA256SUMS"
echo "reproducible: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
