#!/usr/bin/env python3
"""Checks that the two manuals stay whole: every switch of the switch table in
src/cli/options.cpp is named, as code, in README.md and in README.ja.md, and every line
of every text in the message catalogue (src/cli/messages.cpp: the banner, the usage text
and each message) stands in README.ja.md exactly as its code page 932 bytes decode.
README.ja.md also keeps two rules of its own: outside a fenced code block, a text the
command prints stands in 「」 (or alone as a list item), so that it never reads as an
instruction to the reader; and, outside the catalogue's own texts, each term keeps the
one spelling that Microsoft's Japanese uses, with its spacing.

Both manuals keep four rules for what an administrator pastes: every fenced block names its
shell, and whether it needs "Run as administrator", in its info string and in the line above
it; every path to Velmor names the one install folder; the comments of a sample batch file or
PowerShell script are ASCII unless the sample says how to save it; and the package's upgrade
code stands in each. Each fault names the manual and its line."""
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


# Each block's info string, and the words its label line (the nearest line above it that is
# not blank) starts with in each manual. "file" is a saved .cmd or .ps1, not typed; "text" is
# output or syntax, with nothing to run and no label.
BLOCK_LABELS = {
    "bat admin": ("Command Prompt, run as administrator", "コマンド プロンプト (管理者として実行)"),
    "bat user": ("Command Prompt, not elevated", "コマンド プロンプト (管理者権限は不要)"),
    "bat file": ("Batch file", "バッチ ファイル"),
    "powershell admin": ("PowerShell, run as administrator", "PowerShell (管理者として実行)"),
    "powershell user": ("PowerShell, not elevated", "PowerShell (管理者権限は不要)"),
    "powershell file": ("PowerShell script", "PowerShell スクリプト"),
    "sh root": ("Debian 12 shell, as root", "Debian 12 のシェル (root)"),
    "sh user": ("Debian 12 shell, as any user", "Debian 12 のシェル (一般ユーザー)"),
    "text": None,
}


def code_blocks(manual):
    """Each fenced block as (line of its fence, info string, label line, its lines)."""
    rows = manual.split("\n")
    blocks, number = [], 0
    while number < len(rows):
        fence = rows[number].strip()
        if fence.startswith("```"):
            label = next((row.strip() for row in reversed(rows[:number]) if row.strip()), "")
            end = number + 1
            while end < len(rows) and rows[end].strip() != "```":
                end += 1
            blocks.append((number + 1, fence[3:].strip(), label, rows[number + 1:end]))
            number = end
        number += 1
    return blocks


def block_problems(name, manual):
    """Blocks without their shell's label, and sample files whose comments cmd or Windows
    PowerShell would read in another code page than they were saved in."""
    language = 1 if name == "README.ja.md" else 0
    problems = []
    for line, info, label, rows in code_blocks(manual):
        where = "%s line %d" % (name, line)
        if info not in BLOCK_LABELS:
            problems.append("%s: a code block labelled %r, not one of %s"
                            % (where, info, ", ".join(sorted(BLOCK_LABELS))))
            continue
        if BLOCK_LABELS[info] and not label.startswith(BLOCK_LABELS[info][language]):
            problems.append("%s: the line above a %r block starts with %r, not %r"
                            % (where, info, label[:40], BLOCK_LABELS[info][language]))
        if info.startswith("bat") and rows and rows[0].strip().lower() == "@echo off" \
                and info != "bat file":
            problems.append("%s: a batch file's text labelled %r, not 'bat file'" % (where, info))
        for offset, row in enumerate(rows, 1):
            if row.isascii():
                continue
            comment = re.match(r"\s*(@?rem\b|::)", row, re.I)
            if info == "bat file" and comment and "ANSI" not in label:
                problems.append("%s: a non-ASCII comment in a batch file whose label does not say "
                                "to save it as ANSI" % (name + " line %d" % (line + offset)))
            if info == "powershell file" and "BOM" not in label:
                problems.append("%s: non-ASCII text in a PowerShell script whose label does not say "
                                "to save it as UTF-8 with BOM" % (name + " line %d" % (line + offset)))
    return problems


# Velmor lives in one folder: "Program Files (x86)\Velmor" on 64-bit Windows. A line may name the
# 32-bit folder only where it carries this mark, once or twice in each manual.
THIRTY_TWO_BIT_MARK = "<!-- 32-bit folder -->"
OTHER_FOLDER = re.compile(
    r"(%ProgramFiles%|\$env:ProgramFiles(\(x86\))?|\$\{env:ProgramFiles\}|Program Files)\\Velmor",
    re.I)


def folder_problems(name, manual):
    """Lines that call Velmor from another folder than the one the manuals name."""
    problems, marked = [], 0
    for number, row in enumerate(manual.split("\n"), 1):
        if THIRTY_TWO_BIT_MARK in row:
            marked += 1
            continue
        found = OTHER_FOLDER.search(row)
        if found:
            problems.append("%s line %d names %s: the install folder is "
                            "%%ProgramFiles(x86)%%\\Velmor (mark the 32-bit sentence with %s)"
                            % (name, number, found.group(0), THIRTY_TWO_BIT_MARK))
    if marked > 2:
        problems.append("%s marks %d lines with %s, at most 2" % (name, marked, THIRTY_TWO_BIT_MARK))
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
    upgrade_code = re.search(r'UpgradeCode="([0-9A-F-]{36})"', read("scripts/velmor.wxs")).group(1)
    pasting = []
    for manual, text in manuals.items():
        pasting += block_problems(manual, text) + folder_problems(manual, text)
        if upgrade_code.lower() not in text.lower():
            pasting.append("%s lacks the package's upgrade code %s" % (manual, upgrade_code))
    for problem in missing + wording + pasting:
        print(problem)
    print("manuals: %d switches and %d lines of the catalogue checked, %d missing; "
          "README.ja.md's quotes and spellings, %d wrong; code blocks, install folder and "
          "upgrade code, %d wrong"
          % (len(names), len(lines), len(missing), len(wording), len(pasting)))
    return 1 if missing or wording or pasting or not names or not lines else 0


if __name__ == "__main__":
    sys.exit(main())
