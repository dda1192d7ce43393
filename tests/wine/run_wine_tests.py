#!/usr/bin/env python3
"""Runs the real velmor.exe, and velmor_seam.exe with its fake logon call, under Wine, in
each mode the host offers: the 32-bit exe in a 32-bit prefix (win32) and in a 64-bit one
where it runs under WoW64 as on 64-bit Windows (wow64), and the same sources built for
x86-64 in a 64-bit prefix (x64). A host that runs no 32-bit code runs x64 alone, and
says so; the checks of the 32-bit exe that need no running run everywhere.

Expected texts come in UTF-8 from the host tests' list and are encoded with Python's
own cp932 codec, so the comparison never leans on Velmor's catalogue.
Usage: run_wine_tests.py [win32|wow64|x64 ...]
"""
import os
import re
import shlex
import struct
import subprocess
import sys
import threading
import time

from support import (BUILD32, BUILD64, MODES, ROOT, expected_texts, host_runs_i386, imports,
                     prefix_env, split_cases, start_wineserver, stop_wineserver)

# The programs of each build folder that the checks run.
EXE = "velmor.exe"
SEAM = "velmor_seam.exe"
RAWRUN = "rawrun.exe"
PROBE = "probe.exe"
SPLIT_PROBE = "split_probe.exe"
# Test copies whose conversions refuse, as Windows does, flags that Wine takes with UTF-8.
STRICT = "velmor_strict.exe"
SPLIT_PROBE_STRICT = "split_probe_strict.exe"
STACK_PROBE = "stack_probe.exe"
MEMORY_CONTROL = "memory_control.exe"

# Rows that only a 32-bit image can show. Where the exe is 64-bit each is printed as not
# applicable, with its reason, and counted as neither passed nor failed.
ONLY_32_BIT = {
    "native copy": "only a 32-bit process under WoW64 has a native copy of its command line",
    "NO_SEH": "a 64-bit image keeps its exception handlers in tables, never on the stack",
}
# Wine takes its ANSI code page from the locale; most checks run on the first two.
LOCALES = {1252: "C", 932: "ja_JP.UTF-8", 936: "zh_CN.UTF-8", 949: "ko_KR.UTF-8",
           950: "zh_TW.UTF-8", 65001: "hi_IN.UTF-8"}
CODE_PAGES = (1252, 932)
CODECS = {1252: "cp1252", 932: "cp932", 936: "cp936", 949: "cp949", 950: "cp950",
          65001: "utf-8"}

TEXTS = expected_texts()
BANNER = TEXTS["kExpectedBanner"]
USAGE = TEXTS["kExpectedUsage"]
USER_REQUIRED = TEXTS["kExpectedUserRequired"]
COMMAND_REQUIRED = TEXTS["kExpectedCommandRequired"]
LAUNCH_FAILED = TEXTS["kExpectedLaunchFailed"]
VALUE_TOO_LONG = TEXTS["kExpectedValueTooLong"]
CREDENTIAL_UNREADABLE = TEXTS["kExpectedCredentialUnreadable"]
CREDENTIAL_NOT_TEXT = TEXTS["kExpectedCredentialNotText"]
INPUT_IS_CONSOLE = TEXTS["kExpectedInputIsConsole"]
INPUT_EMPTY = TEXTS["kExpectedInputEmpty"]
INPUT_HAS_ZERO_BYTE = TEXTS["kExpectedInputHasZeroByte"]
PASSWORD_NEEDS_COLON = TEXTS["kExpectedPasswordNeedsColon"]
PASSWORD_NOT_IN_CODE_PAGE = TEXTS["kExpectedPasswordNotInCodePage"]
INPUT_NOT_IN_CODE_PAGE = TEXTS["kExpectedInputNotInCodePage"]
INPUT_FILE_WITH_STDIO = TEXTS["kExpectedInputFileWithStdio"]
TIME_LIMIT_REACHED = TEXTS["kExpectedTimeLimitReached"]
TIME_LIMIT_INVALID = TEXTS["kExpectedTimeLimitInvalid"]
JOB_FAILED = TEXTS["kExpectedJobFailed"]
TITLE_CLOSE_932 = " として実行中)".encode("cp932")


def console_bytes(*texts):
    """What text-mode standard output makes of the texts: cp932 bytes, LF as CR LF."""
    return b"".join(t.encode("cp932") for t in texts).replace(b"\n", b"\r\n")


def ansi_decode(data, code_page):
    """Bytes as MultiByteToWideChar reads them on a page; 1252's five unassigned bytes
    map to the control characters of the same value, as Windows maps them."""
    if code_page == 932:
        return data.decode("cp932")
    return "".join(bytes([b]).decode("cp1252", errors="ignore") or chr(b) for b in data)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class Wine:
    """One mode: its build's programs, run in its own private prefix."""

    def __init__(self, mode):
        self.mode = mode
        self.env = prefix_env(mode)
        self.work = mode.path("wine-tests")
        os.makedirs(self.work, exist_ok=True)

    def path(self, name):
        return self.mode.path(name)

    def start(self):
        start_wineserver(self.mode, self.env)
        # The first program of a server session starts Wine's background services; let
        # them inherit nothing of ours, or they would hold a captured pipe open.
        subprocess.run(self.mode.loader() + [self.path(PROBE), "exit", "0"], env=self.env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def stop(self):
        stop_wineserver(self.env)

    def run(self, exe, args, code_page=932, debug="-all", extra_env=None, timeout=120,
            capture=True, stdin=None, stdout_file=None, merge_stderr=False):
        """Runs exe to its end. With capture off, nothing that the exe starts can hold
        this side's pipes open, so a program left running does not delay the return.
        stdin: bytes to pipe in, or a file's path; nothing by default. stdout_file: a
        path that standard output is written to instead of a pipe; merge_stderr:
        standard error into the same pipe as standard output."""
        env = dict(self.env)
        env["LC_ALL"] = LOCALES[code_page]
        env["WINEDEBUG"] = debug
        env.update(extra_env or {})
        output = subprocess.PIPE if capture else subprocess.DEVNULL
        errors = subprocess.STDOUT if merge_stderr else output
        source = open(stdin, "rb") if isinstance(stdin, str) else None
        target = open(stdout_file, "wb") if stdout_file else None
        feed = {"input": stdin} if isinstance(stdin, bytes) else {
            "stdin": source or subprocess.DEVNULL}
        try:
            result = subprocess.run(self.mode.loader() + [self.path(exe)] + list(args), env=env,
                                    stdout=target or output, stderr=errors, timeout=timeout,
                                    **feed)
        except subprocess.TimeoutExpired:
            return None, b"(timed out)", b""
        finally:
            for opened in (source, target):
                if opened:
                    opened.close()
        return result.returncode, result.stdout, result.stderr

    def run_raw(self, command_line, code_page=932, debug="-all", extra_env=None, app=None,
                stdin=None, options=()):
        """Starts command_line as given, through rawrun.exe: bytes in the ANSI page, or a
        str as exact UTF-16. app, when given, is the program started whatever the
        line's element 0; options, more of rawrun's own. Returns the child's full 32-bit
        exit status, its stdout and Wine's stderr."""
        if isinstance(command_line, str):
            args = ["--wide", command_line.encode("utf-16-le", "surrogatepass").hex()]
        else:
            args = [command_line.hex()]
        args = list(options) + args
        if app:
            args = ["--app", windows_path(self.path(app))] + args
        _, out, err = self.run(RAWRUN, args, code_page, debug, extra_env, stdin=stdin)
        match = re.search(rb"rawrun-status=0x([0-9a-f]{8})", err)
        status = int(match.group(1), 16) if match else None
        return status, out, err


def parse_debugstr(text):
    """Reads one of Wine's L"..." or (null) renderings of a wide string."""
    if text == "(null)":
        return None
    assert text.startswith('L"') and text.endswith('"'), text
    body, out, i = text[2:-1], [], 0
    while i < len(body):
        if body[i] != "\\":
            out.append(body[i])
            i += 1
        elif body[i + 1] in 'nrt"\\':
            out.append({"n": "\n", "r": "\r", "t": "\t"}.get(body[i + 1], body[i + 1]))
            i += 2
        else:
            out.append(chr(int(body[i + 1:i + 5], 16)))
            i += 5
    return "".join(out)


STUB_LINE = re.compile(
    r'fixme:advapi:CreateProcessWithLogonW (L"(?:[^"\\]|\\.)*"|\(null\)) '
    r'(L"(?:[^"\\]|\\.)*"|\(null\)) (L"(?:[^"\\]|\\.)*"|\(null\)) (0x[0-9a-f]+) '
    r'(L"(?:[^"\\]|\\.)*"|\(null\)) (L"(?:[^"\\]|\\.)*"|\(null\)) (0x[0-9a-f]+) '
    r'([0-9A-F]{8,16}) (L"(?:[^"\\]|\\.)*"|\(null\)) ')


def stub_arguments(stderr):
    """The arguments Wine's logon stub reported, or None when it was not called."""
    match = STUB_LINE.search(stderr.decode("ascii", errors="replace"))
    if not match:
        return None
    g = match.groups()
    return {
        "user": parse_debugstr(g[0]), "domain": parse_debugstr(g[1]),
        "password": parse_debugstr(g[2]), "logonFlags": int(g[3], 16),
        "application": parse_debugstr(g[4]), "commandLine": parse_debugstr(g[5]),
        "creationFlags": int(g[6], 16), "environment": int(g[7], 16) != 0,
        "workDir": parse_debugstr(g[8]),
    }


def read_record(path):
    with open(path, encoding="utf-8") as f:
        return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)


