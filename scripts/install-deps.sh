#!/usr/bin/env bash
# Installs what building and testing Velmor needs on Debian 12, as root; does nothing
# when everything is already there.
set -euo pipefail

have_everything() {
    command -v i686-w64-mingw32-g++-win32 >/dev/null &&
        command -v wine >/dev/null && command -v wineserver >/dev/null &&
        dpkg -s wine32:i386 >/dev/null 2>&1 &&
        command -v cmake >/dev/null && command -v ninja >/dev/null &&
        command -v clang++ >/dev/null && command -v cppcheck >/dev/null &&
        command -v clang-tidy >/dev/null && command -v python3 >/dev/null &&
        [ -f /usr/include/gtest/gtest.h ] &&
        ls /usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 &&
        locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'
}

if have_everything; then
    exit 0
fi

echo "Installing the cross compiler, Wine and the Japanese locale..." >&2
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update -q
apt-get install -y -q g++-mingw-w64-i686 wine wine32:i386 locales cmake ninja-build \
    libgtest-dev clang libclang-rt-14-dev cppcheck clang-tidy python3 >&2
localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
have_everything
