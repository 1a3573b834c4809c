#!/bin/sh
# bench/run.sh [build-directory]
#
# Builds the programs and the benchmark in Release mode (with LAPACK for the
# comparisons, lociweaver4000 for 2000 and 4000 sites and lociweaver-large
# for the 1250-site grid and 10 000 sites), writes the
# benchmark's coordinates files, and in one run:
#   1. times whole runs of the programs on every file, each run a fresh
#      working directory and one PCNM attempt (median of RUNS runs, LARGE
#      runs from 2000 sites on), with the peak memory of each program
#      (/usr/bin/time); with one thread (OMP_NUM_THREADS=1) and with every
#      processor this process may run on;
#   2. times the minimal LAPACK program on the files of 1000 sites and more
#      likewise, with one OpenBLAS thread and with all of them, and prints
#      the ratios for the same thread count;
#   3. runs the eigen-solver benchmark (ours, the literal loops, dsyevd and
#      dsyev, all on one thread, the writing of the file) and prints its
#      ratios;
#   4. runs the benchmark of lociweaver-maps on one core: Moran's I of 100
#      variables over 20000 sites (target: under 5 s), and the picture of
#      1000 sites and 30 variables (target: under 2 MB);
#   5. runs the benchmark of the table reader: a CSV table of 1 000 000
#      sites (label, x, y) from memory and from a file (target: under 1 s);
#   6. runs the benchmark of lociweaver-threshold: the minimum spanning
#      tree of 100 000 and 1 000 000 sites at random (target: a million in
#      seconds), and Prim's method over all pairs at 20 000;
#   7. on x86, runs bench/kernels: the solver's kernels on one thread on
#      every vector path against the clock, the multiplies and the
#      read-and-write bandwidth of the machine.
# Environment: RUNS (default 5), LARGE (default 3), REPS (benchmark
# repetitions, default 5), CASES (the whole-run cases, default all of them
# but uniform10000, which takes some minutes a run), EIGENBENCH (0 skips
# step 3), KERNELS (the order of step 7, default 4000; 0 skips it).
# Needs cmake, g++, Google Benchmark, a LAPACK (libopenblas-dev preferred),
# /usr/bin/time and setsid.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${RUNS:-5}
large=${LARGE:-3}
reps=${REPS:-5}
cases=${CASES:-"uniform250 uniform500 clustered250 clustered500 uniform1000 clustered1000
                supplementary1000 grid1250 uniform2000 clustered2000 uniform4000 clustered4000"}
eigenbench=${EIGENBENCH:-1}
kernels=${KERNELS:-4000}
case $(uname -m) in x86_64 | amd64) kernelsbin=kernels ;; *) kernelsbin= kernels=0 ;; esac

mkdir -p "$build"
log=$build/bench-build.log
{ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLOCIWEAVER_TESTS=OFF \
      -DLOCIWEAVER_BENCH=ON -DLOCIWEAVER_BENCH_LAPACK=ON -DLOCIWEAVER_MAXN=4000 &&
  cmake --build "$build" -j2 --target lociweaver lociweaver1000 lociweaver4000 lociweaver-large gensites \
      eigenbench minimal mapsbench tablebench treebench $kernelsbin; } \
    > "$log" 2>&1 || { cat "$log"; exit 1; }

data=$build/benchdata
mkdir -p "$data"
"$build/bench/gensites" "$data"

# The processors this process may run on: "all cores" below.
all=$(nproc)
counts=1
[ "$all" -gt 1 ] && counts="1 $all"

echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc --all) cores, $all for this process"
# OpenBLAS's kernels for this processor: an OPENBLAS_CORETYPE set by the
# environment (some machines force Haswell, the AVX2 kernels, for old
# OpenBLAS builds) is replaced by SkylakeX, its AVX-512 kernels, where the
# processor has AVX-512F, so that LAPACK runs at the width our widest path
# does.
if [ -n "${OPENBLAS_CORETYPE:-}" ] && grep -qw avx512f /proc/cpuinfo; then
    export OPENBLAS_CORETYPE=SkylakeX
