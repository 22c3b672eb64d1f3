#!/usr/bin/env bash
# Times the real program end to end, in one run, against `base64 -d` on the same base64 payload
# and `cp` of the same archive bytes: one large archive per size, then a folder of small ones.
# Prints MB/s, archives/s, the ratios and the peak RSS. Figures are best of N, by wall clock and
# by CPU time (user + system), which other load on the machine disturbs less.
#
#   bench/run.sh BUILD_DIR [--sizes "10M 200M"] [--huge] [--small COUNT] [--small-size 50k]
#                          [--parts COUNT] [--declarations "100M 1G"]
#                          [--repeat N] [--work DIR] [--program PATH] [--before PATH]
#                          [--option OPTION] [--closeout "20000 200000"]
#
# --parts times one archive of COUNT small parts (10,000) against one of a tenth as many: the
# ratio of the two shows a cost per part that grows with the parts before it. --declarations
# gives the peak RSS of archives of that many bytes of "boundary=" declarations, one a line and
# all on one line.
#
# --before times a second build (say, one from before a change) on the same inputs in the same
# run, right after the first, and prints how much faster the first is.
# --option passes an option to the programs timed (e.g. --offline), and times every input once
# more without it, in the same run, printing the cost of the option. --closeout times a page
# naming COUNT ".tmp" images, each a part of its own, for each COUNT given (the close-out's
# renames and rewrites), and prints how the time grows from the first COUNT to the last.
# --huge adds a 1 GB archive. Inputs are generated (seeded) into the work folder, /tmp by
# default, and kept there for the next run; nothing is written into the repository.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR [options]}
shift
sizes="10M 200M"
small_count=2000
small_size=50k
parts_count=10000
declaration_sizes="100M 1G"
repeat=5
work=${TMPDIR:-/tmp}/fenwrack-bench
program=""
before=""
option=""
closeout=""
while [[ $# -gt 0 ]]; do
    case $1 in
    --sizes) sizes=$2; shift 2 ;;
    --huge) sizes="$sizes 1G"; shift ;;
    --small) small_count=$2; shift 2 ;;
    --small-size) small_size=$2; shift 2 ;;
    --parts) parts_count=$2; shift 2 ;;
    --declarations) declaration_sizes=$2; shift 2 ;;
    --repeat) repeat=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    --before) before=$(realpath "$2"); shift 2 ;;
    --option) option=$2; shift 2 ;;
    --closeout) closeout=$2; shift 2 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
program=${program:-$build/fenwrack_nosleep}
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
[[ -x $program ]] || { echo "run.sh: no program at $program" >&2; exit 2; }
[[ -z $before || -x $before ]] || { echo "run.sh: no program at $before" >&2; exit 2; }
mkdir -p "$work"
run_dir=$work/run
# Folders the small-archive runs write into, all removed at the end (see fresh_run_dir).
spent_dirs=$work/spent.$$
large_run_dir=$run_dir
trap 'rm -rf "$large_run_dir" "$spent_dirs"' EXIT

now_ns() {
    date +%s%N
}

# measure LABEL COMMAND...: runs the command (stdin from $stdin_file) repeat times in a clean
# run folder; sets best_s (wall seconds), best_cpu (user + system seconds), both best of the
# runs, and peak_kb (largest peak RSS seen). Every run's wall time is printed as well, so the
# spread shows.
measure() {
    local label=$1
    shift
    best_s=""
    best_cpu=""
    peak_kb=0
    local walls=""
    for ((k = 0; k < repeat; ++k)); do
        prepare_run
        local start end rss
        start=$(now_ns)
        (cd "$run_dir" && /usr/bin/time -v -o "$work/time.txt" "$@" <"$stdin_file" >/dev/null) ||
            { echo "run.sh: $* failed" >&2; exit 1; }
        end=$(now_ns)
        walls+=$(awk -v ns="$((end - start))" 'BEGIN { printf " %.3f", ns / 1e9 }')
        rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
        ((rss > peak_kb)) && peak_kb=$rss
        best_s=$(awk -v a="$best_s" -v b="$(((end - start) / 1000))" \
            'BEGIN { b /= 1e6; print (a == "" || b < a) ? b : a }')
        best_cpu=$(awk -F': ' -v a="$best_cpu" '/(User|System) time/ { t += $2 }
            END { print (a == "" || t < a) ? t : a }' "$work/time.txt")
    done
    printf '  %-28s %9.4f s wall %8.3f s CPU  peak RSS %6d KiB  (runs:%s s)\n' "$label" \
        "$best_s" "$best_cpu" "$peak_kb" "$walls"
}

# Figures of inputs too small for the clock's resolution print as "-".
mb_per_s() {
    awk -v bytes="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.1f", bytes / 1e6 / s; else print "-" }'
}

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0 && b > 0) printf "%.2f", a / b; else print "-" }'
}