class Suite:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.not_applicable = 0
        self.prefix = ""  # the mode the checks now run in

    def check(self, name, condition, detail=""):
        name = self.prefix + name
        if condition:
            self.passed += 1
            print("ok   " + name)
        else:
            self.failed += 1
            print("FAIL " + name + (": " + detail if detail else ""))

    def skip(self, name, why):
        """A row that cannot apply here: printed, never counted as passed."""
        self.not_applicable += 1
        print("n/a  " + self.prefix + name + ": " + why)

    def equal(self, name, actual, expected):
        self.check(name, actual == expected, "got %r, expected %r" % (actual, expected))


# Exit statuses as Linux sees a Windows status of -1.
REFUSED = 255

OUTPUT_CASES = [
    ("no arguments", [], BANNER + USAGE + [USER_REQUIRED]),
    ("/nologo alone", ["/nologo"], USAGE + [USER_REQUIRED]),
    ("only ignored switches", ["/verbose", "/?", "/user", "//user:alice", "/logox", "/"],
     BANNER + USAGE + [USER_REQUIRED]),
    ("no command line", ["/user:alice"], BANNER + USAGE + [COMMAND_REQUIRED]),
    ("the user is checked before the command line", ["/nologo", "notepad.exe"],
     USAGE + [USER_REQUIRED]),
    ("a value of 1024 characters", ["/nologo", "/user:" + "u" * 1024, "notepad.exe"],
     [VALUE_TOO_LONG]),
    ("a value too long, after the banner", ["/password:" + "p" * 1024],
     BANNER + [VALUE_TOO_LONG]),
    ("a failed launch", ["/user:alice", "notepad.exe"], BANNER + [LAUNCH_FAILED]),
    ("a time limit of 0 seconds", ["/user:alice", "/timeout:0", "notepad.exe"],
     BANNER + [TIME_LIMIT_INVALID]),
]


def test_output(wine, suite):
    for code_page in CODE_PAGES:
        for what, args, texts in OUTPUT_CASES:
            status, out, _ = wine.run(EXE, args, code_page)
            name = "output on %d: %s" % (code_page, what)
            suite.equal(name + " (bytes)", out, console_bytes(*texts))
            suite.equal(name + " (status)", status, REFUSED)


def test_split_table(wine, suite):
    """The host tests' table of raw lines, each line that is text in its code page (so
    that a caller can hand it over) read by velmor.exe's own objects."""
    for what, code_page, line, expected in split_cases():
        try:
            text = line.decode(CODECS[code_page])
        except UnicodeDecodeError:
            continue
        probes = [("", SPLIT_PROBE)]
        if code_page == 65001:
            probes.append((" (Windows' conversion rules)", SPLIT_PROBE_STRICT))
        for rules, probe in probes:
            status, out, _ = wine.run_raw(text, code_page, app=probe)
            # One line of hex an argument, in text mode; an empty argument is an empty line.
            lines = out.decode("ascii").split("\r\n")[:-1]
            found = [bytes.fromhex(h) for h in lines] if status == 0 else (status, out)
            suite.equal("split on %d%s: %s" % (code_page, rules, what), found, expected)


# Raw command lines, as bytes of the ANSI page, and the account the logon call received.
ACCOUNT_CASES = [
    ("on 932 a double-byte 0x5C does not divide the account", 932,
     b'velmor.exe /nologo /user:\x95\x5cbob x.exe', {"user": "表bob", "domain": None}),
    ("on 932 the last lead byte of a range keeps its 0x5C", 932,
     b'velmor.exe /nologo /user:\x9f\x5cbob x.exe', {"user": "歃bob", "domain": None}),
    ("on 932 a backslash after a double-byte character divides", 932,
     b'velmor.exe /nologo /user:\x95\x5c\\bob x.exe', {"user": "bob", "domain": "表"}),
    ("on 1252 the 0x5C byte divides", 1252,
     b'velmor.exe /nologo /user:\x95\x5cbob x.exe', {"user": "bob", "domain": "•"}),
]

# Exact UTF-16 lines with characters that best fit would turn into syntax, and what the
# logon call received: each look-alike as '?', the arguments those of the UTF-16 line.
LOOKALIKE_CASES = [
    ("fullwidth quotes do not replace the program", 1252,
     'velmor.exe /nologo /user:svc /password:pw "backup.exe \uff02 \uff02evil.exe"',
     {"commandLine": "backup.exe ? ?evil.exe", "password": "pw"}),
    ("a fullwidth backslash does not escape the closing quote", 1252,
     'velmor.exe /nologo /user:svc /workdir:C:\\x "C:\\dir\uff3c" ',
     {"commandLine": "C:\\dir?", "workDir": "C:\\x"}),
    ("slash and hyphen look-alikes make no switch", 1252,
     'velmor.exe /nologo /user:svc \uff0fuser:evil "run \u2010wait"',
     {"commandLine": "run ?wait", "user": "svc", "password": ""}),
    ("a password switch made with a look-alike slash is refused, never the program", 1252,
     'velmor.exe /nologo /user:svc x.exe \u2215a:x', {"commandLine": "(not called)"}),
    ("a yen sign does not escape the quote, a soft hyphen makes no switch", 932,
     'velmor.exe /nologo /user:svc /a:pw "backup.exe \u00a5" \u00adworkdir:C:\\evil run.exe',
     {"commandLine": "run.exe", "workDir": None}),
    ("yen sign and soft hyphen arrive as '?'", 932, 'velmor.exe /nologo /user:svc "\u00a5 \u00ad"',
     {"commandLine": "? ?"}),
    ("characters the page has arrive unchanged", 932,
     'velmor.exe /nologo /user:svc "\u8868\uff3c\uff02"', {"commandLine": "表＼＂"}),
]


def test_logon_arguments_of_raw_lines(wine, suite):
    for kind, cases in [("account", ACCOUNT_CASES), ("look-alikes", LOOKALIKE_CASES)]:
        for what, code_page, line, expected in cases:
            status, out, err = wine.run_raw(line, code_page, debug="-all,fixme+advapi")
            received = stub_arguments(err) or {}
            name = "%s on %d: %s" % (kind, code_page, what)
            suite.equal(name, {k: received.get(k, "(not called)") for k in expected}, expected)
            suite.equal(name + " (status -1)", status, 0xFFFFFFFF)


def test_password_out_of_sight(wine, suite):
    """While velmor waits, the program it started reads velmor's command line from its
    process environment block, as a process listing does: under WoW64, the 32-bit copy
    and, through the 64-bit probe, the native one, with the same expectation."""
    seen = fresh_file(wine, "parent-line.txt")
    readers = [("probe.exe", "")]
    if wine.mode.name == "wow64":
        readers.append(("probe64.exe", " (native copy)"))
    elif not wine.mode.is32:
        suite.skip("a process listing shows no password (native copy)",
                   ONLY_32_BIT["native copy"])
    for reader, copy in readers:
        probe = '"%s parentline %s"' % (reader, windows_path(seen))
        cases = [
            ("/password: in quotes, equal to the user name",
             'velmor_seam.exe /nologo /user:Hunter2 /password:"Hunter2" /wait ' + probe,
             'velmor_seam.exe /nologo /user:Hunter2 /password:"*******" /wait ' + probe, "Hunter2"),
            ("/a: after the program, double-byte",
             'velmor_seam.exe /nologo /user:a /wait %s -A:秘密' % probe,
             'velmor_seam.exe /nologo /user:a /wait %s -A:**' % probe, "秘密"),
        ]
        for what, line, shown, password in cases:
            status, _, record = seam_run(wine, line, raw=True)
            suite.equal("a process listing shows no password%s: %s" % (copy, what),
                        (status, read_text(seen), record.get("password")), (0, shown, password))


