#!/usr/bin/env bash
# The one decision on whether this host runs 32-bit x86 code, which the Wine suite,
# run.sh and the benchmark all follow. Exits 0 when it does; otherwise prints why on
# one line and exits 1 where 64-bit x86 code still runs, 2 where no x86 code runs.
# VELMOR_NO_I386=1 takes the 64-bit-only path on any host.
set -u
if [ "$(uname -m)" != x86_64 ]; then
    echo "this host is $(uname -m), where Wine runs no x86 code at all"
    exit 2
fi
if [ "${VELMOR_NO_I386:-}" = 1 ]; then
    echo "VELMOR_NO_I386=1 is set"
    exit 1
fi
# Wine's 32-bit loader is a 32-bit ELF: it starts only where the kernel runs such code
# (IA-32 emulation off gives "Exec format error").
if ! error=$(/usr/lib/wine/wine --version 2>&1 >/dev/null); then
    echo "this host's kernel runs no 32-bit x86 code (Wine's 32-bit loader: ${error##*: })"
    exit 1
fi
exit 0
