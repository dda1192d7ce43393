#!/usr/bin/env python3
"""Checks that the two manuals stay whole: every switch of the switch table in
src/cli/options.cpp is named, as code, in README.md and in README.ja.md, and every line
of every text in the message catalogue (src/cli/messages.cpp: the banner, the usage text
and each message) stands in README.ja.md exactly as its code page 932 bytes decode."""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from importlib import import_module  # noqa: E402

literal_bytes = import_module("check-catalogue-comments").literal_bytes


def switch_names(options_source):
    """The names of the switch table, in its order: "nologo", "user:", ..."""
    table = re.search(r"kSwitchRules\[\] = \{(.*?)\n\};", options_source, re.S).group(1)
    return re.findall(r'\{"([^"]+)", (?:true|false), \w+\}', table)


def catalogue_texts(messages_source):
    """Every text of the catalogue, decoded: each constant and each usage piece."""
    source = re.sub(r"^\s*//.*$", "", messages_source, flags=re.M)
    texts = []
    for body in re.findall(r"const char\*?\s*(?:const\s+)?k\w+\[\] =\s*(.*?);", source, re.S):
        pieces = re.findall(r'((?:"(?:[^"\\]|\\.)*"\s*)+),?', body) if body.lstrip().startswith(
            "{") else [body]
        texts += [literal_bytes(piece).decode("cp932") for piece in pieces]
    return texts


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    read = lambda name: open(os.path.join(root, name), encoding="utf-8").read()
    manuals = {name: read(name) for name in ("README.md", "README.ja.md")}
    missing = []
    names = switch_names(read("src/cli/options.cpp"))
    for name in names:
        for manual, text in manuals.items():
            if "`/" + name not in text:
                missing.append("%s names no switch `/%s`" % (manual, name))
    lines = [line for text in catalogue_texts(read("src/cli/messages.cpp"))
             for line in text.split("\n") if line.strip()]
    for line in lines:
        if line not in manuals["README.ja.md"]:
            missing.append("README.ja.md lacks the catalogue's line %r" % line)
    for problem in missing:
        print(problem)
    print("manuals: %d switches and %d lines of the catalogue checked, %d missing"
          % (len(names), len(lines), len(missing)))
    return 1 if missing or not names or not lines else 0


if __name__ == "__main__":
    sys.exit(main())
