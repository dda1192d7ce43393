#!/usr/bin/env bash
# A test, run by scripts/test.sh after the Windows build: the shipped exe built from a copy
# of this tree in another folder has the same bytes as build/windows/velmor.exe; two runs
# of scripts/release.sh in other time zones give the same archive and Windows Installer
# package, the archive's entries in a fixed order with the commit's time, its build record
# naming the commit, its checksums checking, the package's times the commit's and its
# files the release's; a clone made with core.autocrlf=true releases the same exe,
# archive and package; a signed release, made with a throwaway authority, verifies, is
# the reproducible exe once its signature is removed, holds no key material, and passes
# check-release.sh, which names what differs in a tampered or re-signed copy; the package
# gives velmor.exe its version, and the signed one a product code of its own; under Wine,
# msiexec installs the package where Windows does, removes it, upgrades an older
# version's and refuses to put an older one over it, puts the signed one of the same
# version over the unsigned one, keeps a folder given with INSTALLDIR, and adds the folder
# to the system PATH with the PathEntry feature alone.
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
msi=$(sed -n 2p <<<"$release_output")
version=$(basename "$msi" .msi)
version=${version#velmor-}
cp "$archive" "$work/first.zip"
cp "$msi" "$work/first.msi"
cp build/release/velmor.exe "$work/first.exe"
env -u SOURCE_DATE_EPOCH TZ=Asia/Tokyo bash scripts/release.sh >/dev/null 2>&1
check "two release runs, in UTC and in Tokyo, give the same archive" cmp "$work/first.zip" "$archive"
check "two release runs, in UTC and in Tokyo, give the same package" cmp "$work/first.msi" "$msi"

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
check "the SHA256SUMS beside the archive checks the archive, the exe and the package" \
    bash -c "cd build/release && sha256sum -c --quiet SHA256SUMS && [ \$(wc -l <SHA256SUMS) -eq 3 ]"

# wixl takes the summary's times from the clock; the release stops it at the commit's.
summary_as_committed() {
    local at
    at=$(TZ=UTC date -d "@$(git log -1 --format=%ct HEAD)" '+%a %b %e %H:%M:%S %Y')
    TZ=UTC msiinfo suminfo "$msi" >"$work/suminfo.txt" &&
        grep -qxF "Created: $at" "$work/suminfo.txt" &&
        grep -qxF "Last saved: $at" "$work/suminfo.txt" &&
        msiinfo export "$msi" Property | tr -d '\r' | grep -qxF "ProductVersion	$version"
}
check "the package's created and saved times are the commit's; it installs version $version" \
    summary_as_committed
# The version resource says FILEVERSION major.minor.patch.0 and the language 0x0411 (1041).
exe_versioned() {
    msiinfo export "$msi" File | tr -d '\r' | grep -qxP "velmor\.exe\tVelmorExe\tvelmor\.exe\t\d+\t\Q$version\E\.0\t1041\t.*" &&
        ! msiinfo export "$msi" MsiFileHash | grep -q '^velmor\.exe'
}
check "the package's File table gives velmor.exe the version and language of its resource; MsiFileHash has no row for it" \
    exe_versioned
msiextract -C "$work/msi-files" "$msi" >/dev/null
extracted="$work/msi-files/Program Files/Velmor"
check "the exe in the package (msiextract) is the release's velmor.exe, the manuals the commit's" \
    bash -c "cmp '$extracted/velmor.exe' build/release/velmor.exe &&
        cmp '$extracted/README.md' '$work/unpacked/README.md' &&
        cmp '$extracted/README.ja.md' '$work/unpacked/README.ja.md'"

git clone -q -c core.autocrlf=true . "$work/crlf"
(cd "$work/crlf" && env -u SOURCE_DATE_EPOCH bash scripts/release.sh >/dev/null 2>&1) || true
check "a clone made with core.autocrlf=true releases the same exe" \
    cmp "$work/first.exe" "$work/crlf/build/release/velmor.exe"
check "a clone made with core.autocrlf=true releases the same archive" \
    cmp "$work/first.zip" "$work/crlf/build/release/$(basename "$archive")"
check "a clone made with core.autocrlf=true releases the same package" \
    cmp "$work/first.msi" "$work/crlf/build/release/$(basename "$msi")"
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
cp build/release/*.zip build/release/velmor.exe build/release/velmor.exe.sig build/release/*.msi \
    build/release/*.msi.sig build/release/SHA256SUMS "$published/"
signed_msi="$published/$(basename "$msi")"

verifies() {  # the exe's or the package's signature, against the throwaway authority
    osslsigncode verify -CAfile "$pki/ca.pem" -in "$1" >/dev/null 2>&1
}
check "a signed release's exe verifies against its authority" verifies "$published/velmor.exe"
osslsigncode remove-signature -in "$published/velmor.exe" -out "$work/unsigned.exe" >/dev/null
check "the signed exe without its signature is the reproducible exe, byte for byte" \
    cmp "$work/unsigned.exe" "$work/first.exe"
check "a signed release's package verifies against its authority" verifies "$signed_msi"
msiextract -C "$work/signed-msi-files" "$signed_msi" >/dev/null
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
own_product_codes() {
    [ -n "$(product_code "$signed_msi")" ] &&
        [ "$(product_code "$signed_msi")" != "$(product_code "$work/first.msi")" ]
}
check "the unsigned and the signed package of one version have different product codes" \
    own_product_codes
check "a signed release's package installs the signed exe" \
    cmp "$work/signed-msi-files/Program Files/Velmor/velmor.exe" "$published/velmor.exe"
check "a signed release's SHA256SUMS checks exactly the archive, the exe, the package, their signatures" \
    bash -c "cd '$published' && sha256sum -c --quiet SHA256SUMS && [ \$(wc -l <SHA256SUMS) -eq 5 ]"
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

sums_of() {  # a copy's SHA256SUMS over its files, in the order the release writes them
    (cd "$1" && sha256sum ./*.zip velmor.exe velmor.exe.sig ./*.msi ./*.msi.sig |
        sed 's|  \./|  |' >SHA256SUMS)
}
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
sums_of "$resigned"
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
sums_of "$other_signature"
check "check-release.sh fails on a signature by the same key over other bytes, and names it alone" \
    fails_naming_only "$other_signature" "velmor.exe.sig: "
# One byte of the package's cabinet (its "MSCF" header), the signature it carries left
# whole, and SHA256SUMS made anew: the package alone differs.
msi_alone="$work/msi-alone"
rm -rf "$msi_alone" && cp -r "$published" "$msi_alone"
python3 - "$msi_alone/$(basename "$msi")" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
at = data.index(b"MSCF") + 8
data[at] ^= 1
open(path, "wb").write(data)
PY
sums_of "$msi_alone"
check "check-release.sh fails on a package with one byte changed, and names it alone" \
    fails_naming_only "$msi_alone" "$(basename "$msi"): "

# A release made before the archive held README.ja.md, by that commit's own scripts, is
# checked as it was made (it is also from before the package: it is checked without one).
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
release_verifies() {
    verifies build/release/velmor.exe && verifies "build/release/$(basename "$msi")"
}
check "a PKCS#12 file signs the release too" release_verifies

host=0
why=$(bash scripts/i386-host.sh) || host=$?
if [ "$host" -eq 0 ]; then
    for exe in "$published/velmor.exe" "$work/first.exe"; do
        WINEARCH=win32 WINEPREFIX="$PWD/build/windows/wine-prefix-win32" WINEDEBUG=-all \
            LC_ALL=ja_JP.UTF-8 wine "$exe" /nologo </dev/null >"$exe.out" 2>/dev/null || true
    done
    check "the signed exe runs under Wine and writes the unsigned exe's bytes" \
        bash -c "[ -s '$published/velmor.exe.out' ] && cmp '$published/velmor.exe.out' '$work/first.exe.out'"
else
    echo "n/a  the signed exe was not run under Wine: $why"
fi

# The package under Wine. msiexec is the 64-bit one of a 64-bit prefix, started by wine64
# itself, as on 64-bit Windows: it runs on every x86-64 host, and puts this 32-bit package
# under Program Files (x86). The older version is this release's package script run on
# other files, at version 0.0.1, which every release is above.
wine_msi_rows=8
why_not=
if [ "$host" -eq 2 ]; then
    why_not="$why"
elif [ ! -x /usr/lib/wine/wine64 ]; then
    why_not="Wine is not installed (scripts/install-deps.sh installs it)"
fi
if [ -n "$why_not" ]; then
    for _ in $(seq "$wine_msi_rows"); do echo "n/a  the package was not installed under Wine: $why_not"; done
else
    mkdir -p "$work/older/src/resources"
    cp src/resources/velmor.rc "$work/older/src/resources/"
    for name in velmor.exe README.md README.ja.md; do
        echo "Velmor 0.0.1, $name" >"$work/older/$name"
    done
    bash scripts/release_msi.sh "$work/older.msi" "$(git log -1 --format=%ct HEAD)" 0.0.1 \
        "$work/older/velmor.exe" "$work/older/README.md"
    prefix_env=(env WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
                WINEPREFIX="$work/wine-prefix-msi" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d")
    "${prefix_env[@]}" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 </dev/null
    "${prefix_env[@]}" wineserver -w
    msiexec() {  # msiexec's arguments, a package named within $work; its exit status
        local status=0
        (cd "$work" && "${prefix_env[@]}" /usr/lib/wine/wine64 msiexec "$@" \
            </dev/null >/dev/null 2>&1) || status=$?
        "${prefix_env[@]}" wineserver -w
        return "$status"
    }
    entry() {  # a product code: the version its Add/Remove Programs entry shows, if any
        "${prefix_env[@]}" /usr/lib/wine/wine64 reg query \
            "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" /v DisplayVersion \
            /reg:32 </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^ *DisplayVersion *REG_SZ *//p'
    }
    installed="$work/wine-prefix-msi/drive_c/Program Files (x86)/Velmor"
    this=$(product_code "$work/first.msi")
    older=$(product_code "$work/older.msi")
    holds() {  # the files the folder must hold, exactly, from the folder they come from; the
               # folder is Program Files (x86)\Velmor unless named
        local at=${2:-$installed}
        [ "$(LC_ALL=C ls -A "$at" 2>/dev/null)" = "$(printf '%s\n' README.ja.md README.md velmor.exe)" ] &&
            cmp -s "$at/velmor.exe" "$1/velmor.exe" &&
            cmp -s "$at/README.md" "$1/README.md" &&
            cmp -s "$at/README.ja.md" "$1/README.ja.md"
    }
    installs() {
        msiexec /i first.msi /qn && holds "$work/unpacked" && [ "$(entry "$this")" = "$version" ]
    }
    check "msiexec /i /qn puts velmor.exe (the release's bytes) and both manuals in Program Files (x86)\\Velmor; Add/Remove Programs shows $version" \
        installs
    if [ "$host" -eq 0 ]; then
        # The 32-bit exe under WoW64, started through Debian's wine script as the suite's
        # wow64 mode does.
        wow64_env=(env -u WINELOADER WINEARCH=win64 WINEPREFIX="$work/wine-prefix-msi"
                   WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d" LC_ALL=ja_JP.UTF-8)
        "${wow64_env[@]}" wine "$installed/velmor.exe" /nologo </dev/null >"$work/installed.out" \
            2>/dev/null || true
        "${wow64_env[@]}" wine "$work/first.exe" /nologo </dev/null >"$work/released.out" \
            2>/dev/null || true
        check "the installed exe runs under Wine (WoW64) and writes what the release's exe writes" \
            bash -c "[ -s '$work/installed.out' ] && cmp '$work/installed.out' '$work/released.out'"
    else
        echo "n/a  the installed exe was not run: $why"
    fi
    removes() {
        msiexec /x first.msi /qn && [ ! -e "$installed" ] && [ -z "$(entry "$this")" ]
    }
    check "msiexec /x removes every file it installed, the Velmor folder and the entry" removes
    upgrades() {
        msiexec /i older.msi /qn && holds "$work/older" && [ "$(entry "$older")" = 0.0.1 ] &&
            msiexec /i first.msi /qn && holds "$work/unpacked" &&
            [ "$(entry "$this")" = "$version" ] && [ -z "$(entry "$older")" ]
    }
    check "an older version's package, upgraded by this one, leaves only this one's files and entry" \
        upgrades
    # Its launch condition fails the installation: status 1603, which Linux sees as 1603 & 255.
    refuses() {
        local status=0
        msiexec /i older.msi /qn || status=$?
        [ "$status" -eq $((1603 & 255)) ] && holds "$work/unpacked" &&
            [ "$(entry "$this")" = "$version" ] && [ -z "$(entry "$older")" ]
    }
    check "the older package over this one is refused (status 1603), and this one stays as it was" \
        refuses
    signed=$(product_code "$signed_msi")
    same_version() {
        msiexec /i "published/$(basename "$msi")" /qn && holds "$work/signed-msi-files/Program Files/Velmor" &&
            [ "$(entry "$signed")" = "$version" ] && [ -z "$(entry "$this")" ]
    }
    check "the signed package of the same version installs over the unsigned one: one entry, the signed package's files" \
        same_version
    query() {  # a registry key, a value name and reg's options: the value's data
        "${prefix_env[@]}" /usr/lib/wine/wine64 reg query "$1" /v "$2" "${@:3}" </dev/null 2>/dev/null |
            tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
    }
    location() { query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" InstallLocation /reg:32; }
    drive_c="$work/wine-prefix-msi/drive_c"
    kept_folder() {
        msiexec /x "published/$(basename "$msi")" /qn &&
            msiexec /i older.msi /qn 'INSTALLDIR=C:\Tools\Velmor' && holds "$work/older" "$drive_c/Tools/Velmor" &&
            [ "$(location "$older")" = 'C:\Tools\Velmor\' ] &&
            msiexec /i first.msi /qn && holds "$work/unpacked" "$drive_c/Tools/Velmor" &&
            [ "$(location "$this")" = 'C:\Tools\Velmor\' ] && [ ! -e "$installed" ] &&
            msiexec /i "published/$(basename "$msi")" /qn 'INSTALLDIR=C:\Other\Velmor' &&
            holds "$work/signed-msi-files/Program Files/Velmor" "$drive_c/Other/Velmor" &&
            [ ! -e "$drive_c/Tools/Velmor" ] && [ "$(location "$signed")" = 'C:\Other\Velmor\' ] &&
            msiexec /x "published/$(basename "$msi")" /qn && [ ! -e "$drive_c/Other/Velmor" ]
    }
    check "INSTALLDIR= installs there and InstallLocation names it; an upgrade without it stays there, one with it moves" \
        kept_folder
    # Wine's msiexec leaves the separator behind when it takes the folder out: the folder
    # is looked for as one of PATH's entries.
    system_path() { query "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment" PATH; }
    in_path() { tr ';' '\n' <<<"$(system_path)" | grep -qxF 'C:\Program Files (x86)\Velmor\'; }
    path_entry() {
        local before
        before=$(system_path)
        msiexec /i first.msi /qn && [ "$(system_path)" = "$before" ] && msiexec /x first.msi /qn &&
            msiexec /i older.msi /qn ADDLOCAL=Velmor,PathEntry && in_path &&
            msiexec /i first.msi /qn && in_path && holds "$work/unpacked" &&
            msiexec /x first.msi /qn && ! in_path && [ -n "$before" ]
    }
    check "ADDLOCAL=Velmor,PathEntry appends the folder to the system PATH, an upgrade keeps it, removal takes it out; without it PATH is unchanged" \
        path_entry
    "${prefix_env[@]}" wineserver -k 2>/dev/null || true
fi
echo "reproducible: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
