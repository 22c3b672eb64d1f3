#!/usr/bin/env bash
# Proves the benchmarks still run: the micro-benchmarks briefly, then the end-to-end script on
# a small archive and a few small ones, in a scratch folder that is removed afterwards.
#
#   bench/smoke.sh BUILD_DIR
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: smoke.sh BUILD_DIR}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/fenwrack-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/bench/micro_bench" --benchmark_min_time=0.01 >"$work/micro.txt"
grep -q 'BM_DecodeBase64Line' "$work/micro.txt"
cat "$work/micro.txt"

bash "$here/run.sh" "$build" --sizes 3M --small 20 --parts 200 --declarations 1M \
    --closeout "20 200" --repeat 1 --work "$work/e2e" --before "$build/fenwrack_nosleep" |
    tee "$work/e2e.txt"
grep -q '^RESULT large 3M mbs=' "$work/e2e.txt"
[[ $(grep -c '^RESULT before seconds=' "$work/e2e.txt") == 4 ]]
grep -q '^RESULT small count=20 ' "$work/e2e.txt"
[[ $(grep -c "^RESULT closeout count=" "$work/e2e.txt") == 2 ]]
grep -q '^RESULT parts count=200 ' "$work/e2e.txt"
[[ $(grep -c '^RESULT declarations ' "$work/e2e.txt") == 2 ]]
echo "bench smoke test passed"
