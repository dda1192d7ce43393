#!/usr/bin/env python3
"""Prints velmor.exe's footprint: its size, what it imports, and two start-to-exit
ratios under Wine against baselines built with the same toolchain, in a 32-bit prefix
and in a 64-bit one (where the exe runs under WoW64). Each ratio is the median of many
runs, the two exes alternating, in one wineserver session.
Usage: footprint.py BUILD_DIR [RUNS]"""
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
from support import imports, prefix_env, start_wineserver, stop_wineserver  # noqa: E402

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/windows")
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 61


def seconds(env, command):
    # Output goes to a file, as in a batch script that redirects it. Not to /dev/null:
    # msvcrt leaves a character device unbuffered, and Wine then writes byte by byte.
    with open(os.path.join(BUILD, "benchmark-output.txt"), "wb") as output:
        start = time.perf_counter()
        subprocess.run(["wine"] + command, env=env, stdin=subprocess.DEVNULL,
                       stdout=output, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def ratio(env, name, command, baseline):
    for _ in range(3):  # warm the page cache and Wine's own start-up
        seconds(env, command)
        seconds(env, baseline)
    ours, floor = [], []
    for _ in range(RUNS):
        ours.append(seconds(env, command))
        floor.append(seconds(env, baseline))
    a, b = statistics.median(ours), statistics.median(floor)
    print("%s: velmor %.1f ms, baseline %.1f ms, ratio %.3f (medians of %d runs each)"
          % (name, a * 1000, b * 1000, a / b, RUNS))


def main():
    exe = os.path.join(BUILD, "velmor.exe")
    size = os.path.getsize(exe)
    print("velmor.exe: %d bytes (%.1f KiB)" % (size, size / 1024))
    for dll, functions in imports(exe).items():
        print("imports %s: %s" % (dll, " ".join(functions)))
    for arch in ("win32", "win64"):
        measure(arch, exe)


def measure(arch, exe):
    env = dict(prefix_env(BUILD, arch), LC_ALL="ja_JP.UTF-8")
    start_wineserver(env)
    try:
        ratio(env, "%s, validation (velmor.exe /nologo)" % arch, [exe, "/nologo"],
              [os.path.join(BUILD, "baseline_write.exe")])
        ratio(env, "%s, full launch (velmor.exe /nologo /user:alice /password:pw notepad.exe)" % arch,
              [exe, "/nologo", "/user:alice", "/password:pw", "notepad.exe"],
              [os.path.join(BUILD, "baseline_logon.exe")])
    finally:
        stop_wineserver(env)


if __name__ == "__main__":
    main()
