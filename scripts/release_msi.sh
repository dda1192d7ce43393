#!/usr/bin/env bash
# Writes the release's Windows Installer package from scripts/velmor.wxs, the same bytes for
# the same files whoever writes it: the release, and the check that rebuilds a published
# one. It installs the given exe, README and the README.ja.md beside it; README's folder is
# the tree whose version resource names the manufacturer.
# Usage: release_msi.sh MSI EPOCH VERSION EXE README
#
# What would differ from run to run, and how it is fixed:
#   - the product code changes with the version, a name-based UUID of it;
#   - the package code (the summary's revision number), which wixl draws at random, is
#     set afterwards with msibuild to a name-based UUID of everything the package is made
#     from: the version, the time, the manufacturer and the SHA-256 of each file and of
#     velmor.wxs;
#   - the summary's created and saved times, which wixl and msibuild take from the clock,
#     are the given time: both run under faketime with the clock stopped there, in UTC;
#   - the cabinet keeps each file's modification time and attributes: the files are
#     copied with the given time and mode 644 first.
set -euo pipefail
if [ $# -ne 5 ]; then
    echo "usage: release_msi.sh MSI EPOCH VERSION EXE README" >&2
    exit 2
fi
msi=$1 epoch=$2 version=$3 exe=$4 readme=$5
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

mkdir "$stage/files"
cp "$exe" "$stage/files/velmor.exe"
cp "$readme" "$stage/files/README.md"
cp "$(dirname "$readme")/README.ja.md" "$stage/files/README.ja.md"
chmod 644 "$stage/files/"*
# A cabinet, like a zip, holds no time before 1980.
touch -d "@$(( epoch > 315532800 ? epoch : 315532800 ))" "$stage/files/"*

# The manufacturer is the one the version resource names: its CompanyName, and where it
# names none, its ProductName.
rc="$(dirname "$readme")/src/resources/velmor.rc"
manufacturer=$(sed -n 's/.*VALUE "CompanyName", "\(.*\)".*/\1/p' "$rc")
[ -n "$manufacturer" ] || manufacturer=$(sed -n 's/.*VALUE "ProductName", "\(.*\)".*/\1/p' "$rc")
if [ -z "$manufacturer" ]; then
    echo "release_msi.sh: $rc names no CompanyName or ProductName" >&2
    exit 1
fi

# Both codes are UUIDs named in the space of the upgrade code, so that they are Velmor's alone.
ids=$(python3 - "$here/velmor.wxs" "$version" "$epoch" "$manufacturer" "$stage/files" <<'PY'
import hashlib, os, re, sys, uuid
wxs, version, epoch, manufacturer, files = sys.argv[1:]
source = open(wxs, "rb").read()
space = uuid.UUID(re.search(rb'UpgradeCode="([0-9A-F-]+)"', source).group(1).decode())
inputs = ["version=" + version, "epoch=" + epoch, "manufacturer=" + manufacturer,
          "velmor.wxs=" + hashlib.sha256(source).hexdigest()]
for name in ["velmor.exe", "README.md", "README.ja.md"]:
    with open(os.path.join(files, name), "rb") as f:
        inputs.append(name + "=" + hashlib.sha256(f.read()).hexdigest())
print(str(uuid.uuid5(space, "product " + version)).upper())
print(str(uuid.uuid5(space, "package " + "\n".join(inputs))).upper())
PY
)
product_code=${ids%%$'\n'*}
package_code=${ids##*$'\n'}

stopped=(env TZ=UTC faketime -f "$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')")
# wixl finds a File's Source from the folder it runs in.
(cd "$stage/files" && "${stopped[@]}" wixl -a x86 -D Version="$version" \
    -D ProductCode="$product_code" -D Manufacturer="$manufacturer" -o "$stage/velmor.msi" \
    "$here/velmor.wxs")
# msibuild -s sets the subject, author and template with the revision number: the values
# wixl wrote are given again.
"${stopped[@]}" msibuild "$stage/velmor.msi" -s "Velmor $version" "$manufacturer" "Intel;1033" \
    "{$package_code}"
# wixl ends with status 0 even when it could not write the package: read it back.
if ! msiinfo suminfo "$stage/velmor.msi" | grep -qxF "Revision number (UUID): {$package_code}"; then
    echo "release_msi.sh: wixl wrote no readable package" >&2
    exit 1
fi
mv "$stage/velmor.msi" "$msi"
