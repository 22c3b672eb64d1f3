#!/usr/bin/env bash
# House checks: formatting, no platform tests outside platform/, no unbounded string calls,
# includes that point down the floors only, and each room source's own header first.
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
# webref/ is pure: of platform/ it calls the byte searches only, and it opens no stream.
platform_calls=$(sed -nE 's/^[][a-z_:,0-9() ]*[ *&]([a-z_0-9]+)\(.*/\1/p' platform/platform.hpp |
    grep -vxE 'find_byte|find_text' | paste -sd '|')
if git grep -nwE "($platform_calls)" -- 'webref/' ||
    git grep -nE '#include <(cstdio|fstream|iostream|filesystem)>' -- 'webref/'; then
    echo "check-style: webref/ reaches platform/ beyond the byte searches" >&2
    status=1
fi
# Rooms and their floors: a room includes its own headers and those of lower floors only
# (driver -> archive -> decode, pagename, webref -> support -> platform), and a room's source
# includes its room header first.
floor_of() {
    case $1 in
    driver) echo 0 ;; archive) echo 1 ;; decode | pagename | webref) echo 2 ;; support) echo 3 ;;
    platform) echo 4 ;; *) echo "" ;;
    esac
}
for file in $(git ls-files 'driver/*' 'archive/*' 'decode/*' 'pagename/*' 'webref/*' \
    'support/*' 'platform/*' | grep -E '\.(cpp|hpp)$'); do
    room=${file%%/*}
    while IFS= read -r target; do
        target_floor=$(floor_of "$target")
        [[ -z $target_floor || $target == "$room" ]] && continue
        if ((target_floor <= $(floor_of "$room"))); then
            echo "check-style: $file includes $target/, which is not below $room/" >&2
            status=1
        fi
    done < <(sed -nE 's|^#include "([a-z]+)/.*|\1|p' "$file")
    if [[ $file == *.cpp ]]; then
        first=$(grep -m1 '^#include' "$file" || true)
        if [[ -n $first && $first != "#include \"$room/$room.hpp\"" ]]; then
            echo "check-style: $file does not include $room/$room.hpp first" >&2
            status=1
        fi
    fi
done
# Functions of the product stay short: at most 45 lines from the return type's line to the
# closing brace (the line count between the two). A definition starts at column 0 with its name
# and "(", its return type on the line above, and its body ends at the first "}" in column 0.
long_functions=$(git ls-files 'driver/*' 'archive/*' 'decode/*' 'pagename/*' 'webref/*' \
    'support/*' 'platform/*' | grep -E '\.(cpp|hpp)$' | xargs awk '
    FNR == 1 { name = ""; in_body = 0; previous = "" }
    !in_body && /^[A-Za-z_][A-Za-z_0-9:~]*\(/ && previous ~ /^[A-Za-z_\[]/ &&
        previous !~ /[;{}]$/ && previous !~ /^(#|\/\/)/ {
        name = $0; sub(/\(.*/, "", name); start = FNR - 1
    }
    name != "" && !in_body && /;[[:space:]]*$/ { name = "" }
    name != "" && !in_body && /^\{/ { in_body = 1 }
    in_body && /^\}/ {
        if (FNR - start > 45)
            printf "%s:%d: %s has %d lines\n", FILENAME, start + 1, name, FNR - start
        in_body = 0; name = ""
    }
    { previous = $0 }')
if [[ -n $long_functions ]]; then
    echo "$long_functions" >&2
    echo "check-style: functions longer than 45 lines" >&2
    status=1
fi
exit $status
