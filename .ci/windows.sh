#!/usr/bin/env bash
# The Windows leg of CI: cross-builds the programs and the unit test programs with MinGW-w64
# (preset mingw, folder build/mingw), builds the preset mingw-package and checks the zip made
# from it (its offline programs run under Wine), then runs under Wine the unit test programs
# and the native end-to-end test program against the .exe files (the offline programs among
# them: a folder whose name holds '&' passed to one as Explorer passes a folder dropped on it).
#
# Wine runs in the locale ja_JP.UTF-8, as the programs' users run Windows: its ANSI code page
# is then 932 (checked before any test runs), and the Shift_JIS names the programs use are
# stored on disk as UTF-8 (the end-to-end tests compare names through that conversion). The
# end-to-end tests then run once more in en_US.UTF-8 (ANSI code page 1252, as on an English
# Windows), where every name must come out the same.
#
#   bash .ci/windows.sh <native build folder>    (the folder whose tests/e2e_tests to run)
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: bash .ci/windows.sh <native build folder>" >&2
    exit 2
fi
native_dir=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
root=$PWD

e2e=$native_dir/tests/e2e_tests
if [ ! -x "$e2e" ]; then
    echo "windows.sh: no end-to-end test program at $e2e" >&2
    exit 2
fi

# Tools: the posix-thread MinGW-w64 compilers come with g++-mingw-w64-x86-64; wine64 runs the
# 64-bit programs (no 32-bit Wine needed); the unit tests compile GoogleTest from its sources.
missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
command -v wine >/dev/null || missing+=(wine wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
[ -f /usr/share/i18n/locales/ja_JP ] || missing+=(locales)
if [ ${#missing[@]} -gt 0 ]; then
    echo "windows.sh: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine's locales; locale -a lists them as ja_JP.utf8 and en_US.utf8
for wanted in ja_JP en_US; do
    if ! locale -a 2>/dev/null | grep -qix "$wanted\.utf-\?8"; then
        echo "windows.sh: creating the locale $wanted.UTF-8"
        localedef -i "$wanted" -f UTF-8 "$wanted.UTF-8" || true  # warnings give status 1
        if ! locale -a 2>/dev/null | grep -qix "$wanted\.utf-\?8"; then
            echo "windows.sh: the locale $wanted.UTF-8 could not be created" >&2
            exit 1
        fi
    fi
done

if command -v python3 >/dev/null; then
    python3 resources/make_icon.py --check
fi

start=$SECONDS
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2
echo "windows.sh: cross build took $((SECONDS - start)) s"
# the zip as README makes it: from the mingw-package build (no tests), which shares nothing
# with the one above
start=$SECONDS
cmake --preset mingw-package >/dev/null
cmake --build --preset mingw-package -j2 >/dev/null
echo "windows.sh: mingw-package build took $((SECONDS - start)) s"

# A fresh Wine prefix of our own, removed at the end. No display is needed for console
# programs; Mono and Gecko are switched off so that no installer is offered.
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
# The prefix and every run below in the Japanese locale (LC_ALL too, which would override LANG).
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

start=$SECONDS
mkdir -p "$WINEPREFIX"
wineserver -p  # our prefix's server stays up between the many short runs below
wineboot -i >/dev/null 2>&1
echo "windows.sh: Wine prefix ready in $((SECONDS - start)) s"

# Every test below assumes a Japanese Windows: stop here, loudly, when Wine's ANSI code page is
# not 932 (the locale missing or not taken up).
printf '#include <stdio.h>\n#include <windows.h>\nint main(void) { printf("%%u", GetACP()); }\n' \
    >"$scratch/acp.c"
x86_64-w64-mingw32-gcc-posix -static -o "$scratch/acp.exe" "$scratch/acp.c"
# check_acp CODE_PAGE: Wine's ANSI code page in the current locale must be CODE_PAGE
check_acp() {
    local acp
    acp=$(wine "$scratch/acp.exe" </dev/null || true)
    if [ "$acp" != "$1" ]; then
        echo "windows.sh: Wine's ANSI code page is '$acp', not $1 (LANG=$LANG): no test run" >&2
        exit 1
    fi
    echo "windows.sh: Wine's ANSI code page is $1"
}
check_acp 932

# the zip, its offline programs run by Wine in the prefix above
bash scripts/check-packages.sh --windows build/mingw-package

failed=0

for test_program in build/mingw/tests/*_tests.exe; do
    [ -e "$test_program" ] || continue
    echo "windows.sh: wine $test_program"
    wine "$test_program" || failed=1
done

start=$SECONDS
echo "windows.sh: end-to-end tests against build/mingw/*.exe under Wine"
FENWRACK_PROGRAM_DIR=$root/build/mingw FENWRACK_EXE_SUFFIX=.exe FENWRACK_RUNNER=wine \
    "$e2e" || failed=1
echo "windows.sh: end-to-end tests under Wine took $((SECONDS - start)) s"

# An English Windows: the same names and bytes whatever the system's code page. The four
# tests of scale (thousands of parts, thousands of archives, hundreds named one by one) name
# nothing the code page changes; the pass above runs them.
scale_tests='Cases/HostileArchives.EndAsTheRulesSay/5_000_parts'
scale_tests+=':LongRun.TerminalShowsProgressAndThenTheSummaryAPipeGetsAlike'
scale_tests+=':Guard.ManyPartsOfOneNameTakeLinearTime'
scale_tests+=':Batch.ArchivesNamedOneByOneShareOneRunOfTheirFolder'
start=$SECONDS
export LANG=en_US.UTF-8
export LC_ALL=en_US.UTF-8
check_acp 1252
echo "windows.sh: end-to-end tests against build/mingw/*.exe under Wine in $LANG"
FENWRACK_PROGRAM_DIR=$root/build/mingw FENWRACK_EXE_SUFFIX=.exe FENWRACK_RUNNER=wine \
    "$e2e" --gtest_filter="-$scale_tests" || failed=1
echo "windows.sh: end-to-end tests under Wine in $LANG took $((SECONDS - start)) s"

exit $failed
