#!/bin/sh
# bench/run.sh [build-directory]
#
# Builds the programs and the benchmark in Release mode (with LAPACK for the
# comparisons), writes the benchmark's coordinates files, and in one run:
#   1. times whole runs of the programs on every file, each run a fresh
#      working directory and one PCNM attempt (median of RUNS runs), with the
#      peak memory of each program (/usr/bin/time);
#   2. times the minimal LAPACK program on the 1000-site files likewise;
#   3. runs the eigen-solver benchmark (ours, the literal loops, dsyevd and
#      dsyev on one thread, the writing of the file) and prints its ratios.
# Environment: RUNS (default 5), REPS (benchmark repetitions, default 5).
# Needs cmake, g++, Google Benchmark, a LAPACK (libopenblas-dev preferred),
# /usr/bin/time and setsid.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${RUNS:-5}
reps=${REPS:-5}

mkdir -p "$build"
log=$build/bench-build.log
{ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLOCIWEAVER_TESTS=OFF \
      -DLOCIWEAVER_BENCH=ON -DLOCIWEAVER_BENCH_LAPACK=ON &&
  cmake --build "$build" -j2 --target lociweaver lociweaver1000 gensites eigenbench minimal; } \
    > "$log" 2>&1 || { cat "$log"; exit 1; }

data=$build/benchdata
mkdir -p "$data"
"$build/bench/gensites" "$data"

# One thread for LAPACK, as for our solver.
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1

echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc --all) cores"
echo "Load average before the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# median: the median of the numbers on standard input, one a line.
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2];
                                        else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# timed COMMAND...: runs COMMAND in a fresh directory holding the case's
# coordinates file ($case.txt); prints its time in ms and its peak memory in
# KB.  Standard input is the case's answers file; there is no terminal, so
# the closing pause reads its answer from there.
timed() {
    dir=$scratch/run
    rm -rf "$dir"
    mkdir "$dir"
    cp "$data/$case.txt" "$dir/"
    start=$(date +%s%N)
    (cd "$dir" && setsid -w /usr/bin/time -f '%M' -o "$scratch/mem" "$@" \
        < "$data/$case.answers" > "$scratch/out" 2> "$scratch/err") ||
        { echo "run failed: $*" >&2; cat "$scratch/err" >&2; exit 1; }
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 )) $(cat "$scratch/mem")"
}

printf '%-20s %-15s %9s %9s\n' "whole run" "program" "median ms" "peak KB"
for case in uniform250 uniform500 clustered250 clustered500 uniform1000 clustered1000 \
            supplementary1000; do
    for prog in lociweaver lociweaver1000; do
        case $case in *1000) [ $prog = lociweaver ] && continue ;; esac
        : > "$scratch/times"
        peak=0
        for k in $(seq "$runs"); do
            set -- $(timed "$build/src/$prog")
            echo "$1" >> "$scratch/times"
            [ "$2" -gt "$peak" ] && peak=$2
        done
        printf '%-20s %-15s %9s %9s\n' "$case" "$prog" "$(median < "$scratch/times")" "$peak"
        [ $prog = lociweaver1000 ] && eval "ours_$case=$(median < "$scratch/times")"
    done
done
echo

printf '%-20s %9s %9s %14s\n' "minimal dsyevd" "median ms" "peak KB" "lociweaver1000/"
for case in uniform1000 clustered1000 supplementary1000; do
    limit=$(sed -n 7p "$data/$case.answers")
    : > "$scratch/times"
    peak=0
    for k in $(seq "$runs"); do
        set -- $(timed "$build/bench/minimal" "$case.txt" "$limit" variables.txt eigenvalues.txt)
        echo "$1" >> "$scratch/times"
        [ "$2" -gt "$peak" ] && peak=$2
    done
    m=$(median < "$scratch/times")
    eval "o=\$ours_$case"
    printf '%-20s %9s %9s %14s\n' "$case" "$m" "$peak" "$(echo "$o $m" | awk '{ printf "%.2f", $1 / $2 }')"
done
echo

"$build/bench/eigenbench" "$data" --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true