fi
echo "OpenBLAS core type: ${OPENBLAS_CORETYPE:-(its own choice)}"
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
# coordinates file ($case.txt); prints its real time in ms, its peak memory
# in KB and its processor time (user and system, all threads) in ms.
# Standard input is the case's answers file; there is no terminal, so the
# closing pause reads its answer from there.
timed() {
    dir=$scratch/run
    rm -rf "$dir"
    mkdir "$dir"
    cp "$data/$case.txt" "$dir/"
    start=$(date +%s%N)
    (cd "$dir" && setsid -w /usr/bin/time -f '%M %U %S' -o "$scratch/mem" "$@" \
        < "$data/$case.answers" > "$scratch/out" 2> "$scratch/err") ||
        { echo "run failed: $*" >&2; cat "$scratch/err" >&2; exit 1; }
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 )) $(awk '{ printf "%d %d", $1, ($2 + $3) * 1000 }' "$scratch/mem")"
}

# series NAME COMMAND...: the median real time, the peak memory and the
# median processor time of COMMAND on the case, over n runs, into ${NAME}_ms,
# ${NAME}_kb and ${NAME}_cpu.
series() {
    name=$1
    shift
    : > "$scratch/times"
    : > "$scratch/cpus"
    peak=0
    for k in $(seq "$n"); do
        r=$(timed "$@")
        echo "$r" | cut -d' ' -f1 >> "$scratch/times"
        echo "$r" | cut -d' ' -f3 >> "$scratch/cpus"
        kb=$(echo "$r" | cut -d' ' -f2)
        [ "$kb" -gt "$peak" ] && peak=$kb
    done
    eval "${name}_ms=$(median < "$scratch/times") ${name}_kb=$peak"
    eval "${name}_cpu=$(median < "$scratch/cpus")"
}

ratio() { echo "$1 $2" | awk '{ printf "%.2f", $1 / $2 }'; }

# Real times, ms; the processor time of the runs (all threads) in
# parentheses; the ratio is ours / dsyevd in real time, same thread count.
printf '%-18s %-16s %3s %16s %8s %16s %8s %6s\n' "whole run" "program" "thr" "ours ms (cpu)" \
    "peak KB" "dsyevd ms (cpu)" "peak KB" "ratio"
for case in $cases; do
    case $case in
        grid1250) progs=lociweaver-large n=$runs ;;
        uniform10000) progs=lociweaver-large n=1 ;;
        *250 | *500) progs="lociweaver lociweaver1000" n=$runs ;;
        *1000) progs=lociweaver1000 n=$runs ;;
        *) progs=lociweaver4000 n=$large ;;
    esac
    for prog in $progs; do
        for t in $counts; do
            series ours env OMP_NUM_THREADS=$t "$build/src/$prog"
            case $case in
                uniform250 | uniform500 | clustered250 | clustered500)
                    printf '%-18s %-16s %3s %16s %8s\n' "$case" "$prog" "$t" \
                        "$ours_ms ($ours_cpu)" "$ours_kb" ;;
                *)
                    limit=$(sed -n 7p "$data/$case.answers")
                    series lapack env OPENBLAS_NUM_THREADS=$t OMP_NUM_THREADS=$t \
                        "$build/bench/minimal" "$case.txt" "$limit" variables.txt eigenvalues.txt
                    printf '%-18s %-16s %3s %16s %8s %16s %8s %6s\n' "$case" "$prog" "$t" \
                        "$ours_ms ($ours_cpu)" "$ours_kb" "$lapack_ms ($lapack_cpu)" "$lapack_kb" \
                        "$(ratio "$ours_ms" "$lapack_ms")" ;;
            esac
        done
    done
    echo "  (load average $(cut -d' ' -f1-3 /proc/loadavg))"
done
echo "Load average after the whole runs: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# One thread for LAPACK and for our solver.
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1
if [ "$eigenbench" != 0 ]; then
    "$build/bench/eigenbench" "$data" --benchmark_repetitions="$reps" \
        --benchmark_report_aggregates_only=true
fi

# lociweaver-maps on one core, in the data directory (the picture is
# written there and removed).
(cd "$data" && taskset -c 0 "$build/bench/mapsbench" --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true)

# The table reader, in the data directory (its file is written there and
# removed).
(cd "$data" && "$build/bench/tablebench" --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true)

# The tree of lociweaver-threshold.
"$build/bench/treebench" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true

if [ "$kernels" != 0 ]; then
    echo
    echo "Kernels at $kernels sites (load average $(cut -d' ' -f1-3 /proc/loadavg)):"
    "$build/bench/kernels" "$kernels"
    echo "  (load average $(cut -d' ' -f1-3 /proc/loadavg))"
fi