# The run folder holds links to the inputs only: the program writes its outputs next to them.
link_inputs() {
    rm -rf "$run_dir"
    mkdir -p "$run_dir"
    ln "$@" "$run_dir/"
}

# Like link_inputs, but in a new folder each time; the former ones are removed only at the end.
# On ext4 without a journal the inode allocator passes over inodes freed in the last minutes,
# reading each one: a run right after the removal of the 12,000 outputs of the one before
# creates its files several times slower than in a fresh folder, which is not what the program
# costs a user. A first run soon after another script's removals still meets that (the "runs:"
# list shows it); --work on another file system avoids it.
fresh_run_dir() {
    mkdir -p "$spent_dirs"
    run_dir=$(mktemp -d "$spent_dirs/run.XXXXXX")
    ln "$@" "$run_dir/"
}

# measure_before BYTES: times the --before build like the program just timed and prints both
# MB/s and the speed-up (wall clock and CPU time).
measure_before() {
    [[ -n $before ]] || return 0
    measure "before" "$before"
    echo "  => before $(mb_per_s "$1" "$best_s") MB/s wall ($(mb_per_s "$1" "$best_cpu") CPU)," \
        "now $(mb_per_s "$1" "$prog_s") MB/s wall ($(mb_per_s "$1" "$prog_cpu") CPU):" \
        "$(ratio "$best_s" "$prog_s")x by wall clock, $(ratio "$best_cpu" "$prog_cpu")x by CPU;" \
        "peak RSS $peak_kb KiB before"
    echo "RESULT before seconds=$best_s cpu_seconds=$best_cpu rss_kb=$peak_kb"
}

# measure_program BYTES: times the program (with --option's option when given, and then without
# it, printing what the option costs), then the --before build; sets prog_s, prog_cpu, prog_kb.
measure_program() {
    if [[ -n $option ]]; then
        measure "fenwrack $option" "$program" "$option"
        local with_s=$best_s with_cpu=$best_cpu with_kb=$peak_kb
        measure "fenwrack" "$program"
        echo "  => $option costs $(ratio "$with_s" "$best_s")x by wall clock," \
            "$(ratio "$with_cpu" "$best_cpu")x by CPU; peak RSS $with_kb KiB with it"
        echo "RESULT option $option seconds=$with_s cpu_seconds=$with_cpu rss_kb=$with_kb" \
            "seconds_without=$best_s cpu_seconds_without=$best_cpu"
        prog_s=$with_s
        prog_cpu=$with_cpu
        prog_kb=$with_kb
    else
        measure "fenwrack" "$program"
        prog_s=$best_s
        prog_cpu=$best_cpu
        prog_kb=$peak_kb
    fi
    measure_before "$1"
}

stdin_file=$work/yes.txt
printf 'y\n\n' >"$stdin_file"

echo "program: $program"
[[ -z $before ]] || echo "before: $before"
echo "work folder: $work (best of $repeat)"
for size in $sizes; do
    archive=$work/large-$size.mht
    payload=$work/large-$size.b64
    if [[ ! -f $archive || ! -f $payload ]]; then
        python3 "$here/make_archives.py" large "$size" "$archive" --payload "$payload"
    fi
    archive_bytes=$(stat -c %s "$archive")
    payload_bytes=$(stat -c %s "$payload")
    echo "large archive $size: $archive_bytes bytes, base64 payload $payload_bytes bytes"

    prepare_run() { link_inputs "$archive"; }
    measure_program "$archive_bytes"
    prepare_run() { link_inputs "$payload"; }
    measure "base64 -d (payload)" sh -c 'base64 -d "$1" >decoded.bin' sh "$(basename "$payload")"
    b64_s=$best_s
    b64_cpu=$best_cpu
    measure "cp (archive bytes)" cp "$archive" copy.bin
    cp_s=$best_s
    prog_mbs=$(mb_per_s "$archive_bytes" "$prog_s")
    b64_mbs=$(mb_per_s "$payload_bytes" "$b64_s")
    cp_mbs=$(mb_per_s "$archive_bytes" "$cp_s")
    prog_cpu_mbs=$(mb_per_s "$archive_bytes" "$prog_cpu")
    b64_cpu_mbs=$(mb_per_s "$payload_bytes" "$b64_cpu")
    echo "  => wall: fenwrack $prog_mbs MB/s, base64 -d $b64_mbs MB/s, cp $cp_mbs MB/s;" \
        "fenwrack/base64 -d $(ratio "$prog_mbs" "$b64_mbs")," \
        "fenwrack/cp $(ratio "$prog_mbs" "$cp_mbs")"
    echo "  => CPU:  fenwrack $prog_cpu_mbs MB/s, base64 -d $b64_cpu_mbs MB/s;" \
        "fenwrack/base64 -d $(ratio "$prog_cpu_mbs" "$b64_cpu_mbs"); peak RSS $prog_kb KiB"
    echo "RESULT large $size mbs=$prog_mbs base64_mbs=$b64_mbs cp_mbs=$cp_mbs" \
        "cpu_mbs=$prog_cpu_mbs base64_cpu_mbs=$b64_cpu_mbs rss_kb=$prog_kb"
