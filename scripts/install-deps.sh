#!/usr/bin/env bash
# Installs what building and testing Velmor needs on Debian 12, as root; does nothing
# when everything is already there.
set -euo pipefail

# Wine takes its ANSI code page from these: 932, 936, 949, 950, and 65001 for a
# language that has no ANSI page of its own.
locales="ja_JP zh_CN ko_KR zh_TW hi_IN"

have_locales() {
    for name in $locales; do
        locale -a 2>/dev/null | grep -qi "^${name}\.utf-\?8$" || return 1
    done
}

have_everything() {
    command -v i686-w64-mingw32-g++-win32 >/dev/null &&
        command -v wine >/dev/null && command -v wineserver >/dev/null &&
        dpkg -s wine32:i386 >/dev/null 2>&1 &&
        command -v cmake >/dev/null && command -v ninja >/dev/null &&
        command -v clang++ >/dev/null && command -v cppcheck >/dev/null &&
        command -v clang-tidy >/dev/null && command -v python3 >/dev/null &&
        [ -f /usr/include/gtest/gtest.h ] &&
        ls /usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 &&
        have_locales
}

if have_everything; then
    exit 0
fi

echo "Installing the cross compiler, Wine and the locales..." >&2
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update -q
apt-get install -y -q g++-mingw-w64-i686 wine wine32:i386 locales cmake ninja-build \
    libgtest-dev clang libclang-rt-14-dev cppcheck clang-tidy python3 >&2
for name in $locales; do
    localedef -i "$name" -f UTF-8 "$name.UTF-8"
done
have_everything
