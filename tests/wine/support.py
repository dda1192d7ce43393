"""Helpers that the Wine suite and the footprint benchmark share: the expected texts,
read from the host tests' own list so that there is one list, and the PE import table."""
import os
import re
import subprocess

_EXPECTED_TEXTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "host",
                               "expected_texts.h")
_STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')


def _unescape(literal):
    return re.sub(r'\\(.)', lambda m: {"n": "\n"}.get(m.group(1), m.group(1)), literal)


def expected_texts():
    """{name: text or [texts]} from expected_texts.h, its C string literals decoded."""
    with open(_EXPECTED_TEXTS, encoding="utf-8") as f:
        source = f.read()
    texts = {}
    for name, body in re.findall(r"const char\*? ?(?:const )?(k\w+)\[\] =\s*(.*?);", source, re.S):
        strings = [_unescape(s) for s in _STRING.findall(body)]
        texts[name] = strings if body.lstrip().startswith("{") else "".join(strings)
    return texts


def imports(exe):
    """{DLL: [function, ...]} from the exe's import table."""
    out = subprocess.run(["i686-w64-mingw32-objdump", "-p", exe], capture_output=True,
                         text=True, check=True).stdout
    table, dll = {}, None
    for line in out.splitlines():
        match = re.match(r"\s*DLL Name: (\S+)", line)
        if match:
            dll = match.group(1)
            table[dll] = []
        elif dll and re.match(r"\s+[0-9a-f]+\s+\d+\s+\w+$", line):
            table[dll].append(line.split()[-1])
    return table
