#!/usr/bin/env bash
# Builds velmor.exe and runs it under Wine with the given arguments, e.g.
#   scripts/run.sh /nologo /user:alice /password:pw notepad.exe
# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 (932) here unless LC_ALL is
# set, and LC_ALL=C gives 1252. On a terminal, velmor's output (code page 932 bytes) is
# shown decoded; into a file or a pipe its bytes pass unchanged. The script ends with
# velmor's own exit status and prints it as Windows reports it: -1, where a shell sees 255.
# The prefix is 32-bit unless WINEARCH=win64 is set; there the exe runs under WoW64. On a
# host that runs no 32-bit code (or with VELMOR_NO_I386=1) it runs the same sources built
# for x86-64 in a 64-bit prefix, and says so on standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if why=$(bash scripts/i386-host.sh); then
    build=build/windows
    export WINEARCH="${WINEARCH:-win32}"
    loader=(wine)
    wineboot=(wineboot)
else
    [ -n "$why" ] || why="no x86 code runs here"
    echo "run.sh: $why: running the 64-bit build (build/windows64/velmor.exe)" >&2
    build=build/windows64
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    loader=("$WINELOADER")
    wineboot=("$WINELOADER" wineboot)
fi
bash scripts/build.sh "${build#build/}"
# A prefix of its own, so that a test run beside it never stops its Wine server.
export WINEPREFIX="${WINEPREFIX:-$PWD/$build/run-prefix-$WINEARCH}" WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=d" LC_ALL="${LC_ALL:-ja_JP.UTF-8}"
if [ ! -d "$WINEPREFIX" ]; then
    "${wineboot[@]}" -i >/dev/null 2>&1 </dev/null
    wineserver -w
fi

# rawrun.exe starts the exact UTF-16 command line, quoted as Windows programs quote
# arguments, and reports velmor's full 32-bit status, which a Linux exit status cuts
# to 8 bits. Output goes to files first: Wine's background services inherit the
# handles, and would keep a pipe open after velmor has ended.
line=$(python3 -c 'import subprocess, sys
print(subprocess.list2cmdline(["velmor.exe"] + sys.argv[1:]).encode("utf-16-le").hex())' "$@")
app="Z:$(pwd -P | tr / '\\')\\${build//\//\\}\\velmor.exe"
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"${loader[@]}" "$build/rawrun.exe" --app "$app" --wide "$line" >"$out" 2>"$err" </dev/null || true
if [ -t 1 ]; then
    iconv -f CP932 -t UTF-8 "$out" | tr -d '\r'
else
    cat "$out"
fi
grep -v '^rawrun-status=' "$err" >&2 || true
hex=$(sed -n 's/^rawrun-status=0x\([0-9a-f]*\).*/\1/p' "$err")
if [ -z "$hex" ]; then
    echo "velmor.exe could not be started" >&2
    exit 1
fi
status=$(( 16#$hex ))
[ "$status" -lt 2147483648 ] || status=$(( status - 4294967296 ))
echo "velmor.exe ended with status $status" >&2
exit $(( status & 255 ))