# Wine's own msvcrt keeps copies of the command line that Windows' does not, out of any
# program's reach. How many is measured in each mode from memory_control.exe, which keeps
# none of its own; Velmor's memory may hold no more than it.
# 64-bit Windows answers ntdll's NtWow64QueryInformationProcess64, which Wine 8 lacks;
# the seam stands in for it, as Windows answers it or as each row says it goes wrong:
# (VELMOR_QUERY_ANSWER, what, whether the native copy is starred, the query's status).
QUERY_ANSWERS = [
    ("documented", "answered as Windows documents it", True, "0x00000000"),
    ("failing", "a failing status", False, "0xc0000022"),
    ("unmapped", "an address where nothing is mapped", False, "0x00000000"),
    ("null-parameters", "a process block whose parameters pointer is null", False, "0x00000000"),
    ("longer-line", "a native line longer than the scrubbed one", False, "0x00000000"),
]


def test_native_query(wine, suite):
    """The native copy's scrub on the path that 64-bit Windows takes: the native process
    block from the query, which the seam answers with the address that a 64-bit
    process reads with NtQueryInformationProcess, every other field pointing nowhere.
    probe64.exe then reads the native copy as a process listing does."""
    for answer, what, starred, status in QUERY_ANSWERS:
        name = "the native copy, the query %s" % what
        if wine.mode.name != "wow64":
            suite.skip(name, "only a 32-bit process under WoW64 asks for the native process "
                       "block" if wine.mode.is32 else ONLY_32_BIT["native copy"])
            continue
        seen = fresh_file(wine, "parent-line.txt")
        probe = '"probe64.exe parentline %s"' % windows_path(seen)
        line = 'velmor_seam.exe /nologo /user:a /password:"Hunter2" /wait ' + probe
        scrubbed = line.replace("Hunter2", "*******")
        result, out, record = seam_run(wine, line, raw=True,
                                       extra_env={"VELMOR_QUERY_ANSWER": answer})
        suite.equal(name, (result, out, record.get("password"), read_text(seen),
                           look_ups(wine, "query"), look_ups(wine, "read of")),
                    (0, b"", "Hunter2", scrubbed if starred else line,
                     ["query class=0 size=48 status=" + status], []))


def count_password_copies(wine, program, password, source):
    """Starts program with the count row's line, which ends with the password's source
    ("/password:" and the password at the end of the line, or a switch that reads it
    from elsewhere), and returns what the probe it launches counts in its memory: only
    the password's second half is looked for, so a copy wiped only halfway counts too.
    Returns the status, the count and the password that the fake logon call received."""
    counted = fresh_file(wine, "count.txt")
    probe = '"probe.exe count %s %s"' % (password[8:].encode().hex(), windows_path(counted))
    switch = "/password:" + password if source == "line" else source
    stdin = password.encode() + b"\r\n" if source == "/password-stdin" else None
    status, _, record = seam_run(
        wine, "%s /nologo /user:a /wait %s %s" % (program, probe, switch), raw=True, stdin=stdin)
    return status, read_text(counted), record.get("password")


