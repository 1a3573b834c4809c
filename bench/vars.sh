#!/bin/sh
# bench/vars.sh [build-directory]
#
# lociweaver-vars against the dialogue on the benchmark's coordinates files
# (bench/gensites): for each case, the dialogue program of its capacity
# (lociweaver1000, lociweaver4000) with the case's answers, and
# lociweaver-vars with the same limit and layout and --report, each run in a
# fresh working directory, the two in turn (dialogue, vars, dialogue, ...),
# RUNS pairs (default 5).  Prints the median real time of each in ms (and
# in parentheses the median processor time, all threads, which a busy
# machine disturbs less), the median of the pairs' ratios of real time
# vars / dialogue, and whether the two wrote
# the same spatial-variable file and the same record (the report from its
# PCNM section on, the computation time's value aside).
# Environment: RUNS, THREADS (the computation's threads, default every
# processor), CASES (default uniform1000 clustered1000 uniform4000
# clustered4000).
# Needs cmake, g++, Google Benchmark (for the bench/ folder), /usr/bin/time
# and setsid.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${RUNS:-5}
cases=${CASES:-"uniform1000 clustered1000 uniform4000 clustered4000"}

mkdir -p "$build"
log=$build/vars-build.log
{ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLOCIWEAVER_TESTS=OFF \
      -DLOCIWEAVER_BENCH=ON -DLOCIWEAVER_MAXN=4000 &&
  cmake --build "$build" -j2 --target lociweaver1000 lociweaver4000 lociweaver-vars gensites; } \
    > "$log" 2>&1 || { cat "$log"; exit 1; }

data=$build/benchdata
mkdir -p "$data"
"$build/bench/gensites" "$data"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores for this process"
threads=${THREADS:-}
[ -n "$threads" ] && export OMP_NUM_THREADS="$threads"
echo "Load average before the runs: $(cut -d' ' -f1-3 /proc/loadavg)"

# timed DIR COMMAND...: the real time and the processor time (user and
# system) of COMMAND in ms (bench/timed.sh).
. "$root/bench/timed.sh"
timedrun() {
    got=$(timed '%U %S' "$@") || exit 1
    echo "$got" | awk '{ printf "%s %d\n", $1, ($2 + $3) * 1000 }'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2];
                                        else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# untimed FILE: the file without the computation time's value.
untimed() { sed 's/^ Computation time: .*/ Computation time/' "$1"; }

printf '%-16s %-15s %14s %14s %8s %s\n' case dialogue "dialogue ms" "vars ms" ratio "same bits"
echo "threads: ${threads:-every processor}"
for case in $cases; do
    case $case in *1000) prog=lociweaver1000 ;; *) prog=lociweaver4000 ;; esac
    limit=$(sed -n 7p "$data/$case.answers")
    layout=$(sed -n 3p "$data/$case.answers")
    : > "$scratch/a"
    : > "$scratch/b"
    : > "$scratch/r"
    : > "$scratch/ac"
    : > "$scratch/bc"
    same=yes
    for k in $(seq "$runs"); do
        a=$(timedrun "$scratch/dialogue" "$build/src/$prog")
        b=$(timedrun "$scratch/vars" "$build/src/lociweaver-vars" --limit "$limit" --layout "$layout" \
            --report eigenvalues.txt "$case.txt" variables.txt)
        echo "$a" | cut -d' ' -f1 >> "$scratch/a"
        echo "$b" | cut -d' ' -f1 >> "$scratch/b"
        echo "$a" | cut -d' ' -f2 >> "$scratch/ac"
        echo "$b" | cut -d' ' -f2 >> "$scratch/bc"
        echo "$b $a" | awk '{ printf "%.4f\n", $1 / $3 }' >> "$scratch/r"
        cmp -s "$scratch/dialogue/variables.txt" "$scratch/vars/variables.txt" || same=no
        # the dialogue's report from the empty line before its PCNM heading
        { echo; untimed "$scratch/dialogue/eigenvalues.txt" |
              sed -n '/^ Matrix of PCNM spatial variables$/,$p'; } > "$scratch/want"
        untimed "$scratch/vars/eigenvalues.txt" | cmp -s "$scratch/want" - || same=no
    done
    printf '%-16s %-15s %14s %14s %8s %s\n' "$case" "$prog" \
        "$(median < "$scratch/a") ($(median < "$scratch/ac"))" \
        "$(median < "$scratch/b") ($(median < "$scratch/bc"))" "$(median < "$scratch/r")" "$same"
    echo "  (load average $(cut -d' ' -f1-3 /proc/loadavg))"
done
