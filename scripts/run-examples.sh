#!/usr/bin/env bash
# Builds both programs (preset package: no tests, so only a compiler and CMake are needed) and
# runs each on a copy of the example archives, answering Y; then splits them all, today's .mhtml
# save too, with --offline and names the pages to open in a browser.
# The outputs land in build/examples-run/<program>/ and build/examples-run/offline/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --run
cmake --preset package >/dev/null
cmake --build --preset package -j"$(nproc)"
for program in fenwrack fenwrack_dated; do
    folder="build/examples-run/$program"
    rm -rf "$folder" && mkdir -p "$folder"
    cp examples/*.mht "$folder/"
    echo "== $program in $folder"
    (cd "$folder" && printf 'Y\n\n' | "../../package/$program" | iconv -f CP932 -t UTF-8)
    echo
    ls -1 "$folder" | iconv -f CP932 -t UTF-8
    echo "-- log.csv:"
    iconv -f CP932 -t UTF-8 "$folder/log.csv"
done

folder="build/examples-run/offline"
rm -rf "$folder" && mkdir -p "$folder"
cp examples/*.mht examples/*.mhtml "$folder/"
echo "== fenwrack --yes --offline in $folder"
(cd "$folder" && "../../package/fenwrack" --yes --offline | iconv -f CP932 -t UTF-8)
echo
echo "-- pages that open offline: open one in a browser (no internet needed), for example"
for page in "$folder"/*.htm; do
    printf 'file://%s\n' "$(cd "$(dirname "$page")" && pwd)/$(basename "$page")" | iconv -f CP932 -t UTF-8
done
