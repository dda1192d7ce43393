#!/usr/bin/env python3
"""Checks that the two manuals stay whole: every switch of the switch table in
src/cli/options.cpp is named, as code, in README.md and in README.ja.md, and every line
of every text in the message catalogue (src/cli/messages.cpp: the banner, the usage text
and each message) stands in README.ja.md exactly as its code page 932 bytes decode.
README.ja.md also keeps two rules of its own: outside a fenced code block, a text the
command prints stands in 「」 (or alone as a list item), so that it never reads as an
instruction to the reader; and, outside the catalogue's own texts, each term keeps the
one spelling that Microsoft's Japanese uses, with its spacing."""
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


# Spellings README.ja.md does not use, and Microsoft's spelling that it uses instead. The
# catalogue's own texts keep theirs: they are what the command prints.
JAPANESE_SPELLINGS = [
    ("ウインドウ", "ウィンドウ"),
    ("タスクスケジューラ", "タスク スケジューラ"),
    ("イベントビューア", "イベント ビューアー"),
    ("コマンドプロンプト", "コマンド プロンプト"),
    ("コマンドライン", "コマンド ライン"),
    ("ユーザーアカウント", "ユーザー アカウント"),
    ("ユーザープロファイル", "ユーザー プロファイル"),
    ("コードページ", "コード ページ"),
]


def japanese_problems(manual, lines):
    """The unquoted catalogue texts and the other spellings in README.ja.md's prose."""
    problems = []
    texts = sorted({line.strip() for line in lines}, key=len, reverse=True)
    in_code = False
    for number, row in enumerate(manual.split("\n"), 1):
        if row.lstrip().startswith("```"):
            in_code = not in_code
            continue
        if in_code:
            continue
        prose = row
        for text in texts:
            if row.strip() == "- " + text:
                prose = prose.replace(text, "")
                continue
            start = prose.find(text)
            while start >= 0:
                end = start + len(text)
                if not (prose[start - 1:start] == "「" and prose[end:end + 1] == "」"):
                    problems.append("README.ja.md line %d shows %r outside 「」" % (number, text))
                prose = prose[:start] + prose[end:]
                start = prose.find(text)
        for other, microsoft in JAPANESE_SPELLINGS:
            if other in prose:
                problems.append("README.ja.md line %d writes %s, not %s" % (number, other, microsoft))
    return problems


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
    wording = japanese_problems(manuals["README.ja.md"], lines)
    for problem in missing + wording:
        print(problem)
    print("manuals: %d switches and %d lines of the catalogue checked, %d missing; "
          "README.ja.md's quotes and spellings, %d wrong"
          % (len(names), len(lines), len(missing), len(wording)))
    return 1 if missing or wording or not names or not lines else 0


if __name__ == "__main__":
    sys.exit(main())
