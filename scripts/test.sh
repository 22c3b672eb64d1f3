#!/usr/bin/env bash
# Everything CI checks, from a fresh machine: installs what is missing, checks the house
# style, builds and runs all tests in the release build (warnings as errors) and in the
# AddressSanitizer + UndefinedBehaviorSanitizer build, builds and checks the Linux packages,
# then the Windows programs under Wine (and their zip), and proves the benchmark runs.
#
#   bash scripts/test.sh               everything, as CI runs it
#   bash scripts/test.sh --no-windows  the quick local loop: no cross build, no Wine
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
windows=1
case ${1:-} in
"") ;;
--no-windows) windows=0 ;;
*) echo "usage: bash scripts/test.sh [--no-windows]" >&2; exit 2 ;;
esac

if ((windows)); then
    bash scripts/install-deps.sh --windows
else
    bash scripts/install-deps.sh
fi
bash scripts/check-style.sh

cmake --preset ci
cmake --build --preset ci -j"$jobs"
ctest --preset ci -j"$jobs"

cmake --preset ci-asan
cmake --build --preset ci-asan -j"$jobs"
ctest --preset ci-asan -j"$jobs"

bash scripts/check-packages.sh

if ((windows)) && [[ -f .ci/windows.sh ]]; then
    bash .ci/windows.sh build/ci
fi
if [[ -f bench/smoke.sh ]]; then
    bash bench/smoke.sh build/ci
fi
