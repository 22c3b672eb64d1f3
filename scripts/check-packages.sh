#!/usr/bin/env bash
# Builds the release packages and checks what they hold:
#   bash scripts/check-packages.sh                 Linux: preset package (no tests) -> .deb and
#                                                  .tar.gz; lintian; cmake --install; man pages
#   bash scripts/check-packages.sh --windows DIR   the zip cpack makes from the Windows build
#                                                  folder DIR (for example build/mingw), and
#                                                  its offline programs (run by Wine when
#                                                  WINEPREFIX is set)
# Prints what it checks; ends with status 1 at the first difference.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(fenwrack VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "check-packages: $*" >&2
    exit 1
}

# same_list NAME EXPECTED ACTUAL: the two listings (one entry a line) must agree
same_list() {
    if ! diff <(sort <<<"$2") <(sort <<<"$3") >"$scratch/diff"; then
        cat "$scratch/diff" >&2
        fail "$1 differs from what it should hold"
    fi
    echo "check-packages: $1 holds what it should"
}

if [[ "${1:-}" == "--windows" ]]; then
    build=$2
    cpack --config "$build/CPackConfig.cmake" -B "$scratch" >/dev/null
    zip=$scratch/fenwrack-$version-win64.zip
    [[ -f "$zip" ]] || fail "no $zip"
    top=fenwrack-$version-win64
    listing=$(python3 -c 'import sys, zipfile; print("\n".join(n for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/")))' "$zip")
    same_list "the zip" "$top/fenwrack.exe
$top/fenwrack_dated.exe
$top/fenwrack_offline.exe
$top/fenwrack_dated_offline.exe
$top/README.txt" "$listing"
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
        "$zip" "$scratch/unpacked"
    # Each program is a Windows program (no batch file: cmd.exe would cut a dropped path at &).
    for program in fenwrack fenwrack_dated fenwrack_offline fenwrack_dated_offline; do
        [[ "$(head -c2 "$scratch/unpacked/$top/$program.exe")" == MZ ]] ||
            fail "$program.exe is not a Windows program"
    done
    echo "check-packages: the four programs are Windows programs"
    # Under Wine (WINEPREFIX set, as the Windows leg of CI sets it), an offline program splits a
    # folder whose name holds & as it is given: the archive split there, its log written there.
    if [[ -n "${WINEPREFIX:-}" ]] && command -v wine >/dev/null; then
        pages="$scratch/R&D"
        mkdir "$pages"
        printf 'Content-Type: text/plain\r\n\r\nbody\r\n' >"$pages/a.mhtml"
        (cd "$scratch/unpacked/$top" && wine ./fenwrack_offline.exe --yes "$pages" \
            </dev/null >/dev/null 2>&1) || fail "fenwrack_offline.exe --yes ended with a failure"
        [[ "$(cat "$pages/a.dec")" == $'body\r' && -f "$pages/log.csv" ]] ||
            fail "fenwrack_offline.exe did not split the folder named"
        echo "check-packages: fenwrack_offline.exe splits a folder named R&D (Wine)"
    fi
    exit 0
fi

cmake --preset package >/dev/null
cmake --build --preset package -j"$(nproc)" >/dev/null
[[ ! -e build/package/tests ]] || fail "the package build has built tests"

cpack --config build/package/CPackConfig.cmake -B "$scratch/packages" >/dev/null
deb=$scratch/packages/fenwrack_${version}_$(dpkg --print-architecture).deb
tarball=$scratch/packages/fenwrack-$version-linux-$(uname -m).tar.gz
[[ -f "$deb" ]] || fail "no $deb"
[[ -f "$tarball" ]] || fail "no $tarball"

files="bin/fenwrack
bin/fenwrack_dated
share/doc/fenwrack/README
share/doc/fenwrack/changelog.gz
share/doc/fenwrack/copyright
share/man/man1/fenwrack.1.gz
share/man/man1/fenwrack_dated.1.gz"
same_list "the .deb" "$(sed 's|^|./usr/|' <<<"$files")" \
    "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}')"
same_list "the tarball" "$(sed "s|^|fenwrack-$version-linux-$(uname -m)/|" <<<"$files")" \
    "$(tar tzf "$tarball" | grep -v '/$')"
dpkg-deb -f "$deb" Package Version Depends | sed 's/^/check-packages: /'

# Debian's own checks of the .deb: no error and no warning, pedantic ones included (what is
# left is information, printed for the record).
lintian_status=0
findings=$(lintian -I --pedantic --fail-on error,warning "$deb" 2>&1) || lintian_status=$?
grep -v '^running with root' <<<"$findings" | sed '/^$/d; s/^/check-packages: lintian: /' || true
((lintian_status == 0)) || fail "lintian finds errors or warnings in the .deb"
echo "check-packages: lintian finds no error or warning in the .deb"

cmake --install build/package --prefix "$scratch/prefix" >/dev/null
same_list "cmake --install" "$files" "$(cd "$scratch/prefix" && find . -type f | sed 's|^\./||')"

# The README is the Linux one, and says how to read the Shift_JIS outputs.
readme=$scratch/prefix/share/doc/fenwrack/README
for text in 'iconv -f CP932 -t UTF-8 log.csv' 'ls | iconv -f CP932 -t UTF-8' 'convmv'; do
    grep -qF -- "$text" "$readme" || fail "README lacks: $text"
done
! grep -qi 'double-click the exe\|README.txt' "$readme" || fail "README speaks of Windows files"

# Each man page renders without a warning and names its own program and version.
for program in fenwrack fenwrack_dated; do
    page=$scratch/prefix/share/man/man1/$program.1.gz
    warnings=$(zcat "$page" | preconv | groff -man -Tutf8 -ww -z 2>&1)
    [[ -z "$warnings" ]] || fail "$program.1: $warnings"
    shown=$(LC_ALL=C.UTF-8 MANWIDTH=250 man -l "$page" 2>&1)
    for text in "$program - take apart MHT web archives" "$program $version" \
        'iconv -f CP932 -t UTF-8 log.csv' 'JAPANESE SUMMARY'; do
        grep -qF -- "$text" <<<"$shown" || fail "$program.1 lacks: $text"
    done
    echo "check-packages: man -l $program.1 renders"
done

# The changelog's latest entry is this version's, and the copyright file says what licence
# there is.
[[ "$(zcat "$scratch/prefix/share/doc/fenwrack/changelog.gz" | head -1)" == "fenwrack ($version) "* ]] ||
    fail "changelog.gz does not begin with version $version"
grep -q '^Licence:' "$scratch/prefix/share/doc/fenwrack/copyright" || fail "copyright lacks Licence:"

# The installed program answers --version from the project's version.
[[ "$("$scratch/prefix/bin/fenwrack_dated" --version)" == "fenwrack_dated $version" ]] ||
    fail "fenwrack_dated --version"
echo "check-packages: all good"
