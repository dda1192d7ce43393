"""Helpers that the Wine suite and the footprint benchmark share: the expected texts and
the split's table of raw command lines, read from the host tests' own files so that each
list exists once, the PE import table, and the private Wine prefixes."""
import os
import re
import subprocess

_EXPECTED_TEXTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "host",
                               "expected_texts.h")
_SPLIT_CASES = os.path.join(os.path.dirname(_EXPECTED_TEXTS), "split_cases.h")
_STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')
_LITERALS = r'(?:"(?:[^"\\]|\\.)*"\s*)+'


def _unescape(literal):
    return re.sub(r'\\(x[0-9a-fA-F]{2}|.)', lambda m: {"n": "\n", "t": "\t"}.get(
        m.group(1), chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x" and len(m.group(1)) == 3
        else m.group(1)), literal)


def _bytes(literals):
    """Adjacent C string literals, joined, as the bytes they stand for."""
    return "".join(_unescape(s) for s in _STRING.findall(literals)).encode("latin-1")


def expected_texts():
    """{name: text or [texts]} from expected_texts.h, its C string literals decoded."""
    with open(_EXPECTED_TEXTS, encoding="utf-8") as f:
        source = f.read()
    texts = {}
    for name, body in re.findall(r"const char\*? ?(?:const )?(k\w+)\[\] =\s*(.*?);", source, re.S):
        strings = [_unescape(s) for s in _STRING.findall(body)]
        texts[name] = strings if body.lstrip().startswith("{") else "".join(strings)
    return texts


def split_cases():
    """[(what, code page, line bytes, [argument bytes])] from split_cases.h."""
    with open(_SPLIT_CASES, encoding="utf-8") as f:
        source = f.read()
    row = re.compile(r'\{\s*(%s),\s*(\d+),\s*(%s),\s*\{((?:\s*%s,?)*)\s*\}\s*\}'
                     % (_LITERALS, _LITERALS, _LITERALS))
    cases = []
    for what, page, line, expected in row.findall(source):
        arguments = re.findall(r'(%s)(?:,|$)' % _LITERALS, expected.strip())
        cases.append((_bytes(what).decode(), int(page), _bytes(line),
                      [_bytes(a) for a in arguments]))
    return cases


def imports(exe):
    """{DLL: [function, ...]} from the exe's import table (32-bit or 64-bit)."""
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True,
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


ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
WINE64 = "/usr/lib/wine/wine64"


class Mode:
    """One way of running the exe under Wine: which build, which kind of prefix, which
    loader. The 64-bit exe is started by wine64 itself, since Debian's wine script goes
    through the 32-bit loader whenever that is installed, even where it cannot start."""

    def __init__(self, name, build, arch, is32):
        self.name, self.build, self.arch, self.is32 = name, build, arch, is32
        self.prefix = os.path.join(build, "wine-prefix-" + arch)

    def path(self, name):
        return os.path.join(self.build, name)

    def loader(self):
        return ["wine"] if self.is32 else [WINE64]


BUILD32 = os.path.join(ROOT, "build", "windows")
BUILD64 = os.path.join(ROOT, "build", "windows64")
MODES = [
    Mode("win32", BUILD32, "win32", True),  # the 32-bit exe on 32-bit Windows
    Mode("wow64", BUILD32, "win64", True),  # the 32-bit exe under WoW64, as on 64-bit Windows
    Mode("x64", BUILD64, "win64", False),   # the same sources built for x86-64
]


def host_runs_i386():
    """The host decision of scripts/i386-host.sh: (0, None) where 32-bit x86 code runs;
    otherwise (1, why) where only 64-bit code runs, or (2, why) where no x86 code does."""
    result = subprocess.run(["bash", os.path.join(ROOT, "scripts", "i386-host.sh")],
                            capture_output=True, text=True)
    return result.returncode, result.stdout.strip() or None


def prefix_env(mode):
    """The environment of the mode's private prefix under its build folder; WINEARCH is
    always set, since with wine64 installed wineboot would otherwise make a 64-bit one."""
    env = dict(os.environ, WINEARCH=mode.arch, WINEPREFIX=mode.prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=d")
    if not mode.is32:
        env["WINELOADER"] = WINE64
    return env


def start_wineserver(mode, env):
    """One persistent wineserver for a whole run; the prefix is made on first use. A
    server left running on this private prefix by an earlier run is ended first."""
    stop_wineserver(env)
    if not os.path.isdir(env["WINEPREFIX"]):
        subprocess.run(mode.loader() + ["wineboot", "-i"], env=env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=env)
    subprocess.run(["wineserver", "-p"], env=env, check=True)


def stop_wineserver(env):
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