done

# --small 0 leaves the folder of small archives out.
if ((small_count > 0)); then
    folder=$work/small-$small_count-$small_size
    if [[ ! -d $folder ]]; then
        python3 "$here/make_archives.py" folder "$small_count" "$small_size" "$folder.part"
        mv "$folder.part" "$folder"
    fi
    folder_bytes=$(du -sb "$folder" | cut -f1)
    echo "small archives: $small_count of $small_size, $folder_bytes bytes"
    prepare_run() { fresh_run_dir "$folder"/*.mht; }
    measure_program "$folder_bytes"
    measure "cp (archive bytes)" cp -r "$folder" copy
    cp_s=$best_s
    per_s() {
        awk -v n="$small_count" -v s="$1" 'BEGIN { if (s > 0) printf "%.0f", n / s; else print "-" }'
    }
    echo "  => fenwrack $(per_s "$prog_s") archives/s by wall clock ($prog_s s)," \
        "$(per_s "$prog_cpu") by CPU time ($prog_cpu s); $(mb_per_s "$folder_bytes" "$prog_s") MB/s;" \
        "cp $(mb_per_s "$folder_bytes" "$cp_s") MB/s ($cp_s s); fenwrack/cp $(ratio "$cp_s" "$prog_s");" \
        "peak RSS $prog_kb KiB"
    echo "RESULT small count=$small_count seconds=$prog_s cpu_seconds=$prog_cpu cp_seconds=$cp_s" \
        "rss_kb=$prog_kb"
fi

# The close-out: one page naming COUNT ".tmp" images, for each COUNT; the time of the largest
# against the smallest tells whether it grows linearly (10 times the images, about 10 times the
# time).
first_count=""
for count in $closeout; do
    archive=$work/closeout-$count.mht
    [[ -f $archive ]] || python3 "$here/make_archives.py" closeout "$count" "$archive"
    echo "close-out: a page and $count .tmp images, $(stat -c %s "$archive") bytes"
    prepare_run() { fresh_run_dir "$archive"; }
    measure_program "$(stat -c %s "$archive")"
    if [[ -z $first_count ]]; then
        first_count=$count
        first_s=$prog_s
        first_cpu=$prog_cpu
    else
        echo "  => $count images against $first_count: $(ratio "$prog_s" "$first_s")x by wall" \
            "clock, $(ratio "$prog_cpu" "$first_cpu")x by CPU"
    fi
    echo "RESULT closeout count=$count seconds=$prog_s cpu_seconds=$prog_cpu rss_kb=$prog_kb"
done

# One archive of many parts against one of a tenth as many, in fresh folders (see
# fresh_run_dir): about ten times as long when each part costs the same.
# (--parts 0 leaves it out).
if ((parts_count > 0)); then
    for count in $((parts_count / 10)) "$parts_count"; do
        archive=$work/parts-$count.mht
        [[ -f $archive ]] || python3 "$here/make_archives.py" parts "$count" "$archive"
        prepare_run() { fresh_run_dir "$archive"; }
        measure "fenwrack ($count parts)" "$program"
        parts_s[$count]=$best_s
        parts_cpu[$count]=$best_cpu
    done
    echo "  => $parts_count parts take $(ratio "${parts_s[$parts_count]}" \
        "${parts_s[$((parts_count / 10))]}")x the time of $((parts_count / 10)) by wall clock," \
        "$(ratio "${parts_cpu[$parts_count]}" "${parts_cpu[$((parts_count / 10))]}")x by CPU time"
    echo "RESULT parts count=$parts_count seconds=${parts_s[$parts_count]}" \
        "cpu_seconds=${parts_cpu[$parts_count]} tenth_seconds=${parts_s[$((parts_count / 10))]}" \
        "tenth_cpu_seconds=${parts_cpu[$((parts_count / 10))]}"
fi

# Declarations of boundaries: memory must stay flat whatever their number.
for size in $declaration_sizes; do
    for form in lines line; do
        archive=$work/declarations-$form-$size.mht
        [[ -f $archive ]] || python3 "$here/make_archives.py" declarations "$form" "$size" "$archive"
        prepare_run() { link_inputs "$archive"; }
        measure "fenwrack ($size, $form)" "$program"
        echo "RESULT declarations $form $size seconds=$best_s rss_kb=$peak_kb"
    done
done
