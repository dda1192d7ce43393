#!/usr/bin/env bash
# A test, run by scripts/test.sh after the Windows build: the shipped exe built from a copy
# of this tree in another folder has the same bytes as build/windows/velmor.exe; two runs
# of scripts/release.sh in other time zones give the same archive, its entries in a fixed
# order with the commit's time, its build record naming the commit, its checksums
# checking; a clone made with core.autocrlf=true releases the same exe and archive; a
# signed release, made with a throwaway authority, verifies, is the reproducible exe
# once its signature is removed, holds no key material, and passes check-release.sh,
# which names what differs in a tampered or re-signed copy.
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
ok = (names == ["velmor.exe", "README.md", "README.ja.md", "SHA256SUMS", "BUILDINFO.txt"]
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
# Signing: a throwaway authority and code-signing certificates, made here for the test.
pki=$(mktemp -d)
trap 'rm -rf "$pki"' EXIT
make_signer() {  # name: a key with a password, and a certificate the authority issued
    openssl req -newkey rsa:2048 -keyout "$pki/$1.key" -passout "file:$pki/password" \
        -out "$pki/$1.csr" -subj "/CN=Velmor test signer $1" 2>/dev/null
    openssl x509 -req -in "$pki/$1.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
        -days 30 -extfile "$pki/leaf.cnf" -out "$pki/$1.pem" 2>/dev/null
    cat "$pki/$1.pem" "$pki/ca.pem" >"$pki/$1-chain.pem"
}
echo "not-a-real-secret-$$" >"$pki/password"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 30 \
    -subj "/CN=Velmor test authority" -addext "basicConstraints=critical,CA:true" \
    -addext "keyUsage=critical,keyCertSign" 2>/dev/null
printf 'basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$pki/leaf.cnf"
make_signer publisher
make_signer other
signed_output=$(VELMOR_SIGN_CERT="$pki/publisher-chain.pem" VELMOR_SIGN_KEY="$pki/publisher.key" \
    VELMOR_SIGN_PASSWORD_FILE="$pki/password" env -u SOURCE_DATE_EPOCH bash scripts/release.sh 2>&1)
published="$work/published"
rm -rf "$published"
mkdir -p "$published"
cp build/release/*.zip build/release/velmor.exe build/release/velmor.exe.sig build/release/SHA256SUMS \
    "$published/"

verifies() {  # the exe's signature, against the throwaway authority
    osslsigncode verify -CAfile "$pki/ca.pem" -in "$1" >/dev/null 2>&1
}
check "a signed release's exe verifies against its authority" verifies "$published/velmor.exe"
osslsigncode remove-signature -in "$published/velmor.exe" -out "$work/unsigned.exe" >/dev/null
check "the signed exe without its signature is the reproducible exe, byte for byte" \
    cmp "$work/unsigned.exe" "$work/first.exe"
check "a signed release's SHA256SUMS checks exactly the archive, the exe and the signature" \
    bash -c "cd '$published' && sha256sum -c --quiet SHA256SUMS && [ \$(wc -l <SHA256SUMS) -eq 3 ]"
python3 -m zipfile -e "$published"/*.zip "$work/signed-unpacked"
leaks=$({
    grep -rlaF -e "$(cat "$pki/password")" -e "$(sed -n 2p "$pki/publisher.key")" -e "$pki" \
        build/release "$work/signed-unpacked"
    grep -F -e "$(cat "$pki/password")" -e "$pki" <<<"$signed_output"
} || true)
check "no password, key or certificate path in the archive, the build folder or the output" \
    test -z "$leaks"
check "check-release.sh passes on the signed release" \
    bash -c "bash scripts/check-release.sh '$published' >'$work/checked.txt' 2>&1"

tampered="$work/tampered"
rm -rf "$tampered" && cp -r "$published" "$tampered"
printf '\x01' | dd of="$tampered/velmor.exe" bs=1 seek=1000 conv=notrunc 2>/dev/null
check "check-release.sh names velmor.exe when one byte of the signed exe changed" \
    bash -c "! bash scripts/check-release.sh '$tampered' >'$work/tampered.txt' 2>&1 && grep -q '^FAIL velmor.exe: ' '$work/tampered.txt'"
resigned="$work/resigned"
rm -rf "$resigned" && cp -r "$published" "$resigned"
rm "$resigned/velmor.exe" "$resigned/velmor.exe.sig"
osslsigncode sign -certs "$pki/other-chain.pem" -key "$pki/other.key" -readpass "$pki/password" \
    -h sha256 -n Velmor -in "$work/first.exe" -out "$resigned/velmor.exe" >/dev/null
osslsigncode extract-signature -pem -in "$resigned/velmor.exe" -out "$resigned/velmor.exe.sig" >/dev/null
(cd "$resigned" && sha256sum ./*.zip velmor.exe velmor.exe.sig | sed 's|  \./|  |' >SHA256SUMS)
check "check-release.sh names the fingerprint of an exe and signature made with another key" \
    bash -c "! bash scripts/check-release.sh '$resigned' >'$work/resigned.txt' 2>&1 && grep -q '^FAIL velmor.exe.sig: the signer' '$work/resigned.txt'"

# One wrong file alone must fail the check, and be the only one named.
fails_naming_only() {  # folder, then the name the one FAIL line must begin with
    ! bash scripts/check-release.sh "$1" >"$1.txt" 2>&1 &&
        [ "$(grep -c '^FAIL ' "$1.txt")" -eq 1 ] && grep -q "^FAIL $2" "$1.txt"
}
sums_alone="$work/sums-alone"
rm -rf "$sums_alone" && cp -r "$published" "$sums_alone"
python3 - "$sums_alone/SHA256SUMS" <<'PY'
import sys
path = sys.argv[1]
text = open(path).read()
open(path, "w").write(("1" if text[0] != "1" else "2") + text[1:])  # the archive's hash, one digit
PY
check "check-release.sh fails on SHA256SUMS edited alone, and names it alone" \
    fails_naming_only "$sums_alone" "SHA256SUMS: "
other_signature="$work/other-signature"
rm -rf "$other_signature" && cp -r "$published" "$other_signature"
cp "$work/first.exe" "$work/other-bytes.exe"
printf '\x01' | dd of="$work/other-bytes.exe" bs=1 seek=1000 conv=notrunc 2>/dev/null
osslsigncode sign -certs "$pki/publisher-chain.pem" -key "$pki/publisher.key" \
    -readpass "$pki/password" -h sha256 -n Velmor -in "$work/other-bytes.exe" \
    -out "$work/other-bytes-signed.exe" >/dev/null
rm "$other_signature/velmor.exe.sig"
osslsigncode extract-signature -pem -in "$work/other-bytes-signed.exe" \
    -out "$other_signature/velmor.exe.sig" >/dev/null
(cd "$other_signature" && sha256sum ./*.zip velmor.exe velmor.exe.sig | sed 's|  \./|  |' >SHA256SUMS)
check "check-release.sh fails on a signature by the same key over other bytes, and names it alone" \
    fails_naming_only "$other_signature" "velmor.exe.sig: "

# A release made before the archive held README.ja.md, by that commit's own scripts, is
# checked as it was made.
added=$(git log --format=%H -S README.ja.md -- scripts/release_archive.py | tail -1)
if [ -n "$added" ]; then
    git worktree add -q --detach "$work/old-tree" "$added^"
    (cd "$work/old-tree" && env -u SOURCE_DATE_EPOCH bash scripts/release.sh >/dev/null 2>&1)
    mkdir -p "$work/old-release"
    cp "$work/old-tree/build/release/"*.zip "$work/old-tree/build/release/velmor.exe" \
        "$work/old-tree/build/release/SHA256SUMS" "$work/old-release/"
    git worktree remove --force "$work/old-tree"
    check "check-release.sh passes on a release made before the archive held README.ja.md" \
        bash -c "bash scripts/check-release.sh '$work/old-release' >'$work/old-release.txt' 2>&1"
else
    echo "n/a  a release from before README.ja.md: no commit adds it to the archive yet"
fi

# openssl reads a second line when both passwords come from one file.
cp "$pki/password" "$pki/p12-password"
openssl pkcs12 -export -in "$pki/publisher.pem" -inkey "$pki/publisher.key" -certfile "$pki/ca.pem" \
    -passin "file:$pki/password" -passout "file:$pki/p12-password" -out "$pki/publisher.p12"
VELMOR_SIGN_PKCS12="$pki/publisher.p12" VELMOR_SIGN_PASSWORD_FILE="$pki/password" \
    bash scripts/release.sh >/dev/null 2>&1
check "a PKCS#12 file signs the release too" verifies build/release/velmor.exe

if why=$(bash scripts/i386-host.sh); then
    for exe in "$published/velmor.exe" "$work/first.exe"; do
        WINEARCH=win32 WINEPREFIX="$PWD/build/windows/wine-prefix-win32" WINEDEBUG=-all \
            LC_ALL=ja_JP.UTF-8 wine "$exe" /nologo </dev/null >"$exe.out" 2>/dev/null || true
    done
    check "the signed exe runs under Wine and writes the unsigned exe's bytes" \
        bash -c "[ -s '$published/velmor.exe.out' ] && cmp '$published/velmor.exe.out' '$work/first.exe.out'"
else
    echo "n/a  the signed exe was not run under Wine: $why"
fi
echo "reproducible: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
