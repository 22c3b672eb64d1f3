#!/usr/bin/env bash
# Runs two builds of the program on the same archives and compares everything they leave:
# the list of files, every file's bytes (the run log included), the console output and the
# exit status. Inputs: a large archive, a folder of small thread pages, edge cases, the
# example archives and every file of the shared corpus (as "*.mht"), all together and one by one.
#
#   bench/compare_outputs.sh REFERENCE_PROGRAM NEW_PROGRAM [--work DIR] [--large SIZE]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
reference=$(realpath "${1:?usage: compare_outputs.sh REFERENCE NEW [--work DIR]}")
candidate=$(realpath "${2:?usage: compare_outputs.sh REFERENCE NEW [--work DIR]}")
shift 2
work=${TMPDIR:-/tmp}/fenwrack-compare
large=30M
corpus=${FENWRACK_CORPUS:-$top/../shared/corpus}
while [[ $# -gt 0 ]]; do
    case $1 in
    --work) work=$2; shift 2 ;;
    --large) large=$2; shift 2 ;;
    *) echo "compare_outputs.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

rm -rf "$work"
mkdir -p "$work/inputs"
inputs=$work/inputs
mkdir -p "$inputs/large"
python3 "$here/make_archives.py" large "$large" "$inputs/large/large.mht"
python3 "$here/make_archives.py" folder 300 50k "$inputs/small" --seed 3
python3 "$here/make_archives.py" edge "$inputs/edge"
mkdir -p "$inputs/examples" "$inputs/corpus"
cp "$top"/examples/*.mht "$inputs/examples/"
if [[ -d $corpus ]]; then
    for f in "$corpus"/*; do
        [[ -f $f ]] || continue
        base=$(basename "$f")
        cp "$f" "$inputs/corpus/${base%.*}.mht"
    done
fi
# every edge case and corpus file also on its own, where no other archive shares its folder
for set in edge corpus examples; do
    for f in "$inputs/$set"/*.mht; do
        [[ -f $f ]] || continue
        one=$inputs/one-$set-$(basename "$f" .mht)
        mkdir -p "$one"
        cp "$f" "$one/"
    done
done

# run PROGRAM INPUT_DIR OUT_DIR: a copy of the inputs, the program run in it, its console kept
run() {
    mkdir -p "$3"
    cp -r "$2"/. "$3/"
    local status=0
    (cd "$3" && printf 'y\n\n' | "$1" >"$3.stdout" 2>"$3.stderr") || status=$?
    echo "$status" >"$3.status"
}

failures=0
cases=0
for input in "$inputs"/*/; do
    name=$(basename "$input")
    run "$reference" "$input" "$work/ref/$name"
    run "$candidate" "$input" "$work/new/$name"
    cases=$((cases + 1))
    problem=""
    if ! diff <(cd "$work/ref/$name" && find . | sort) <(cd "$work/new/$name" && find . | sort) \
        >/dev/null; then
        problem="file lists differ"
    elif ! diff -r "$work/ref/$name" "$work/new/$name" >/dev/null; then
        problem="file contents differ"
    else
        for part in stdout stderr status; do
            if ! cmp -s "$work/ref/$name.$part" "$work/new/$name.$part"; then
                problem="$part differs"
                break
            fi
        done
    fi
    files=$(find "$work/ref/$name" -type f | wc -l)
    if [[ -n $problem ]]; then
        echo "DIFFERENT $name: $problem"
        failures=$((failures + 1))
    else
        echo "same      $name ($files files)"
    fi
done
echo "$cases cases, $failures different"
[[ $failures -eq 0 ]]
