#!/usr/bin/env bash
# Builds velmor.exe from the committed tree (HEAD, not the work tree's changes) and writes
# into build/release/:
#   velmor-<version>-win32.zip  velmor.exe, README.md, SHA256SUMS (the exe's hash, as
#                               "sha256sum -c" reads it) and BUILDINFO.txt (the version,
#                               the commit, the SOURCE_DATE_EPOCH used and the Debian
#                               package versions of the toolchain)
#   SHA256SUMS                  the hashes of the archive and of the exe, to be published
#                               apart from the archive
# Two runs on one commit give the same bytes: the entries carry the commit's time (or
# SOURCE_DATE_EPOCH when set) and stand in a fixed order. Needs only the build tools, and
# no root once they are installed. Prints the archive's path and the exe's SHA-256.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
out="$PWD/build/release"
tree="$out/tree"
rm -rf "$tree"
mkdir -p "$tree"
# The files as committed, whatever this clone's line-end settings.
git -c core.autocrlf=false -c core.eol=lf archive HEAD | tar -x -C "$tree"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: the work tree has uncommitted changes; the release is built from $(git rev-parse --short HEAD) without them" >&2
fi
(cd "$tree" && cmake --preset windows >/dev/null && cmake --build --preset windows --target velmor >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/build/windows/CMakeCache.txt")
archive="velmor-$version-win32.zip"
epoch="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}"
{
    echo "version=$version"
    echo "commit=$(git rev-parse HEAD)"
    echo "SOURCE_DATE_EPOCH=$epoch"
    dpkg-query -W -f '${Package}=${Version}\n' g++-mingw-w64-i686-win32 \
        binutils-mingw-w64-i686 mingw-w64-i686-dev
} >"$tree/BUILDINFO.txt"
python3 - "$out/$archive" "$epoch" "$tree/build/windows/velmor.exe" "$tree/README.md" \
    "$tree/BUILDINFO.txt" <<'PY'
import hashlib, sys, time, zipfile
archive, epoch, exe, readme, buildinfo = sys.argv[1], int(sys.argv[2]), *sys.argv[3:]
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip holds no time before 1980
files = {}
for name, path in [("velmor.exe", exe), ("README.md", readme), ("BUILDINFO.txt", buildinfo)]:
    with open(path, "rb") as f:
        files[name] = f.read()
files["SHA256SUMS"] = ("%s  velmor.exe\n" % hashlib.sha256(files["velmor.exe"]).hexdigest()).encode()
with zipfile.ZipFile(archive, "w") as z:
    for name in ["velmor.exe", "README.md", "SHA256SUMS", "BUILDINFO.txt"]:
        entry = zipfile.ZipInfo(name, date_time=stamp)
        entry.create_system = 0
        entry.external_attr = (0o755 if name.endswith(".exe") else 0o644) << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(entry, files[name], compresslevel=9)
PY
cp "$tree/build/windows/velmor.exe" "$out/velmor.exe"
(cd "$out" && sha256sum "$archive" velmor.exe >SHA256SUMS)
echo "$out/$archive"
echo "velmor.exe SHA-256: $(sha256sum "$out/velmor.exe" | cut -d' ' -f1)"