def counts(text):
    """{"bytes": N, "units": M} from the probe's "bytes=N units=M"."""
    return {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", text or "")}


def test_password_copies_in_memory(wine, suite):
    """While velmor waits, the copies of the password that its memory still holds, as
    bytes and as UTF-16, against the control's, for each place the password comes from."""
    password = "Qz7Kv3Xm9Wp2Rt5Y"
    wine.run(PROBE, ["credwrite", "velmor/count", "-", password.encode("utf-16-le").hex()])
    for source, what in [("line", ""), ("/credential:velmor/count", " (from /credential:)"),
                         ("/password-stdin", " (from /password-stdin)")]:
        control = count_password_copies(wine, MEMORY_CONTROL, password, source)
        ours = count_password_copies(wine, SEAM, password, source)
        found, allowed = counts(ours[1]), counts(control[1])
        suite.check("velmor's memory holds no copy of the password of its own while it waits"
                    + what, ours[0] == 0 and ours[2] == password and
                    control[:1] + control[2:] == (0, password) and
                    set(found) == set(allowed) == {"bytes", "units"} and
                    all(found[k] <= allowed[k] for k in found),
                    "velmor %r, control %r" % (ours, control))


STUB_CASES = [
    ("every argument given",
     ["/user:CORP\\alice", "/password:pw", "/noprofile", "/env", "/workdir:C:\\windows",
      "cmd.exe /c exit 3"],
     {"user": "alice", "domain": "CORP", "password": "pw", "logonFlags": 0,
      "application": None, "commandLine": "cmd.exe /c exit 3", "creationFlags": 0x04000E10,
      "environment": True, "workDir": "C:\\windows"}),
    ("the defaults",
     ["/user:alice@corp", "notepad.exe"],
     {"user": "alice@corp", "domain": None, "password": "", "logonFlags": 1,
      "application": None, "commandLine": "notepad.exe", "creationFlags": 0x04000E10,
      "environment": False, "workDir": None}),
    ("/netonly asks for network-only credentials", ["/user:CORP\\svc", "/netonly", "x.exe"],
     {"logonFlags": 2, "domain": "CORP", "creationFlags": 0x04000E10}),
    ("/netonly then /profile loads the profile", ["/user:a", "/netonly", "/profile", "x.exe"],
     {"logonFlags": 1}),
    ("/netonly then -NOPROFILE passes 0", ["/user:a", "/netonly", "-NOPROFILE", "x.exe"],
     {"logonFlags": 0}),
    ("empty values count as not given",
     ["/user:alice", "/workdir:C:\\x", "/workdir:", "/a:pw", "/password:", "x.exe"],
     {"password": "", "workDir": None}),
]


def test_logon_arguments(wine, suite):
    for code_page in CODE_PAGES:
        for what, args, expected in STUB_CASES:
            status, out, err = wine.run(EXE, ["/nologo"] + args, code_page, "-all,fixme+advapi")
            received = stub_arguments(err) or {}
            name = "logon call on %d: %s" % (code_page, what)
            suite.equal(name, {k: received.get(k, "(not called)") for k in expected}, expected)
            suite.equal(name + " (failure reported)", (status, out),
                        (REFUSED, console_bytes(LAUNCH_FAILED)))
    for code_page, exe, rules in [(932, EXE, ""), (65001, EXE, ""),
                                  (65001, STRICT, " (Windows' conversion rules)")]:
        status, out, err = wine.run(exe, ["/nologo", "/user:ユーザー", "/a:秘密", "メモ帳.exe"],
                                    code_page, "-all,fixme+advapi")
        received = stub_arguments(err) or {}
        suite.equal("logon call on %d%s: Japanese values arrive whole" % (code_page, rules),
                    (received.get("user"), received.get("password"), received.get("commandLine")),
                    ("ユーザー", "秘密", "メモ帳.exe"))


def seam_run(wine, args, code_page=932, extra_env=None, raw=False, capture=True, stdin=None,
             options=(), **streams):
    """Runs velmor_seam.exe; returns its status, its stdout and the logon call's record.
    options: rawrun's own, with raw; streams: Wine.run's stdout_file and merge_stderr."""
    record = fresh_file(wine, "logon-record.txt")
    env = {"VELMOR_LOGON_RECORD": windows_path(record),
           "VELMOR_LOOKUP_RECORD": windows_path(fresh_file(wine, LOOK_UP_RECORD))}
    env.update(extra_env or {})
    if raw:
        status, out, _ = wine.run_raw(args, code_page, extra_env=env, stdin=stdin, options=options)
    else:
        status, out, _ = wine.run(SEAM, args, code_page, extra_env=env, capture=capture,
                                  stdin=stdin, **streams)
    return status, out, (read_record(record) if os.path.exists(record) else {})


# What the seam's GetProcAddress saw of the run time look-ups, a line each.
LOOK_UP_RECORD = "look-up-record.txt"


def look_ups(wine, start):
    """The lines of the last seam run's look-up record that begin with start."""
    text = read_text(os.path.join(wine.work, LOOK_UP_RECORD)) or ""
    return [line for line in text.splitlines() if line.startswith(start)]


def fresh_file(wine, name):
    path = os.path.join(wine.work, name)
    if os.path.exists(path):
        os.remove(path)
    return path


def read_text(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except OSError:
        return None


def test_exit_status(wine, suite):
    for what, program_status, expected in [("3", "3", 3), ("0", "0", 0), ("-1", "-1", 0xFFFFFFFF)]:
        line = b"velmor_seam.exe /nologo /user:alice /wait \"probe.exe exit " + \
            program_status.encode() + b"\""
        status, out, _ = seam_run(wine, line, raw=True)
        suite.equal("/wait passes on a status of " + what, (status, out), (expected, b""))
    status, out, _ = seam_run(wine, b'velmor_seam.exe /nologo /user:a "probe.exe exit 3"', raw=True)
    suite.equal("without /wait the status is 0", (status, out), (0, b""))


def test_no_wait_leaves_the_program_running(wine, suite):
    release, done = fresh_file(wine, "release"), fresh_file(wine, "done")
    command = "probe.exe hold %s %s" % (windows_path(release), windows_path(done))
    status, _, _ = seam_run(wine, ["/nologo", "/user:alice", command], capture=False)
    still_running = not os.path.exists(done)
    open(release, "w").close()
    for _ in range(600):  # the probe gives up by itself after a minute
        if os.path.exists(done):
            break
        time.sleep(0.1)
    suite.equal("without /wait the command ends while the program runs",
                (status, still_running, os.path.exists(done)), (0, True, True))


def family(wine, stay):
    """A program that starts a second process, which holds until a file appears, and
    then ends (stay False) or waits a minute itself: (the program's command line, the
    file that releases the second process, the file it writes when released, the file
    that gets the PIDs of Velmor, the program and the second process)."""
    release, done, pids = (fresh_file(wine, name) for name in ("release", "done", "pids.txt"))
    command = "probe.exe spawn %s %s probe.exe hold %s %s" % (
        windows_path(pids), "stay" if stay else "go", windows_path(release), windows_path(done))
    return command, release, done, pids


def read_pids(path):
    text = read_text(path) or ""
    return dict(part.split("=") for part in text.split()) if "=" in text else {}


def ended(wine, milliseconds, *pids):
    """probe.exe's word on each process: "ended" or "running"."""
    _, out, _ = wine.run(PROBE, ["ended", str(milliseconds)] + [p for p in pids if p])
    return out.decode("ascii", "replace").split()


def wait_for_file(path, seconds=60):
    for _ in range(seconds * 10):
        if os.path.exists(path):
            return True
        time.sleep(0.1)
    return False


def test_job(wine, suite):
    """/wait returns as soon as the program ends; /job once the process it started has
    ended too, released here three seconds in (a /job that returned with the program
    would return before that)."""
    command, release, done, _ = family(wine, stay=False)
    status, _, record = seam_run(wine, ["/nologo", "/user:a", "/wait", command], capture=False)
    still_held = not os.path.exists(done)
    open(release, "w").close()
    suite.equal("/wait returns when the program ends, the process it started still running",
                (status, still_held, record.get("creationFlags"), wait_for_file(done)),
                (7, True, "0x04000e10", True))
    command, release, done, _ = family(wine, stay=False)
    timer = threading.Timer(3, lambda: open(release, "w").close())
    timer.start()
    status, _, record = seam_run(wine, ["/nologo", "/user:a", "/job", command], capture=False)
    timer.join()
    suite.equal("/job returns once the process the program started has ended, with the "
                "program's status", (status, os.path.exists(done), record.get("creationFlags")),
                (7, True, "0x04000e14"))


def test_time_limit(wine, suite):
    # Through rawrun, which reports the whole status: Linux keeps its low byte alone.
    command, release, _, pids = family(wine, stay=True)
    line = 'velmor_seam.exe /user:a /timeout:2 "%s"' % command
    status, out, _ = seam_run(wine, line.encode(), raw=True)
    found = read_pids(pids)
    suite.equal("/timeout:2 ends the program and the process it started, 258, the message "
                "after the banner",
                (status, out, ended(wine, 10000, found.get("self"), found.get("child"))),
                (258, console_bytes(*BANNER, TIME_LIMIT_REACHED), ["ended", "ended"]))
    open(release, "w").close()


def test_ended_from_outside(wine, suite):
    """Velmor ended by TerminateProcess while it waits: with /job the system ends the
    job with it; with /wait the program and what it started run on, as ever."""
    for switch, milliseconds, expected in [("/job", 10000, ["ended", "ended"]),
                                           ("/wait", 0, ["running", "running"])]:
        command, release, _, pids = family(wine, stay=True)
        env = dict(wine.env, LC_ALL="ja_JP.UTF-8",
                   VELMOR_LOGON_RECORD=windows_path(fresh_file(wine, "logon-record.txt")))
        velmor = subprocess.Popen(wine.mode.loader() + [wine.path(SEAM), "/nologo", "/user:a",
                                                         switch, command],
                                  env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        found = read_pids(pids) if wait_for_file(pids) else {}
        terminated = wine.run(PROBE, ["terminate", found.get("parent", "0")])[0]
        velmor.wait(timeout=120)
        suite.equal("Velmor ended from outside while it waits with %s: the program and the "
                    "process it started %s" % (switch, expected[0]),
                    (terminated, ended(wine, milliseconds, found.get("self"), found.get("child"))),
                    (0, expected))
        open(release, "w").close()
        for pid in (found.get("self"), found.get("child")):
            wine.run(PROBE, ["terminate", pid or "0"])


def test_environment_and_directory(wine, suite):
    caller_only = {"VELMOR_CALLER_ONLY": "from-the-caller"}
    for flag, expected in [("/env", "present"), ("/noenv", "absent")]:
        seen = fresh_file(wine, "env.txt")
        command = "probe.exe env VELMOR_CALLER_ONLY " + windows_path(seen)
        status, _, record = seam_run(wine, ["/nologo", "/user:a", flag, "/wait", command],
                                     extra_env=caller_only)
        suite.equal(flag + " decides whether the caller's block is passed",
                    (status, record.get("environment")), (0, expected))
        if flag == "/env":
            suite.equal("/env: the program sees a variable set only in the caller",
                        read_text(seen), "from-the-caller")
    seen = fresh_file(wine, "cwd.txt")
    status, _, record = seam_run(wine, ["/nologo", "/user:a", "/wait", "/workdir:C:\\windows",
                                        "probe.exe cwd " + windows_path(seen)])
    suite.equal("/workdir: sets the program's working directory",
                (status, record.get("currentDirectory"), read_text(seen)),
                (0, "C:\\windows", "C:\\windows"))


def test_startup_settings(wine, suite):
    startup_size = "68" if wine.mode.is32 else "104"  # sizeof(STARTUPINFOW)
    for code_page in CODE_PAGES:
        close = ansi_decode(TITLE_CLOSE_932, code_page)
        cases = [
            ("a domain and a hidden window",
             ["/user:CORP\\alice", "/password:Hunter2", "/hide", "probe.exe exit 0"],
             {"title": "probe.exe exit 0 (CORP\\alice" + close, "dwFlags": "0x00000001",
              "wShowWindow": "0"}),
            ("no domain, window shown", ["/user:bob@corp", "/a:Hunter2", "probe.exe exit 0"],
             {"title": "probe.exe exit 0 (bob@corp" + close, "dwFlags": "0x00000000",
              "wShowWindow": "0"}),
        ]
        for what, args, expected in cases:
            _, _, record = seam_run(wine, ["/nologo", "/wait"] + args, code_page)
            name = "startup settings on %d: %s" % (code_page, what)
            suite.equal(name, {k: record.get(k) for k in expected}, expected)
            suite.equal(name + " (the rest zero)", (record.get("cb"),
                        record.get("otherStartupFieldsZero")), (startup_size, "yes"))
            suite.check(name + " (no password in the title)",
                        "Hunter2" not in record.get("title", "Hunter2"))
            suite.equal(name + " (password passed)", record.get("password"), "Hunter2")


# Each field at its capacity, and one past it: (what, argument making the value, record key).
CAPACITY_FIELDS = [
    ("user", lambda v: "/user:" + v, "username"),
    ("domain", lambda v: "/user:" + v + "\\bob", "domain"),
    ("password", lambda v: "/password:" + v, "password"),
    ("short password", lambda v: "/a:" + v, "password"),
    ("working directory", lambda v: "/workdir:" + v, "currentDirectory"),
    ("command line", lambda v: v, "commandLine"),
]


def test_values_at_capacity(wine, suite):
    for what, argument, key in CAPACITY_FIELDS:
        for code_page, unit in [(1252, "v"), (932, "表")]:
            value = unit * 1023
            status, out, record = seam_run(wine, ["/nologo", "/user:bob", "x.exe",
                                                  argument(value)], code_page)
            name = "on %d a %s of 1023 characters" % (code_page, what)
            suite.equal(name + " reaches the logon call whole", record.get(key), value)
            suite.check(name + " (title within its field)",
                        len(record.get("title", "")) <= 1023, str(len(record.get("title", ""))))
            status, out, record = seam_run(wine, ["/nologo", "/user:bob", "x.exe",
                                                  argument(value + unit)], code_page)
            suite.equal("on %d a %s of 1024 characters is refused" % (code_page, what),
                        (status, out, record), (REFUSED, console_bytes(VALUE_TOO_LONG), {}))


def test_hostile_command_lines(wine, suite):
    # Wine refuses to start a process whose command line passes 32767 characters.
    ignored = ["/ignored"] * 3630
    status, out, err = wine.run(EXE, ["/nologo", "/user:alice"] + ignored + ["x.exe"], 932,
                                "-all,fixme+advapi")
    received = stub_arguments(err) or {}
    suite.equal("a command line of 32700 characters is walked to its end",
                (status, out, received.get("user"), received.get("commandLine")),
                (REFUSED, console_bytes(LAUNCH_FAILED), "alice", "x.exe"))
    for code_page, unit in [(1252, "u"), (932, "表")]:
        status, out, err = wine.run(EXE, ["/nologo", "/user:" + unit * 16000, "x.exe"], code_page,
                                    "-all,fixme+advapi")
        suite.equal("on %d a value of 16000 characters is refused" % code_page,
                    (status, out, stub_arguments(err)),
                    (REFUSED, console_bytes(VALUE_TOO_LONG), None))
    # Bytes that are no valid code page 932 text reach the command as whatever the
    # system's conversions make of them; the command must still answer as documented.
    odd_lines = [
        ("a lone lead byte ends the user", b"velmor.exe /nologo /user:ab\x95",
         console_bytes(*USAGE, COMMAND_REQUIRED)),
        ("a lone lead byte ends the command line", b"velmor.exe /nologo /user:a x.exe\x95",
         console_bytes(LAUNCH_FAILED)),
        ("invalid double-byte pairs", b"velmor.exe /nologo /user:\x81\x20a \x82\x7f.exe",
         console_bytes(LAUNCH_FAILED)),
    ]
    for what, line, expected in odd_lines:
        status, out, _ = wine.run_raw(line, 932)
        suite.equal("on 932 " + what, (status, out), (0xFFFFFFFF, expected))


# A console title that holds password switches, as cmd.exe's repeats the command it
# runs, and the title expected once velmor has read it: every value starred, whatever its
# text, and nothing else changed. (what, velmor's password, title, expected title)
TITLE_CASES = [
    ("the switch once", "Hunter2", "Command Prompt - velmor /user:a /password:Hunter2 app.exe",
     "Command Prompt - velmor /user:a /password:******* app.exe"),
    ("two switches with different values", "Hunter2", "C - velmor /a:one /password:Hunter2 x",
     "C - velmor /a:*** /password:******* x"),
    ("capitals and '-'", "Hunter2", "C - velmor -PASSWORD:Hunter2 x", "C - velmor -PASSWORD:******* x"),
    ("a quoted switch with a blank in its value", "Hun ter2", 'C - velmor "/password:Hun ter2" x',
     'C - velmor "/password:********" x'),
    ("a quote that the window's name opens", "Hunter2",
     'Ops "night - velmor /user:bob /password:Hunter2 C:\\app.exe',
     'Ops "night - velmor /user:bob /password:******* C:\\app.exe'),
    ("no switch, though the password's text stands there", "Hunter2", "C - Hunter2 x",
     "C - Hunter2 x"),
    ("a one-character password's other occurrences stay", "p", "p - velmor /user:p /a:p p.exe",
     "p - velmor /user:p /a:* p.exe"),
    # 32767 units fill the buffer that the title is read into: it may not have been read
    # whole, so it is neither starred nor written back shortened.
    ("a title too long to be read whole is left as it was", "Hunter2",
     "C - velmor /password:Hunter2 x " + "t" * (32767 - 31),
     "C - velmor /password:Hunter2 x " + "t" * (32767 - 31)),
]


def run_in_console(wine, title, line, output=None):
    """Runs line through rawrun.exe in a console of its own (a pseudo-terminal), whose
    title rawrun sets first; standard output to the file output, when given. Returns the
    status, the title after the run, the fake logon call's record and the console's
    screen up to rawrun's own line. Wine keeps the screen that the terminal shows, and
    shows each byte written to it as the character of the same value."""
    report, record = fresh_file(wine, "console-report.txt"), fresh_file(wine, "logon-record.txt")
    title_file = fresh_file(wine, "console-title.txt")
    with open(title_file, "wb") as f:
        f.write(title.encode("utf-16-le"))
    command = wine.mode.loader() + [
        wine.path(RAWRUN), "--title-file", windows_path(title_file),
        "--report", windows_path(report), "--wide", line.encode("utf-16-le").hex()]
    command = shlex.join(command) + (" >" + shlex.quote(output) if output else "")
    env = dict(wine.env, LC_ALL="ja_JP.UTF-8", VELMOR_LOGON_RECORD=windows_path(record))
    subprocess.run(["script", "-qec", command, "/dev/null"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    result = read_record(report) if os.path.exists(report) else {}
    status = int(result["status"], 16) if "status" in result else None
    after = bytes.fromhex(result.get("title", "")).decode("utf-16-le")
    screen = bytes.fromhex(result.get("screen", "")).decode("utf-16-le").split("rawrun-status")[0]
    return status, after, (read_record(record) if os.path.exists(record) else {}), screen


def screen_text(*texts):
    """The console's lines once console_bytes(*texts) were written to it, as Wine shows them."""
    return console_bytes(*texts).replace(b"\r\n", b"\n").decode("latin-1")


# /stdio under a pseudo-terminal, whose console is standard input and error, and output
# too unless it goes to a file: (what, switches, program, output a file, expected status,
# file's bytes, screen, the handles' types, their ends, error the same handle as output).
CONSOLE_CASES = [
    ("input a console gets NUL; error a console, a pipe relayed to it; output the file",
     "/wait", "probe.exe stdio 5", True, 5, console_bytes(*BANNER) + b"out:\r\n",
     screen_text("err:\n"), "char,disk,pipe", "new-none,own-none,new-client", "no"),
    ("output and error the console, one pipe: the lines after the banner, before the message",
     "/timeout:2", "probe.exe stdio 0 10000", False, 258, None,
     screen_text(*BANNER, "out:\n", "err:\n", TIME_LIMIT_REACHED), "char,pipe,pipe",
     "new-none,new-client,new-client", "yes"),
    ("an escape sequence the program writes reaches the console as text", "/wait",
     "probe.exe escape", False, 0, None, screen_text(*BANNER, "?[31mred?[0m\n"),
     "char,pipe,pipe", "new-none,new-client,new-client", "yes"),
    ("without a wait the console's output stays NUL", "", "probe.exe stdio 0", False, 0, None,
     screen_text(*BANNER), "char,char,char", "new-none,new-none,new-none", "yes"),
]


def test_consoles(wine, suite):
    """A console is never handed over: standard input gets NUL, and with a wait output and
    error get a pipe whose bytes Velmor writes to the console; keystrokes are never read."""
    for what, switches, program, to_file, code, written, screen, types, ends, same in CONSOLE_CASES:
        output = fresh_file(wine, "console-stdio-output.txt") if to_file else None
        line = 'velmor_seam.exe /user:a /a:pw /stdio %s "%s"' % (switches, program)
        status, _, record, shown = run_in_console(wine, "C", line, output)
        if to_file:
            with open(output, "rb") as f:
                written_now = f.read()
        suite.equal("/stdio with consoles: " + what,
                    (status, written_now if to_file else None, shown,
                     record.get("standardHandleTypes"), record.get("standardConsoles"),
                     record.get("standardEnds"), record.get("errorIsOutput")),
                    (code, written, screen, types, "0", ends, same))


def test_console_title(wine, suite):
    for what, password, title, expected in TITLE_CASES:
        line = 'velmor_seam.exe /nologo /user:a "/password:%s" /wait "probe.exe exit 0"' % password
        status, after, record, _ = run_in_console(wine, title, line)
        suite.equal("the console's title: " + what,
                    (status, record.get("consoleTitle"), after, record.get("password")),
                    (0, expected, expected, password))
    output = fresh_file(wine, "console-output.txt")
    title, expected = TITLE_CASES[0][2:]
    status, after, _, _ = run_in_console(
        wine, title, 'velmor_seam.exe /user:a /password:Hunter2 /wait "probe.exe exit 0"', output)
    with open(output, "rb") as f:
        written = f.read()
    suite.equal("the console's title with standard output a file: starred, the bytes as ever",
                (status, after, written), (0, expected, console_bytes(*BANNER)))


# Generic credentials written into the prefix before the rows: (target, user name or "-"
# for none, the password's stored bytes).
CREDENTIALS = [
    ("velmor/nightly", "CORP\\svc", "Hunter2秘".encode("utf-16-le")),
    ("velmor/nouser", "-", "s3cret".encode("utf-16-le")),
    ("velmor/odd", "u", b"abc"),
    ("velmor/1024", "u", ("p" * 1024).encode("utf-16-le")),
    ("velmor/terminated", "u", "Hunter2\0".encode("utf-16-le")),
    ("velmor/subdomain", "CORP\\sub\\svc", "s3cret".encode("utf-16-le")),
]

# Passwords kept off the command line, and what the logon call received, or the refusal
# that started nothing. (what, arguments, standard input, expected)
PASSWORD_SOURCE_CASES = [
    ("/credential: gives its user, domain and password", ["/credential:velmor/nightly"], None,
     {"username": "svc", "domain": "CORP", "password": "Hunter2秘"}),
    ("later /user: and /password: override it",
     ["/credential:velmor/nightly", "/user:bob", "/a:pw"], None,
     {"username": "bob", "domain": "CORP", "password": "pw"}),
    ("it overrides earlier /user: and /password:",
     ["/user:D\\bob", "/a:pw", "/credential:velmor/nightly"], None,
     {"username": "svc", "domain": "CORP", "password": "Hunter2秘"}),
    ("a later /password-stdin overrides its password",
     ["/credential:velmor/nightly", "/password-stdin"], b"piped\n",
     {"username": "svc", "domain": "CORP", "password": "piped"}),
    ("a credential without a user name gives the password only",
     ["/user:bob", "/credential:velmor/nouser"], None,
     {"username": "bob", "domain": "(absent)", "password": "s3cret"}),
    ("a blob stored with its terminating zero gives the password without it",
     ["/credential:velmor/terminated"], None, {"username": "u", "password": "Hunter2"}),
    ("an account with two backslashes divides at the first, as /user: does",
     ["/credential:velmor/subdomain"], None,
     {"username": "sub\\svc", "domain": "CORP", "password": "s3cret"}),
    ("a missing credential is refused, even when /password: follows",
     ["/user:a", "/credential:velmor/missing", "/a:pw"], None, CREDENTIAL_UNREADABLE),
    ("an odd-length blob is refused", ["/user:a", "/credential:velmor/odd"], None,
     CREDENTIAL_NOT_TEXT),
    ("a blob of 1024 units is refused", ["/user:a", "/credential:velmor/1024"], None,
     VALUE_TOO_LONG),
    ("/password-stdin from a pipe, CR LF", ["/user:a", "/password-stdin"], b"Hunter2\r\n",
     {"password": "Hunter2"}),
    ("/password-stdin, LF, only the first line", ["/user:a", "/password-stdin"],
     b"Hunter2\nsecond\n", {"password": "Hunter2"}),
    ("/password-stdin, no line end", ["/user:a", "/password-stdin"], b"Hunter2",
     {"password": "Hunter2"}),
    ("/password-stdin, an empty line", ["/user:a", "/password-stdin"], b"\n", {"password": ""}),
    ("/password-stdin, no input", ["/user:a", "/password-stdin"], b"", INPUT_EMPTY),
    ("/password-stdin, a zero byte", ["/user:a", "/password-stdin"], b"Hun\0ter2\n",
     INPUT_HAS_ZERO_BYTE),
    ("/password-stdin, 1023 units", ["/user:a", "/password-stdin"], b"p" * 1023 + b"\n",
     {"password": "p" * 1023}),
    ("/password-stdin, 1024 units", ["/user:a", "/password-stdin"], b"p" * 1024 + b"\n",
     VALUE_TOO_LONG),
    ("/password-stdin, a double-byte password", ["/user:a", "/password-stdin"],
     "秘密\r\n".encode("cp932"), {"password": "秘密"}),
    ("/password-stdin from a file", ["/user:a", "/password-stdin"], "file:Hunter2\r\n",
     {"password": "Hunter2"}),
    ("/password-stdin /stdio with standard input a file is refused",
     ["/user:a", "/password-stdin", "/stdio"], "file:Hunter2\r\n", INPUT_FILE_WITH_STDIO),
    ("/password-stdin, a UTF-8 byte-order mark is refused", ["/user:a", "/password-stdin"],
     b"\xef\xbb\xbfHunter2\r\n", INPUT_NOT_IN_CODE_PAGE),
    ("/password-stdin, a lone lead byte is no text of 932", ["/user:a", "/password-stdin"],
     b"Hunter2\x81\r\n", INPUT_NOT_IN_CODE_PAGE),
    ("/password without its colon is refused", ["/user:a", "/password", "Hunter2"], None,
     PASSWORD_NEEDS_COLON),
    ("a password with a character that 932 lacks is refused", ["/user:a", "/password:café"],
     None, PASSWORD_NOT_IN_CODE_PAGE),
]


def test_password_sources(wine, suite):
    for target, user, blob in CREDENTIALS:
        wine.run(PROBE, ["credwrite", target, user, blob.hex()])
    for what, args, stdin, expected in PASSWORD_SOURCE_CASES:
        if isinstance(stdin, str):  # standard input a file holding the text
            path = fresh_file(wine, "stdin.txt")
            with open(path, "wb") as f:
                f.write(stdin[len("file:"):].encode())
            stdin = path
        # Through the seam, whose record holds values too long for Wine's trace; x.exe
        # does not exist, so a launch that gets that far fails.
        status, out, record = seam_run(wine, ["/nologo"] + args + ["x.exe"], stdin=stdin)
        name = "password kept off the command line: " + what
        if isinstance(expected, dict):
            suite.equal(name, (status, out, {k: record.get(k) for k in expected}),
                        (REFUSED, console_bytes(LAUNCH_FAILED), expected))
        else:
            suite.equal(name, (status, out, record), (REFUSED, console_bytes(expected), {}))
        # Every credential read, taken or refused, is wiped before Credential Manager's
        # CredFree gets it back: a freed block that the heap soon reuses is no proof.
        stored = [a for a in args if a.split(":", 1)[-1] in {c[0] for c in CREDENTIALS}]
        suite.equal(name + " (the password wiped before CredFree)", look_ups(wine, "CredFree"),
                    ["CredFree: 0 bytes of the password left"] * len(stored))
    # Under a pseudo-terminal standard input is a console, and Velmor never prompts.
    output = fresh_file(wine, "console-output.txt")
    command = shlex.join(wine.mode.loader() + [wine.path(EXE), "/nologo", "/user:a",
                                               "/password-stdin", "x.exe"])
    status = subprocess.run(["script", "-qec", command + " >" + shlex.quote(output), "/dev/null"],
                            env=dict(wine.env, LC_ALL="ja_JP.UTF-8"), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, timeout=120).returncode
    with open(output, "rb") as f:
        suite.equal("password kept off the command line: standard input a console is refused",
                    (status, f.read()), (REFUSED, console_bytes(INPUT_IS_CONSOLE)))


def test_standard_streams(wine, suite):
    """probe.exe stdio reads a line of its standard input and writes it back on standard
    output and standard error: the caller gets the banner first, then the program's
    lines, and the program's status."""
    out_line, err_line = b"out:data line\r\n", b"err:data line\r\n"
    # Each way a script may connect Velmor's output: (what, into a file, error merged in).
    # Wine's pipes from Linux do not say which end they are, so Velmor relays each of
    # them through a pipe of its own; a file is handed over.
    for what, into_file, merged, ends in [
            ("output and error two pipes", False, False, "new-client,new-client,new-client"),
            ("output a file", True, False, "new-client,own-none,new-client"),
            ("output and error one pipe", False, True, "new-client,new-client,new-client")]:
        output = fresh_file(wine, "stdio-output.txt") if into_file else None
        status, out, record = seam_run(wine, ["/user:a", "/wait", "/stdio", "probe.exe stdio 5"],
                                       stdin=b"data line\r\nmore\r\n", stdout_file=output,
                                       merge_stderr=merged)
        if into_file:
            with open(output, "rb") as f:
                out = f.read()
        banner = console_bytes(*BANNER)
        # Two handles of one Linux pipe are two relays into it, whose writes may come in
        # any order: every byte after the banner, none lost.
        if merged:
            out = out[:len(banner)] + bytes(sorted(out[len(banner):]))
        expected = banner + (bytes(sorted(out_line + err_line)) if merged else out_line)
        suite.equal("/stdio, %s: the banner, then the program's lines, then its status" % what,
                    (status, out, record.get("dwFlags"), record.get("standardEnds")),
                    (5, expected, "0x00000100", ends))
    # Standard input the read end of a CreatePipe pipe, a server end: the program reads
    # the data through a client end of Velmor's own; output a client end, handed over.
    # Without a wait, the input is passed on whole before Velmor returns 0.
    pipes = ["--stdin-pipe", b"data line\r\nmore\r\n".hex(), "--stdout-pipe"]
    for what, switches, code in [("/wait", "/wait ", 5), ("no wait", "", 0)]:
        status, out, record = seam_run(
            wine, 'velmor_seam.exe /user:a %s/stdio "probe.exe stdio 5"' % switches, raw=True,
            options=pipes)
        suite.equal("/stdio, %s, input a pipe's server end, relayed; output a client end, "
                    "handed over" % what, (status, out, record.get("standardEnds")),
                    (code, console_bytes(*BANNER) + out_line, "new-client,own-client,new-client"))
    status, out, record = seam_run(
        wine, ["/user:a", "/wait", "/password-stdin", "/stdio", "/hide", "probe.exe stdio 0"],
        stdin=b"Hunter2\r\nsecond line\r\nthird line\r\n")
    suite.equal("/password-stdin /stdio: the logon call gets the first line, the program the second",
                (status, out, record.get("password"), record.get("dwFlags")),
                (0, console_bytes(*BANNER) + b"out:second line\r\n", "Hunter2", "0x00000101"))
    status, out, record = seam_run(wine, ["/user:a", "/wait", "probe.exe stdio 5"],
                                   stdin=b"data line\r\n", merge_stderr=True)
    suite.equal("without /stdio the program's output does not reach the caller",
                (status, out, record.get("dwFlags"), record.get("standardHandles")),
                (5, console_bytes(*BANNER), "0x00000000", "none"))


# Failures that /reason explains, through the seam: (what, the line after "velmor_seam.exe
# /nologo /user:a", the seam's setting, the fixed message, the Windows error or the
# program's status, the name of the hint in expected_texts.h or None, the exit status).
REASON_CASES = [
    ("the logon call fails with 1326", '/reason x.exe', {"VELMOR_LOGON_FAILS": "1326"},
     LAUNCH_FAILED, 1326, "kExpectedHintWrongPassword", 0xFFFFFFFF),
    ("the logon call fails with 1385", '/reason x.exe', {"VELMOR_LOGON_FAILS": "1385"},
     LAUNCH_FAILED, 1385, "kExpectedHintLogonRight", 0xFFFFFFFF),
    ("the logon call fails with 1058", '/reason x.exe', {"VELMOR_LOGON_FAILS": "1058"},
     LAUNCH_FAILED, 1058, "kExpectedHintSecondaryLogon", 0xFFFFFFFF),
    ("the logon call fails with 1314, which has no hint", '/reason x.exe',
     {"VELMOR_LOGON_FAILS": "1314"}, LAUNCH_FAILED, 1314, None, 0xFFFFFFFF),
    ("without /reason the output is as ever", 'x.exe', {"VELMOR_LOGON_FAILS": "1326"},
     LAUNCH_FAILED, None, None, 0xFFFFFFFF),
    ("the job refused with 5, as on Windows 7", '/job /reason "probe.exe exit 0"',
     {"VELMOR_LOGON_REFUSES_JOB": "1"}, JOB_FAILED, 5, "kExpectedHintNestedJob", 0xFFFFFFFF),
    ("a credential that is not there", '/reason /credential:velmor/missing x.exe', {},
     CREDENTIAL_UNREADABLE, 1168, None, 0xFFFFFFFF),
    ("a program that ends with 0xC0000142: its status, the hint, the status passed on",
     '/wait /reason "probe.exe exit -1073741502"', {}, "", 0xC0000142, "kExpectedHintDllInit",
     0xC0000142),
    ("without /reason a program's status gets nothing", '/wait "probe.exe exit -1073741502"',
     {}, "", None, None, 0xC0000142),
]


def windows_text(wine, code):
    """Windows' own text for code, from FormatMessageW in probe.exe under the same locale,
    on one line as /reason writes it, in code page 932 with '?' for what 932 lacks."""
    seen = fresh_file(wine, "message.txt")
    wine.run(PROBE, ["message", str(code), windows_path(seen)])
    text = bytes.fromhex(read_text(seen) or "").decode("utf-16-le")
    return re.sub(r"\r\n|\r|\n", " ", text).rstrip(" \t").encode("cp932", errors="replace")


def test_reason(wine, suite):
    for what, line, env, message, code, hint, expected_status in REASON_CASES:
        status, out, _ = seam_run(wine, ("velmor_seam.exe /nologo /user:a " + line).encode(),
                                  raw=True, extra_env=env)
        reason = b""
        if code is not None and code >= 0xC0000000:
            reason = b"\n0x%08X\n" % code
        elif code is not None:
            text = windows_text(wine, code)
            reason = b"%d (0x%08X)" % (code, code) + (b": " + text if text else b"") + b"\n"
        if hint:
            reason += TEXTS[hint].encode("cp932")
        expected = message.encode("cp932") + reason
        suite.equal("/reason: " + what, (status, out),
                    (expected_status, expected.replace(b"\n", b"\r\n")))


def run_with_stdout(wine, exe, args, redirect):
    """Runs exe with standard output closed ("closed") or on /dev/full ("full")."""
    env = dict(wine.env, LC_ALL="ja_JP.UTF-8")
    command = " ".join(["'%s'" % a for a in wine.mode.loader() + [wine.path(exe)] + args])
    command += " >&-" if redirect == "closed" else " >/dev/full"
    return subprocess.run(["bash", "-c", command], env=env, stdin=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=120).returncode


def test_unwritable_stdout(wine, suite):
    for redirect in ["closed", "full"]:
        suite.equal("standard output %s: a refusal still ends with -1" % redirect,
                    run_with_stdout(wine, EXE, [], redirect), REFUSED)
        suite.equal("standard output %s: a failed launch still ends with -1" % redirect,
                    run_with_stdout(wine, EXE, ["/user:a", "x.exe"], redirect), REFUSED)
        suite.equal("standard output %s: /wait still passes the status on" % redirect,
                    run_with_stdout(wine, SEAM, ["/user:a", "/wait", "probe.exe exit 3"],
                                    redirect), 3)


def objdump(exe):
    return subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True,
                          text=True, check=True).stdout


class PeImage:
    """The parts of a PE image, 32-bit or 64-bit, that the checks below read."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        (self.machine, sections, self.time_stamp, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        # PE32+ widens four fields before the data directories by 4 bytes each.
        self.is64 = struct.unpack_from("<H", data, optional)[0] == 0x20B
        directories = optional + (112 if self.is64 else 96)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(16)]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode()
            size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            flags = struct.unpack_from("<I", data, at + 36)[0]
            self.sections.append((name, address, max(size, raw_size), raw_at, flags))

    def at(self, rva):
        for _, address, size, raw_at, _ in self.sections:
            if address <= rva < address + size:
                return raw_at + rva - address
        raise ValueError("RVA %#x is in no section" % rva)

    def resource(self, kind, ident):
        """The bytes of resource kind/ident, first language, or None."""
        root = self.at(self.directories[2][0])

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                yield struct.unpack_from("<II", self.data, directory + 16 + 8 * i)

        def find(directory, wanted):
            for name, target in entries(directory):
                if wanted is None or name == wanted:
                    return root + (target & 0x7FFFFFFF), target & 0x80000000
            return None, 0

        level = root
        for wanted in (kind, ident, None):
            level, is_directory = find(level, wanted)
            if level is None:
                return None
        rva, size = struct.unpack_from("<II", self.data, level)
        return self.data[self.at(rva):self.at(rva) + size]


def project_version():
    with open(os.path.join(BUILD32, "CMakeCache.txt"), encoding="utf-8") as f:
        return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", f.read(), re.M).group(1)


def test_the_exe_itself(suite, build, is32):
    """The exe's header and resources: read, never run, so these rows hold on every host."""
    suite.prefix = "[%s exe] " % ("32-bit" if is32 else "64-bit")
    exe, seam = os.path.join(build, EXE), os.path.join(build, SEAM)
    shipped = imports(exe)
    suite.equal("the exe imports only DLLs every Windows has", sorted(shipped),
                ["ADVAPI32.dll", "KERNEL32.dll", "msvcrt.dll"])
    suite.equal("the exe calls the real logon service", shipped.get("ADVAPI32.dll"),
                ["CreateProcessWithLogonW"])
    suite.check("the test exe has the fake logon call instead",
                "CreateProcessWithLogonW" not in str(imports(seam)))
    with open(exe, "rb") as f:
        data = f.read()
    image = PeImage(data)
    suite.check("the shipped exe holds nothing of the fake", b"VELMOR_LOGON_RECORD" not in data)
    machine = "i386" if is32 else "x86-64"
    suite.check("%s console program" % machine, machine in objdump(exe).splitlines()[1]
                and "Windows CUI" in objdump(exe) and image.is64 != is32)
    suite.equal("no time stamp", image.time_stamp, 0)
    marks = [(0x40, "ASLR"), (0x100, "DEP"), (0x8000, "terminal-server aware")]
    marks.append((0x400, "free of exception handlers") if is32 else (0x20, "high-entropy ASLR"))
    for bit, what in marks:
        suite.check("the exe is marked " + what, image.dll_characteristics & bit != 0,
                    "DllCharacteristics %#x" % image.dll_characteristics)
    if not is32:
        suite.skip("the exe is marked free of exception handlers (NO_SEH)", ONLY_32_BIT["NO_SEH"])
    # Dead code is dropped at link time, so the guard's failure path (mov ecx, 2;
    # int 0x29) is there only when Velmor's own functions check a stack cookie.
    suite.check("the exe's functions check stack cookies",
                b"\xb9\x02\x00\x00\x00\xcd\x29" in data)
    suite.check("relocations present, none stripped",
                image.directories[5][1] > 0 and image.characteristics & 0x0001 == 0)
    writable_code = [name for name, _, _, _, flags in image.sections
                     if flags & 0x20000000 and flags & 0x80000000]
    suite.equal("no section both writable and executable", writable_code, [])

    manifest = image.resource(24, 1) or b""
    suite.check("the manifest's root element is empty, with an end tag",
                re.search(rb"<assembly [^>]*></assembly>\s*$", manifest) is not None
                and b"trustInfo" not in manifest and b"dependency" not in manifest,
                repr(manifest))
    version = image.resource(16, 1) or b""
    signature = version.find(struct.pack("<I", 0xFEEF04BD))
    fields = struct.unpack_from("<IIII", version, signature + 8) if signature >= 0 else ()
    numbers = [[word >> 16, word & 0xFFFF] for word in fields]
    expected = [int(n) for n in project_version().split(".")] + [0]
    suite.equal("the version resource's fixed fields are the project's version",
                [sum(numbers[i:i + 2], []) for i in (0, 2)], [expected, expected])
    suite.check("the version resource's text is the project's version",
                version.count(project_version().encode("utf-16-le")) == 2)
    suite.check("the version resource says what the exe does",
                "Velmor: runs a program as another user".encode("utf-16-le") in version)
    suite.check("the banner's fixed text is the project's version",
                ("Version %s\n" % project_version()) in BANNER[0], BANNER[0])
    # The release ships the 32-bit exe; the x86-64 build, for hosts without 32-bit code,
    # carries the wider code of its architecture.
    limit = 36 if is32 else 40
    suite.check("the exe is under %d KiB" % limit, len(data) < limit * 1024,
                "%d bytes" % len(data))


def test_loader_accepts_the_manifest(wine, suite):
    _, _, err = wine.run(EXE, ["/nologo"], 932, "-all,fixme+actctx,err+actctx,warn+actctx")
    complaints = [line for line in err.decode("ascii", "replace").splitlines() if ":actctx:" in line]
    suite.equal("Wine's loader takes the manifest without a complaint", complaints, [])


def test_stack_guard(wine, suite):
    """stack_probe.exe is built and entered as velmor.exe is, with its stack guard."""
    status, out, _ = wine.run_raw("stack_probe.exe overrun 64", app=STACK_PROBE)
    suite.equal("a stack overrun ends the process with STATUS_STACK_BUFFER_OVERRUN",
                (status, out), (0xC0000409, b""))
    status, out, _ = wine.run_raw("stack_probe.exe overrun 8", app=STACK_PROBE)
    suite.equal("a write within the buffer returns", (status, out), (0, b"returned\r\n"))
    seam_run(wine, ["/nologo"])
    suite.equal("DLLs are kept to System32 before the guard's seed, or anything, is looked up",
                look_ups(wine, "look-up ")[:2],
                ["look-up SetDefaultDllDirectories", "look-up SystemFunction036"])
    guards = [wine.run(STACK_PROBE, ["guard"])[1].strip() for _ in range(2)]
    digits = 8 if wine.mode.is32 else 16
    suite.check("the guard, %d hex digits, differs between two runs, its low byte zero" % digits,
                guards[0] != guards[1] and
                all(len(g) == digits and g.endswith(b"00") for g in guards), repr(guards))


def test_run_script(wine, suite):
    """scripts/run.sh, as the README's first command: into a pipe, velmor's own bytes;
    on its error stream and in its exit status, velmor's status. In the x64 mode it is
    run with VELMOR_NO_I386=1, which must make it run the 64-bit build, and say so."""
    env = dict(wine.env, LC_ALL="ja_JP.UTF-8")
    if not wine.mode.is32:
        env["VELMOR_NO_I386"] = "1"
    result = subprocess.run(["bash", os.path.join(ROOT, "scripts", "run.sh"), "/nologo"],
                            env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    errors = result.stderr.decode(errors="replace")
    said_64 = "running the 64-bit build" in errors
    suite.equal("run.sh passes velmor's bytes into a pipe and ends with its status",
                (result.stdout, result.returncode,
                 "velmor.exe ended with status -1" in errors, said_64),
                (console_bytes(*USAGE, USER_REQUIRED), REFUSED, True, not wine.mode.is32))


def run_suite(wine, suite):
    suite.prefix = "[%s] " % wine.mode.name
    wine.start()
    try:
        test_loader_accepts_the_manifest(wine, suite)
        test_output(wine, suite)
        test_split_table(wine, suite)
        test_logon_arguments_of_raw_lines(wine, suite)
        test_password_out_of_sight(wine, suite)
        test_native_query(wine, suite)
        test_logon_arguments(wine, suite)
        test_exit_status(wine, suite)
        test_no_wait_leaves_the_program_running(wine, suite)
        test_job(wine, suite)
        test_time_limit(wine, suite)
        test_ended_from_outside(wine, suite)
        test_environment_and_directory(wine, suite)
        test_startup_settings(wine, suite)
        test_values_at_capacity(wine, suite)
        test_hostile_command_lines(wine, suite)
        test_unwritable_stdout(wine, suite)
        test_standard_streams(wine, suite)
        test_password_copies_in_memory(wine, suite)
        test_console_title(wine, suite)
        test_consoles(wine, suite)
        test_password_sources(wine, suite)
        test_reason(wine, suite)
        test_stack_guard(wine, suite)
        if wine.mode.name in ("win32", "x64"):
            test_run_script(wine, suite)
    finally:
        wine.stop()


def main():
    suite = Suite()
    host, why = host_runs_i386()
    if host == 2:
        print("wine: nothing was run: " + why)
        return 1
    names = [mode.name for mode in MODES]
    wanted = sys.argv[1:] or names
    unknown = [name for name in wanted if name not in names]
    if unknown:
        print("run_wine_tests.py: no mode %s; the modes are %s"
              % (", ".join(unknown), ", ".join(names)), file=sys.stderr)
        return 2
    test_the_exe_itself(suite, BUILD32, True)
    test_the_exe_itself(suite, BUILD64, False)
    for mode in MODES:
        if mode.name not in wanted:
            continue
        if mode.is32 and host != 0:
            print("wine: the 32-bit exe was not run on this host (%s mode): %s" % (mode.name, why))
            continue
        run_suite(Wine(mode), suite)
    print("wine: %d passed, %d failed, %d not applicable"
          % (suite.passed, suite.failed, suite.not_applicable))
    return 1 if suite.failed else 0


if __name__ == "__main__":
    sys.exit(main())
