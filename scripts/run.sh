#!/usr/bin/env bash
# Builds velmor.exe and runs it under Wine with the given arguments, e.g.
#   scripts/run.sh /nologo /user:alice /password:pw notepad.exe
# Wine takes its ANSI code page from the locale: LC_ALL=C gives 1252, and the default
# here, ja_JP.UTF-8, gives 932. Output is code page 932 bytes; pipe it through
# "iconv -f cp932" to read it on a UTF-8 terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
export WINEPREFIX="$PWD/build/windows/wine-prefix" WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=d"
if [ ! -d "$WINEPREFIX" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
fi
status=0
LC_ALL="${LC_ALL:-ja_JP.UTF-8}" wine build/windows/velmor.exe "$@" || status=$?
echo "velmor.exe ended with status $status" >&2
exit 0
