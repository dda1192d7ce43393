#!/usr/bin/env bash
# Installs what Velmor needs on Debian 12 and does nothing when it is already there.
#   install-deps.sh          everything the tests need (root, when anything is missing)
#   install-deps.sh build    only what building the shipped exe and its release needs;
#                            an ordinary user who has it installed needs no root
set -euo pipefail

# Building the exe and the release archive: the cross compiler, CMake, Ninja, Python
# (the archive is written with its zipfile module) and git; signing it and checking a
# signed release: osslsigncode and openssl; the Windows Installer package: wixl, which
# writes it, and msitools, whose msibuild and msiinfo fix and read its summary and
# whose msiextract reads its files back.
build_packages="g++-mingw-w64-i686 cmake ninja-build python3 git osslsigncode openssl
                wixl msitools faketime"
# Testing it: Wine with its 32-bit and 64-bit parts (a 64-bit prefix runs the exe under
# WoW64, as 64-bit Windows does), the x86_64 cross compiler for the probe that reads the
# native process block there, the host test and fuzzing tools, and the locales.
test_packages="g++-mingw-w64-x86-64 wine wine32:i386 wine64 locales libgtest-dev clang
               libclang-rt-14-dev cppcheck clang-tidy"
# Wine takes its ANSI code page from these: 932, 936, 949, 950, and 65001 for a
# language that has no ANSI page of its own.
locales="ja_JP zh_CN ko_KR zh_TW hi_IN"

have_locales() {
    for name in $locales; do
        locale -a 2>/dev/null | grep -qi "^${name}\.utf-\?8$" || return 1
    done
}

have_build_tools() {
    command -v i686-w64-mingw32-g++-win32 >/dev/null && command -v cmake >/dev/null &&
        command -v ninja >/dev/null && command -v python3 >/dev/null &&
        command -v git >/dev/null && command -v osslsigncode >/dev/null &&
        command -v openssl >/dev/null && command -v wixl >/dev/null &&
        command -v msibuild >/dev/null && command -v msiextract >/dev/null &&
        command -v faketime >/dev/null
}

have_test_tools() {
    command -v x86_64-w64-mingw32-g++-win32 >/dev/null &&
        command -v wine >/dev/null && [ -x /usr/lib/wine/wine64 ] &&
        command -v wineserver >/dev/null && dpkg -s wine32:i386 >/dev/null 2>&1 &&
        command -v clang++ >/dev/null && command -v cppcheck >/dev/null &&
        command -v clang-tidy >/dev/null && [ -f /usr/include/gtest/gtest.h ] &&
        ls /usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 &&
        have_locales
}

if [ "${1:-all}" = build ]; then
    have_build_tools && exit 0
    packages=$build_packages
else
    have_build_tools && have_test_tools && exit 0
    packages="$build_packages $test_packages"
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps.sh: missing tools; as root, run: apt-get install" $packages >&2
    exit 1
fi
# One install at a time: a second script started beside the first waits here, then
# finds the tools in place. Another program's hold on the package manager is waited out
# too, rather than failed on.
exec 9>/var/lock/velmor-install-deps.lock
flock 9
if [ "${1:-all}" = build ]; then
    have_build_tools && exit 0
else
    have_build_tools && have_test_tools && exit 0
fi
echo "Installing:" $packages >&2
export DEBIAN_FRONTEND=noninteractive
wait_for_lock="-o DPkg::Lock::Timeout=600"
case "$packages" in *:i386*) dpkg --add-architecture i386 ;; esac
# apt-get update takes no lock time-out: while another program holds the lists, try again.
for attempt in $(seq 120); do
    error=$(apt-get update -q 2>&1 >/dev/null) && break
    if [ "$attempt" -eq 120 ] || ! grep -q "Could not get lock" <<<"$error"; then
        echo "$error" >&2
        exit 1
    fi
    sleep 5
done
# shellcheck disable=SC2086
apt-get $wait_for_lock install -y -q $packages >&2
if [ "${1:-all}" = build ]; then
    have_build_tools
else
    for name in $locales; do
        localedef -i "$name" -f UTF-8 "$name.UTF-8"
    done
    have_build_tools && have_test_tools
fi
