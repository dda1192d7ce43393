#!/usr/bin/env python3
"""Checks that the UTF-8 comment above each text of src/cli/messages.cpp gives exactly
the wording that the text's code page 932 bytes stand for, so that a reviewer reading
the comments reads what the program says."""
import re
import sys

SOURCE = sys.argv[1] if len(sys.argv) > 1 else "src/cli/messages.cpp"
ESCAPES = {"n": b"\n", "t": b"\t", "\\": b"\\", '"': b'"', "'": b"'"}


def literal_bytes(text):
    """The bytes of the C string literals in text, joined."""
    out = bytearray()
    for body in re.findall(r'"((?:[^"\\]|\\.)*)"', text):
        for escape, plain in re.findall(r'\\(x[0-9a-fA-F]+|.)|([^\\])', body):
            if plain:
                out += plain.encode("utf-8")
            elif escape[0] == "x":
                out.append(int(escape[1:], 16))
            else:
                out += ESCAPES[escape]
    return bytes(out)


def main():
    lines = open(SOURCE, encoding="utf-8").read().split("\n")
    checked, wrong = 0, []
    for i, line in enumerate(lines):
        match = re.match(r'\s*// (".*")$', line)
        if not match or not lines[i + 1].lstrip().startswith('"'):
            continue
        end = i + 1
        while not lines[end].rstrip().endswith(('",', '";')):
            end += 1
        said = literal_bytes(match.group(1)).decode("utf-8")
        stored = literal_bytes("\n".join(lines[i + 1:end + 1])).decode("cp932")
        checked += 1
        if said != stored:
            wrong.append("%s:%d: the comment says %r, the bytes say %r" % (SOURCE, i + 1, said, stored))
    for message in wrong:
        print(message)
    print("catalogue comments: %d checked, %d wrong" % (checked, len(wrong)))
    return 1 if wrong or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
