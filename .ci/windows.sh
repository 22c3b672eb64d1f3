#!/usr/bin/env bash
# The Windows leg of CI: cross-builds the programs and the unit test programs with MinGW-w64
# (preset mingw, folder build/mingw), checks the zip package made from them, then runs under
# Wine the unit test programs and the native end-to-end test program against the .exe files.
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
if [ ${#missing[@]} -gt 0 ]; then
    echo "windows.sh: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if command -v python3 >/dev/null; then
    python3 resources/make_icon.py --check
fi

start=$SECONDS
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2
echo "windows.sh: cross build took $((SECONDS - start)) s"
bash scripts/check-packages.sh --windows build/mingw

# A fresh Wine prefix of our own, removed at the end. No display is needed for console
# programs; Mono and Gecko are switched off so that no installer is offered.
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
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

exit $failed
