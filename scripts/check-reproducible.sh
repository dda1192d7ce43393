#!/usr/bin/env bash
# A test, run by scripts/test.sh after the Windows build: the shipped exe built from a copy
# of this tree in another folder has the same bytes as build/windows/velmor.exe; two runs
# of scripts/release.sh in other time zones give the same archive, its entries in a fixed
# order with the commit's time, its build record naming the commit, its checksums
# checking; a clone made with core.autocrlf=true releases the same exe and archive.
set -euo pipefail
cd "$(dirname "$0")/.."
work="$PWD/build/reproducible"
copy="$work/elsewhere/velmor-copy"
rm -rf "$work"
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

release_output=$(env -u SOURCE_DATE_EPOCH TZ=UTC bash scripts/release.sh 2>/dev/null)
archive=${release_output%%$'\n'*}
cp "$archive" "$work/first.zip"
cp build/release/velmor.exe "$work/first.exe"
env -u SOURCE_DATE_EPOCH TZ=Asia/Tokyo bash scripts/release.sh >/dev/null 2>&1
check "two release runs, in UTC and in Tokyo, give the same archive" cmp "$work/first.zip" "$archive"

entries_as_committed() {
    python3 - "$archive" "$(git log -1 --format=%ct HEAD)" "$(git rev-parse HEAD)" <<'PY'
import sys, time, zipfile
archive, epoch, commit = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with zipfile.ZipFile(archive) as z:
    entries = z.infolist()
    record = z.read("BUILDINFO.txt").decode()
names = [e.filename for e in entries]
times = {e.date_time for e in entries}
committed = time.gmtime(epoch)[:6]
committed = committed[:5] + (committed[5] // 2 * 2,)  # a zip keeps even seconds only
ok = (names == ["velmor.exe", "README.md", "SHA256SUMS", "BUILDINFO.txt"]
      and times == {committed} and ("commit=%s\n" % commit) in record)
if not ok:
    print(names, times, record, file=sys.stderr)
sys.exit(0 if ok else 1)
PY
}
check "the entries stand in a fixed order with the commit's UTC time; the record names the commit" \
    entries_as_committed

python3 -m zipfile -e "$archive" "$work/unpacked"
check "the archive's SHA256SUMS checks" \
    bash -c "cd '$work/unpacked' && sha256sum -c --quiet SHA256SUMS"
check "the SHA256SUMS beside the archive checks the archive and the exe" \
    bash -c "cd build/release && sha256sum -c --quiet SHA256SUMS && [ \$(wc -l <SHA256SUMS) -eq 2 ]"

git clone -q -c core.autocrlf=true . "$work/crlf"
(cd "$work/crlf" && env -u SOURCE_DATE_EPOCH bash scripts/release.sh >/dev/null 2>&1) || true
check "a clone made with core.autocrlf=true releases the same exe" \
    cmp "$work/first.exe" "$work/crlf/build/release/velmor.exe"
check "a clone made with core.autocrlf=true releases the same archive" \
    cmp "$work/first.zip" "$work/crlf/build/release/$(basename "$archive")"
echo "reproducible: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
