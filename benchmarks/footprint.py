#!/usr/bin/env python3
"""Prints velmor.exe's footprint: its size, what it imports, and two start-to-exit
ratios under Wine against baselines built with the same toolchain. Where the host runs
32-bit code (scripts/i386-host.sh decides), the 32-bit exe in a 32-bit prefix and in a
64-bit one (where it runs under WoW64); elsewhere the 64-bit build against 64-bit floors.
Each ratio is the median of many runs, the two exes alternating, in one wineserver
session. Usage: footprint.py [RUNS]"""
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
from support import (MODES, host_runs_i386, imports, prefix_env,  # noqa: E402
                     start_wineserver, stop_wineserver)

RUNS = int(sys.argv[1]) if len(sys.argv) > 1 else 61


def seconds(mode, env, command):
    # Output goes to a file, as in a batch script that redirects it. Not to /dev/null:
    # msvcrt leaves a character device unbuffered, and Wine then writes byte by byte.
    with open(mode.path("benchmark-output.txt"), "wb") as output:
        start = time.perf_counter()
        subprocess.run(mode.loader() + command, env=env, stdin=subprocess.DEVNULL,
                       stdout=output, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def ratio(mode, env, name, command, baseline):
    for _ in range(3):  # warm the page cache and Wine's own start-up
        seconds(mode, env, command)
        seconds(mode, env, baseline)
    ours, floor = [], []
    for _ in range(RUNS):
        ours.append(seconds(mode, env, command))
        floor.append(seconds(mode, env, baseline))
    a, b = statistics.median(ours), statistics.median(floor)
    print("%s: velmor %.1f ms, baseline %.1f ms, ratio %.3f (medians of %d runs each)"
          % (name, a * 1000, b * 1000, a / b, RUNS))


def main():
    host, why = host_runs_i386()
    if host == 2:
        print("nothing measured: " + why)
        return
    if host == 1:
        print("the 32-bit exe was not run on this host (%s): measuring the 64-bit build" % why)
    modes = [mode for mode in MODES if mode.is32 == (host == 0)]
    for mode in modes:
        measure(mode)


def measure(mode):
    exe = mode.path("velmor.exe")
    size = os.path.getsize(exe)
    print("%s velmor.exe: %d bytes (%.1f KiB)" % (mode.name, size, size / 1024))
    for dll, functions in imports(exe).items():
        print("imports %s: %s" % (dll, " ".join(functions)))
    env = dict(prefix_env(mode), LC_ALL="ja_JP.UTF-8")
    start_wineserver(mode, env)
    try:
        ratio(mode, env, "%s, validation (velmor.exe /nologo)" % mode.name, [exe, "/nologo"],
              [mode.path("baseline_write.exe")])
        ratio(mode, env, "%s, full launch (velmor.exe /nologo /user:alice /password:pw "
              "notepad.exe)" % mode.name,
              [exe, "/nologo", "/user:alice", "/password:pw", "notepad.exe"],
              [mode.path("baseline_logon.exe")])
    finally:
        stop_wineserver(env)


if __name__ == "__main__":
    main()
