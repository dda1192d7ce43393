#!/usr/bin/env python3
"""Writes the release archive, the same bytes for the same files whoever writes it: the
release, and the check that rebuilds a published one. Its entries, in a fixed order, all
carry the given time: velmor.exe, README.md, README.ja.md (the Japanese manual, read
from beside README), SHA256SUMS (the exe's hash, as "sha256sum -c" reads it) and
BUILDINFO.txt.
Usage: release_archive.py ARCHIVE EPOCH EXE README BUILDINFO"""
import hashlib
import os
import sys
import time
import zipfile


def main():
    archive, epoch, exe, readme, buildinfo = sys.argv[1], int(sys.argv[2]), *sys.argv[3:6]
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip holds no time before 1980
    files = {}
    japanese = os.path.join(os.path.dirname(readme), "README.ja.md")
    for name, path in [("velmor.exe", exe), ("README.md", readme), ("README.ja.md", japanese),
                       ("BUILDINFO.txt", buildinfo)]:
        with open(path, "rb") as f:
            files[name] = f.read()
    files["SHA256SUMS"] = ("%s  velmor.exe\n"
                          % hashlib.sha256(files["velmor.exe"]).hexdigest()).encode()
    with zipfile.ZipFile(archive, "w") as z:
        for name in ["velmor.exe", "README.md", "README.ja.md", "SHA256SUMS", "BUILDINFO.txt"]:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.create_system = 0
            entry.external_attr = (0o755 if name.endswith(".exe") else 0o644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(entry, files[name], compresslevel=9)


if __name__ == "__main__":
    main()
