#!/usr/bin/env bash
# Builds velmor.exe from the committed tree (HEAD, not the work tree's changes) and writes
# into build/release/:
#   velmor-<version>-win32.zip  velmor.exe, README.md, README.ja.md, SHA256SUMS (the exe's hash, as
#                               "sha256sum -c" reads it) and BUILDINFO.txt (the version,
#                               the commit, the SOURCE_DATE_EPOCH used and the Debian
#                               package versions of the toolchain)
#   velmor.exe                  the same exe
#   velmor-<version>.msi        the Windows Installer package that installs the same exe and
#                               both manuals per machine (scripts/release_msi.sh writes it)
#   SHA256SUMS                  the hashes of the files to publish, to be published apart
#                               from the archive
# Two runs on one commit give the same bytes: the entries carry the commit's time (or
# SOURCE_DATE_EPOCH when set) and stand in a fixed order, and so does everything in the
# package that would otherwise come from the clock. Needs only the build tools, and
# no root once they are installed. Prints the archive's path, the package's path and the
# exe's SHA-256, one a line.
#
# Signing, only when asked: with VELMOR_SIGN_PKCS12 (a PKCS#12 file), or VELMOR_SIGN_CERT
# and VELMOR_SIGN_KEY (a PEM certificate chain, the signer's first, and its key), the exe
# is signed with SHA-256 Authenticode, and so is the package, which holds the signed exe.
# VELMOR_SIGN_PASSWORD_FILE names a file that holds the key's password, which reaches
# osslsigncode through -readpass alone; VELMOR_SIGN_TIMESTAMP_URL an RFC 3161 time-stamp
# server. A signed release also writes velmor.exe.sig and velmor-<version>.msi.sig, the
# detached signatures, and its BUILDINFO.txt records the unsigned exe's SHA-256 (what a
# rebuild gives) and the signer's certificate.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
scripts=$PWD/scripts
out="$PWD/build/release"
tree="$out/tree"
rm -rf "$tree"
rm -f "$out/velmor.exe" "$out/velmor.exe.sig" "$out/SHA256SUMS" "$out"/velmor-*.msi \
    "$out"/velmor-*.msi.sig
mkdir -p "$tree"

sign=()
if [ -n "${VELMOR_SIGN_PKCS12:-}" ]; then
    sign=(-pkcs12 "$VELMOR_SIGN_PKCS12")
elif [ -n "${VELMOR_SIGN_CERT:-}${VELMOR_SIGN_KEY:-}" ]; then
    if [ -z "${VELMOR_SIGN_CERT:-}" ] || [ -z "${VELMOR_SIGN_KEY:-}" ]; then
        echo "release.sh: signing needs both VELMOR_SIGN_CERT and VELMOR_SIGN_KEY" >&2
        exit 2
    fi
    sign=(-certs "$VELMOR_SIGN_CERT" -key "$VELMOR_SIGN_KEY")
fi
if [ ${#sign[@]} -gt 0 ]; then
    [ -z "${VELMOR_SIGN_PASSWORD_FILE:-}" ] || sign+=(-readpass "$VELMOR_SIGN_PASSWORD_FILE")
    [ -z "${VELMOR_SIGN_TIMESTAMP_URL:-}" ] || sign+=(-ts "$VELMOR_SIGN_TIMESTAMP_URL")
fi

# The files as committed, whatever this clone's line-end settings.
git -c core.autocrlf=false -c core.eol=lf archive HEAD | tar -x -C "$tree"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: the work tree has uncommitted changes; the release is built from $(git rev-parse --short HEAD) without them" >&2
fi
(cd "$tree" && cmake --preset windows >/dev/null && cmake --build --preset windows --target velmor >/dev/null)
built="$tree/build/windows/velmor.exe"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/build/windows/CMakeCache.txt")
archive="velmor-$version-win32.zip"
msi="velmor-$version.msi"
epoch="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}"
{
    echo "version=$version"
    echo "commit=$(git rev-parse HEAD)"
    echo "SOURCE_DATE_EPOCH=$epoch"
    dpkg-query -W -f '${Package}=${Version}\n' g++-mingw-w64-i686-win32 \
        binutils-mingw-w64-i686 mingw-w64-i686-dev wixl msitools libmsi0 libgcab-1.0-0 \
        faketime
} >"$tree/BUILDINFO.txt"

# Signs IN into $out/NAME and writes its detached signature beside it as NAME.sig.
# Nothing osslsigncode says reaches this output: it may name the key's files.
sign_into_out() {  # IN NAME WHAT
    if ! osslsigncode sign "${sign[@]}" -h sha256 -n Velmor -in "$1" -out "$out/$2" \
        >/dev/null 2>&1; then
        echo "release.sh: signing $3 failed; check the VELMOR_SIGN_* settings" >&2
        exit 1
    fi
    osslsigncode extract-signature -pem -in "$out/$2" -out "$out/$2.sig" >/dev/null
}

published=("$archive" velmor.exe)
if [ ${#sign[@]} -gt 0 ]; then
    sign_into_out "$built" velmor.exe "the exe"
    {
        echo "signed=yes"
        echo "unsigned-sha256=$(sha256sum "$built" | cut -d' ' -f1)"
        python3 "$scripts/release_signer.py" "$out/velmor.exe.sig" | sed 's/^/signer-/'
    } >>"$tree/BUILDINFO.txt"
    published+=(velmor.exe.sig)
else
    cp "$built" "$out/velmor.exe"
fi
python3 "$scripts/release_archive.py" "$out/$archive" "$epoch" "$out/velmor.exe" \
    "$tree/README.md" "$tree/BUILDINFO.txt"
# The package installs the exe as published, signed when the release is: it is written
# from that exe, then signed itself.
bash "$scripts/release_msi.sh" "$tree/$msi" "$epoch" "$version" "$out/velmor.exe" "$tree/README.md"
published+=("$msi")
if [ ${#sign[@]} -gt 0 ]; then
    sign_into_out "$tree/$msi" "$msi" "the package"
    published+=("$msi.sig")
else
    cp "$tree/$msi" "$out/$msi"
fi
(cd "$out" && sha256sum "${published[@]}" >SHA256SUMS)
echo "$out/$archive"
echo "$out/$msi"
echo "velmor.exe SHA-256: $(sha256sum "$out/velmor.exe" | cut -d' ' -f1)"
