#!/usr/bin/env bash
# Writes the release's Windows Installer package from scripts/velmor.wxs, the same bytes for
# the same files whoever writes it: the release, and the check that rebuilds a published
# one. It installs the given exe, README and the README.ja.md beside it; README's folder is
# the tree whose version resource names the manufacturer.
# Usage: release_msi.sh MSI EPOCH VERSION EXE README
#
# What would differ from run to run, and how it is fixed:
#   - the product code and the package code (the summary's revision number, which wixl
#     draws at random and msibuild sets afterwards) are two name-based UUIDs of everything
#     the package is made from: the version, the time, the manufacturer and the SHA-256 of
#     each file, of velmor.wxs and of this script. Each different package has its own
#     product code (the unsigned and the signed build of one version too), and its major
#     upgrade takes the same version as well as older ones;
#   - the summary's created and saved times, which wixl and msibuild take from the clock,
#     are the given time: both run under faketime with the clock stopped there, in UTC;
#   - the cabinet keeps each file's modification time and attributes: the files are
#     copied with the given time and mode 644 first.
#
# What wixl 0.101 cannot write is set afterwards, each table exported with msiinfo, edited
# and imported again with msibuild:
#   - File: velmor.exe's version and language, read from its own version resource (an exe
#     without one, as in the tests' older package, stays unversioned), and MsiFileHash
#     without its row, which is for unversioned files alone; a short name before each long
#     name that is not one itself (README.ja.md), as the Filename type asks;
#   - Upgrade: the major upgrade's VersionMax inclusive (msidbUpgradeAttributesVersionMaxInclusive),
#     so that another build of the same version replaces the installed one rather than
#     installing beside it under its own product code;
#   - Environment, with WriteEnvironmentStrings and RemoveEnvironmentStrings in
#     InstallExecuteSequence: the PathEntry feature's folder appended to the system PATH;
#   - Condition: the PathEntry feature on (level 1) where an earlier install recorded it;
#   - Property: INSTALLDIR among the SecureCustomProperties, so that a folder given on the
#     command line or found in the registry reaches the installation's server side.
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
ids=$(python3 - "$here/velmor.wxs" "$0" "$version" "$epoch" "$manufacturer" "$stage/files" <<'PY'
import hashlib, os, re, sys, uuid
wxs, script, version, epoch, manufacturer, files = sys.argv[1:]
source = open(wxs, "rb").read()
space = uuid.UUID(re.search(rb'UpgradeCode="([0-9A-F-]+)"', source).group(1).decode())
inputs = ["version=" + version, "epoch=" + epoch, "manufacturer=" + manufacturer,
          "velmor.wxs=" + hashlib.sha256(source).hexdigest(),
          "release_msi.sh=" + hashlib.sha256(open(script, "rb").read()).hexdigest()]
for name in ["velmor.exe", "README.md", "README.ja.md"]:
    with open(os.path.join(files, name), "rb") as f:
        inputs.append(name + "=" + hashlib.sha256(f.read()).hexdigest())
print(str(uuid.uuid5(space, "product " + "\n".join(inputs))).upper())
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
mkdir "$stage/tables"
for table in File MsiFileHash Upgrade InstallExecuteSequence Property; do
    msiinfo export "$stage/velmor.msi" "$table" >"$stage/tables/$table.idt"
done
python3 - "$stage/files/velmor.exe" "$stage/tables" <<'PY'
import os, re, struct, sys
exe, tables = sys.argv[1:]
data = open(exe, "rb").read()

def version_and_language(data):
    """FILEVERSION and the first Translation's language of the version resource, or None."""
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    at = data.find(key)
    if at < 6:
        return None
    start = at - 6  # wLength, wValueLength, wType come before the key
    fixed = start + (6 + len(key) + 3) // 4 * 4
    signature, _, ms, ls = struct.unpack_from("<4I", data, fixed)
    if signature != 0xFEEF04BD:
        return None
    version = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    key = "Translation\0".encode("utf-16-le")
    at = data.find(key, fixed)
    if at < 6:
        return version, ""
    value = (at - 6) + (6 + len(key) + 3) // 4 * 4
    return version, str(struct.unpack_from("<H", data, value)[0])

def edit(table, change):
    """Rewrites TABLE.idt (CRLF lines, three heading lines) with change(fields) per row."""
    path = os.path.join(tables, table + ".idt")
    lines = open(path, newline="").read().split("\r\n")
    heading, rows = lines[:3], [line.split("\t") for line in lines[3:] if line]
    rows = [row for row in map(change, rows) if row is not None]
    with open(path, "w", newline="") as f:
        f.write("".join(line + "\r\n" for line in heading + ["\t".join(r) for r in rows]))

SHORT_PART = r"[A-Za-z0-9_$~!#%&'@^(){}`-]"
short_names = set()

def with_short_name(name):
    """NAME as the Filename type has it: a valid 8.3 name alone, else short|long."""
    if re.fullmatch(SHORT_PART + "{1,8}(\\." + SHORT_PART + "{1,3})?", name):
        short_names.add(name.upper())
        return name
    stem, _, extension = name.rpartition(".")
    stem = "".join(re.findall(SHORT_PART, stem))[:6]
    extension = "".join(re.findall(SHORT_PART, extension))[:3]
    number = 1
    while ("%s~%d.%s" % (stem, number, extension)).upper() in short_names:
        number += 1
    short = "%s~%d.%s" % (stem, number, extension)
    short_names.add(short.upper())
    return short + "|" + name

found = version_and_language(data)
def file_row(row):  # File, Component_, FileName, FileSize, Version, Language, ...
    row[2] = with_short_name(row[2])
    if row[0] == "velmor.exe" and found:
        row[4], row[5] = found
    return row
edit("File", file_row)
if found:
    edit("MsiFileHash", lambda row: None if row[0] == "velmor.exe" else row)

def inclusive(row):  # UpgradeCode, VersionMin, VersionMax, Language, Attributes, ...
    if row[2]:  # the major upgrade's row, which has a VersionMax
        row[4] = str(int(row[4]) | 0x200)
    return row
edit("Upgrade", inclusive)

# Standard sequence numbers: after RemoveFiles, and after WriteRegistryValues.
with open(os.path.join(tables, "InstallExecuteSequence.idt"), "a", newline="") as f:
    f.write("RemoveEnvironmentStrings\t\t3300\r\nWriteEnvironmentStrings\t\t5200\r\n")
def secure(row):  # Property, Value
    if row[0] == "SecureCustomProperties":
        row[1] = "INSTALLDIR;" + row[1]
    return row
edit("Property", secure)
with open(os.path.join(tables, "Condition.idt"), "w", newline="") as f:
    f.write("Feature_\tLevel\tCondition\r\ns38\ti2\tS255\r\n"
            "Condition\tFeature_\tLevel\r\nPathEntry\t1\tRECORDEDPATHENTRY\r\n")
# Name: = set on install, - removed on removal, * the system's; [~]; appends to it.
with open(os.path.join(tables, "Environment.idt"), "w", newline="") as f:
    f.write("Environment\tName\tValue\tComponent_\r\ns72\tl255\tL255\ts72\r\n"
            "Environment\tEnvironment\r\nPathEntry\t=-*PATH\t[~];[INSTALLDIR]\tPathEntry\r\n")
PY
for table in File MsiFileHash Upgrade InstallExecuteSequence Property Environment Condition; do
    "${stopped[@]}" msibuild "$stage/velmor.msi" -i "$stage/tables/$table.idt"
done
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
