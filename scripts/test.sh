#!/usr/bin/env bash
# Everything CI checks, from a fresh machine: installs what is missing, checks the house
# style, builds and runs all tests in the release build (warnings as errors) and in the
# AddressSanitizer + UndefinedBehaviorSanitizer build, builds and checks the Linux packages,
# builds every other preset README names, then the Windows programs under Wine (and the zip
# of the mingw-package build), and proves the benchmark runs.
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

# took WHAT: how long the step since the last one took
step_start=$SECONDS
took() {
    echo "test: $1 took $((SECONDS - step_start)) s"
    step_start=$SECONDS
}
took "installing and the style checks"

cmake --preset ci
cmake --build --preset ci -j"$jobs"
ctest --preset ci -j"$jobs"
took "the ci build and its tests"

cmake --preset ci-asan
cmake --build --preset ci-asan -j"$jobs"
ctest --preset ci-asan -j"$jobs"
took "the ci-asan build and its tests"

bash scripts/check-packages.sh
took "the package check"

# Every preset README names builds as README says. default and asan are ci and ci-asan less
# -Werror (and the benchmarks): the builds above compiled the same sources with the same
# flags, so those two are only configured. debug (no -Werror, the library assertions ci-asan
# runs the tests with) builds its programs; fuzz, another compiler, builds whole, not run: the
# corpus replays run in every test build.
cmake --preset default >/dev/null
cmake --preset asan >/dev/null
cmake --preset debug >/dev/null
cmake --build --preset debug -j"$jobs" --target fenwrack fenwrack_dated >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs" >/dev/null
echo "test: presets default and asan configure, debug builds its programs, fuzz builds"
took "the other presets"

if ((windows)) && [[ -f .ci/windows.sh ]]; then
    bash .ci/windows.sh build/ci
    took "the Windows leg"
fi
if [[ -f bench/smoke.sh ]]; then
    bash bench/smoke.sh build/ci
    took "the benchmark smoke run"
fi
