#!/usr/bin/env bash
# Builds velmor.exe from the committed tree (HEAD, not the work tree's changes) and writes
# build/release/velmor-<version>-win32.zip: the exe, the README and SHA256SUMS, the
# exe's hash as "sha256sum -c" reads it. Two runs on one commit give the same bytes, the
# archive's included: its entries carry the commit's time (or SOURCE_DATE_EPOCH when
# set) and stand in a fixed order. Prints the exe's SHA-256.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
out="$PWD/build/release"
tree="$out/tree"
rm -rf "$tree"
mkdir -p "$tree"
git archive HEAD | tar -x -C "$tree"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: the work tree has uncommitted changes; the release is built from $(git rev-parse --short HEAD) without them" >&2
fi
(cd "$tree" && cmake --preset windows >/dev/null && cmake --build --preset windows --target velmor >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/build/windows/CMakeCache.txt")
archive="$out/velmor-$version-win32.zip"
epoch="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}"
python3 - "$archive" "$epoch" "$tree/build/windows/velmor.exe" "$tree/README.md" <<'PY'
import hashlib, sys, time, zipfile
archive, epoch, exe, readme = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip holds no time before 1980
with open(exe, "rb") as f:
    image = f.read()
with open(readme, "rb") as f:
    readme_text = f.read()
sums = ("%s  velmor.exe\n" % hashlib.sha256(image).hexdigest()).encode()
with zipfile.ZipFile(archive, "w") as z:
    for name, data, mode in [("velmor.exe", image, 0o755), ("README.md", readme_text, 0o644),
                             ("SHA256SUMS", sums, 0o644)]:
        entry = zipfile.ZipInfo(name, date_time=stamp)
        entry.create_system = 0
        entry.external_attr = mode << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(entry, data, compresslevel=9)
PY
echo "$archive"
echo "velmor.exe SHA-256: $(sha256sum "$tree/build/windows/velmor.exe" | cut -d' ' -f1)"
