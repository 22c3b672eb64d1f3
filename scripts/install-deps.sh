#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks:
#   bash scripts/install-deps.sh            building and testing (the test command, CI)
#   bash scripts/install-deps.sh --run      building and running the programs only
#   bash scripts/install-deps.sh --windows  testing, and the MinGW-w64 cross compiler and Wine (and
#                                           the ja_JP.UTF-8 locale Wine runs in)
set -euo pipefail

mode=${1:-}
packages=()
need() {  # need COMMAND-OR-FILE PACKAGE
    if [[ "$1" == /* ]]; then [[ -e "$1" ]] || packages+=("$2")
    else command -v "$1" >/dev/null 2>&1 || packages+=("$2"); fi
}
need cmake cmake
need g++ g++
need make make
if [[ "$mode" != "--run" ]]; then
    need python3 python3
    need clang++ clang
    need clang-format clang-format
    need /usr/include/gtest/gtest.h libgtest-dev
    need /usr/include/benchmark/benchmark.h libbenchmark-dev
    need /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a libclang-rt-14-dev
    need /usr/bin/time time
    # the terminal tests make EUC-JP, Shift_JIS and ISO-8859-9 locales with localedef
    need /usr/share/i18n/locales/ja_JP locales
    # the package check: library dependencies of the .deb, man pages rendered
    need dpkg-shlibdeps dpkg-dev
    need man man-db
    need preconv groff-base
    need lintian lintian
    # the pages that open offline are opened in headless Chromium by the end-to-end tests
    need chromium chromium
fi
if [[ "$mode" == "--windows" ]]; then
    need x86_64-w64-mingw32-g++ g++-mingw-w64-x86-64
    need wine wine
    need /usr/lib/wine/wine64 wine64
    need /usr/share/i18n/locales/ja_JP locales
fi

SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO="sudo"
if (( ${#packages[@]} )); then
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}"
fi

has_ja_locale() {  # locale -a lists it as ja_JP.utf8
    locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'
}
if [[ "${1:-}" == "--windows" ]] && ! has_ja_locale; then
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 || true  # warnings give status 1: check instead
    has_ja_locale || { echo "install-deps: the locale ja_JP.UTF-8 could not be created" >&2; exit 1; }
fi
