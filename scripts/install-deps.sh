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

# apt-get update takes no lock time-out: while another program holds the lists, try again.
# An index that failed only because its mirror is mid-sync (a file of the wrong size or
# hash) is tried again for about a minute, then left out: apt keeps the lists it had, and
# the install below can still be met from them. Any other failure stops here.
update_package_lists() {
    local error attempt mid_sync_tries=0
    for attempt in $(seq 120); do
        error=$(apt-get update -q 2>&1 >/dev/null) && return 0
        if grep -q "Could not get lock" <<<"$error" && [ "$attempt" -lt 120 ]; then
            sleep 5
        elif mid_sync_only "$error"; then
            if [ "$mid_sync_tries" -ge 4 ]; then
                echo "install-deps.sh: going on without $(left_out_indexes "$error")" >&2
                return 0
            fi
            mid_sync_tries=$((mid_sync_tries + 1))
            sleep 15
        else
            echo "$error" >&2
            exit 1
        fi
    done
}

# True when apt ignored some index files and every fetch that failed was a mirror's
# half-written file, nothing else (no network, no such suite).
mid_sync_only() {
    grep -q "Some index files failed to download. They have been ignored" <<<"$1" &&
        grep -q "^E: Failed to fetch" <<<"$1" &&
        ! grep "^[EW]: " <<<"$1" | grep -v "^E: Some index files failed to download" |
            grep -vqE "unexpected size|Hash Sum mismatch|Mirror sync in progress"
}

# Each index left out and apt's reason, on one line: "<url> (<reason>); ...".
left_out_indexes() {
    sed -n 's/^E: Failed to fetch \([^ ]*\) *\(.*\)$/\1 (\2)/p' <<<"$1" | sed 's/ *\[IP:[^]]*\]//' |
        paste -sd ';' | sed 's/;/; /g'
}

# With an index left out, a Multi-Arch library may be at one version for amd64 and
# another for i386, which no plan can install; the release's own suite has both halves.
install_packages() {
    local wait_for_lock="-o DPkg::Lock::Timeout=600" suite
    # shellcheck disable=SC2086
    apt-get $wait_for_lock install -y -q "$@" >&2 && return 0
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$suite" ] || exit 1
    echo "install-deps.sh: the install failed, so it is tried again with -t $suite, the release's own suite" >&2
    # shellcheck disable=SC2086
    apt-get $wait_for_lock install -y -q -t "$suite" "$@" >&2 || exit 1
}

update_and_install() {
    update_package_lists
    install_packages "$@"
}

# Sourced by its test, which calls update_and_install against stand-ins for apt-get.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

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
case "$packages" in *:i386*) dpkg --add-architecture i386 ;; esac
# shellcheck disable=SC2086
update_and_install $packages
if [ "${1:-all}" = build ]; then
    have_build_tools
else
    for name in $locales; do
        localedef -i "$name" -f UTF-8 "$name.UTF-8"
    done
    have_build_tools && have_test_tools
fi
