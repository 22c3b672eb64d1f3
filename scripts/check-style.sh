#!/usr/bin/env bash
# House checks: formatting, no platform tests outside platform/, no unbounded string calls.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
sources=$(git ls-files '*.cpp' '*.hpp')
if ! clang-format --dry-run -Werror $sources; then
    echo "check-style: files above are not clang-formatted" >&2
    status=1
fi
if git grep -n '_WIN32' -- '*.cpp' '*.hpp' ':!platform/'; then
    echo "check-style: _WIN32 outside platform/" >&2
    status=1
fi
if git grep -nE '\b(strcpy|strcat|sprintf)\s*\(|\bgets\(' -- '*.cpp' '*.hpp'; then
    echo "check-style: unbounded string routine" >&2
    status=1
fi
exit $status
