#!/usr/bin/env bash
# Checks a published release folder against the commit its BUILDINFO.txt names: rebuilds
# the exe from that commit in a temporary worktree, and says for each published file
# whether it is what the release would have written:
#   velmor.exe       unsigned: the rebuilt exe; signed: the rebuilt exe (whose SHA-256
#                    BUILDINFO.txt records) with the signature it carries attached
#   velmor.exe.sig   the signature velmor.exe carries, made by the certificate
#                    BUILDINFO.txt names (its fingerprint printed, to compare with the one
#                    the publisher announces)
#   the archive      the same bytes, written from the exe, the commit's manuals and the
#                    published BUILDINFO.txt by the commit's own release_archive.py, so
#                    that a release made before the archive's entries changed is checked
#                    as it was made
#   the package      velmor-<version>.msi, where the commit's release writes one: the same
#                    bytes, written from that exe and the commit's manuals by the commit's
#                    own release_msi.sh, and when signed, with the signature it carries
#                    attached; velmor-<version>.msi.sig, that signature, made by the
#                    certificate BUILDINFO.txt names
#   SHA256SUMS       the hashes of exactly the published files
# Exits non-zero, naming the file, at any mismatch. Usage: scripts/check-release.sh DIR
set -euo pipefail
dir=$(cd "${1:?usage: scripts/check-release.sh DIR}" && pwd)
cd "$(dirname "$0")/.."
scripts=$PWD/scripts
bash scripts/install-deps.sh build

archives=("$dir"/velmor-*-win32.zip)
if [ ${#archives[@]} -ne 1 ] || [ ! -f "${archives[0]}" ]; then
    echo "check-release.sh: $dir holds no single velmor-<version>-win32.zip" >&2
    exit 2
fi
archive=${archives[0]}
work=$(mktemp -d)
trap 'git worktree remove --force "$work/tree" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("BUILDINFO.txt"))' \
    "$archive" >"$work/BUILDINFO.txt"
field() { sed -n "s/^$1=//p" "$work/BUILDINFO.txt"; }
commit=$(field commit)
if ! git cat-file -e "$commit^{commit}" 2>/dev/null; then
    echo "check-release.sh: commit $commit, which BUILDINFO.txt names, is not in this clone (a shallow clone?): fetch it, e.g. git fetch --unshallow" >&2
    exit 2
fi

echo "rebuilding $commit"
git worktree add -q --detach "$work/tree" "$commit"
(cd "$work/tree" && env -u VELMOR_SIGN_PKCS12 -u VELMOR_SIGN_CERT -u VELMOR_SIGN_KEY \
    SOURCE_DATE_EPOCH="$(field SOURCE_DATE_EPOCH)" bash scripts/release.sh >/dev/null 2>&1)
rebuilt="$work/tree/build/release/velmor.exe"

failed=0
verdict() {  # file, then the command that must succeed
    local file=$1
    shift
    if "$@"; then
        echo "ok   $file"
    else
        echo "FAIL $file"
        failed=$((failed + 1))
    fi
}
sha256() { sha256sum "$1" | cut -d' ' -f1; }

# A signed published FILE (the exe or the package) against REBUILT, the same file rebuilt
# unsigned; WHAT names it in the verdicts. The signature it carries is taken apart first,
# so that each file is judged on its own and a wrong signature beside a right file names
# the signature alone. Leaves $work/FILE, the rebuilt file with that signature attached.
judge_signed() {  # FILE REBUILT WHAT
    local file=$1 unsigned=$2 what=$3 signer
    osslsigncode extract-signature -pem -in "$dir/$file" -out "$work/$file.carried.sig" \
        >/dev/null 2>&1 || true
    verdict "$file.sig: the signature that $file carries" \
        cmp -s "$work/$file.carried.sig" "$dir/$file.sig"
    # attach-signature also checks the chain against the system's authorities, which
    # a private authority fails; the bytes it writes are what is compared.
    osslsigncode attach-signature -sigin "$work/$file.carried.sig" -in "$unsigned" \
        -out "$work/$file" >/dev/null 2>&1 || true
    verdict "$file: the rebuilt $what with the signature it carries attached" \
        cmp -s "$work/$file" "$dir/$file"
    signer=$( (python3 "$scripts/release_signer.py" "$dir/$file.sig" 2>/dev/null || true) |
        sed -n 's/^sha256=//p')
    echo "     $file's signer's certificate, SHA-256 fingerprint: $signer"
    verdict "$file.sig: the signer's fingerprint is the one BUILDINFO.txt records" \
        test "$signer" = "$(field signer-sha256)"
}

published=("$(basename "$archive")" velmor.exe)
if [ "$(field signed)" = yes ]; then
    published+=(velmor.exe.sig)
    verdict "velmor.exe rebuilt unsigned: the SHA-256 that BUILDINFO.txt records" \
        test "$(sha256 "$rebuilt")" = "$(field unsigned-sha256)"
    judge_signed velmor.exe "$rebuilt" exe
else
    cp "$rebuilt" "$work/velmor.exe"
    verdict "velmor.exe: the rebuilt exe" cmp -s "$work/velmor.exe" "$dir/velmor.exe"
fi
if [ -f "$work/tree/scripts/release_archive.py" ]; then
    python3 "$work/tree/scripts/release_archive.py" "$work/$(basename "$archive")" \
        "$(field SOURCE_DATE_EPOCH)" "$work/velmor.exe" "$work/tree/README.md" "$work/BUILDINFO.txt"
else  # a commit from before the script: the archive its own release wrote
    cp "$work/tree/build/release/$(basename "$archive")" "$work/"
fi
verdict "$(basename "$archive"): as the release writes it" \
    cmp -s "$work/$(basename "$archive")" "$archive"
# A commit from before the package published none: its release is checked without it.
if [ -f "$work/tree/scripts/release_msi.sh" ]; then
    msi="velmor-$(field version).msi"
    published+=("$msi")
    bash "$work/tree/scripts/release_msi.sh" "$work/rebuilt.msi" "$(field SOURCE_DATE_EPOCH)" \
        "$(field version)" "$work/velmor.exe" "$work/tree/README.md"
    if [ "$(field signed)" = yes ]; then
        published+=("$msi.sig")
        judge_signed "$msi" "$work/rebuilt.msi" package
    else
        verdict "$msi: the rebuilt package" cmp -s "$work/rebuilt.msi" "$dir/$msi"
    fi
fi
(cd "$dir" && sha256sum "${published[@]}") >"$work/SHA256SUMS"
verdict "SHA256SUMS: the hashes of exactly the published files" \
    cmp -s "$work/SHA256SUMS" "$dir/SHA256SUMS"
if [ "$failed" -ne 0 ]; then
    echo "check-release.sh: $failed of the published files differ from what $commit builds" >&2
    exit 1
fi
echo "check-release.sh: every published file is what $commit builds"
