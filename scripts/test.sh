#!/usr/bin/env bash
# Everything CI checks, from a fresh machine: installs what is missing, checks the house
# style, builds and runs all tests in the release build (warnings as errors) and in the
# AddressSanitizer + UndefinedBehaviorSanitizer build, builds and checks the Linux packages,
# then the Windows programs under Wine (and their zip), and proves the benchmark runs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh --windows
bash scripts/check-style.sh

cmake --preset ci
cmake --build --preset ci -j"$jobs"
ctest --preset ci -j"$jobs"

cmake --preset ci-asan
cmake --build --preset ci-asan -j"$jobs"
ctest --preset ci-asan -j"$jobs"

bash scripts/check-packages.sh

if [[ -f .ci/windows.sh ]]; then
    bash .ci/windows.sh build/ci
fi
if [[ -f bench/smoke.sh ]]; then
    bash bench/smoke.sh build/ci
fi
