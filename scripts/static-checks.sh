#!/usr/bin/env bash
# cppcheck and clang-tidy over src/ (configuration in .clang-tidy). The Windows layer is
# checked as the cross compiler sees it, against the mingw-w64 headers. Last, the UTF-8
# comments of the message catalogue are checked against the bytes they describe, and the two
# manuals against the switch table and the catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

echo "== cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++17 --language=c++ \
    --error-exitcode=1 --inline-suppr --suppress=missingIncludeSystem --quiet -I src src/

echo "== clang-tidy"
cmake --preset host >/dev/null
clang-tidy -p build/host --quiet src/cli/entry.cpp src/cli/messages.cpp src/cli/options.cpp \
    src/cli/split.cpp src/launch/launch.cpp src/launch/plan.cpp src/platform/fake_platform.cpp
mingw_gcc_include=$(dirname "$(i686-w64-mingw32-g++-win32 -print-libgcc-file-name)")/include
clang-tidy --quiet src/platform/platform_windows.cpp src/platform/native_command_line_windows.cpp \
    src/platform/stack_guard_windows.cpp src/cli/main.cpp -- \
    --target=i686-w64-mingw32 -std=c++17 -Isrc -isystem /usr/share/mingw-w64/include \
    -isystem "$mingw_gcc_include"
echo "== catalogue comments"
python3 scripts/check-catalogue-comments.py src/cli/messages.cpp
echo "== manuals"
python3 scripts/check-manuals.py
echo "static checks: clean"
