#!/usr/bin/env bash
# Builds both programs (preset package: no tests, so only a compiler and CMake are needed) and
# runs each on a copy of the example archives, answering Y.
# The outputs land in build/examples-run/<program>/.
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
