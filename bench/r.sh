#!/bin/sh
# bench/r.sh [build-directory]
#
# lw_pcnm of the R package against the console programs on the benchmark's
# coordinates files (bench/gensites): for each case and thread count, in
# turn, lociweaver-vars (the library's computation, --limit L --layout 1),
# lociweaver-large (the dialogue, the case's answers) and an Rscript that
# reads the file, calls lw_pcnm with the same limit and threads and writes
# the variables with lw_write (layout 1); RUNS rounds (default 3).  Each run
# in a fresh working directory under /usr/bin/time.  Prints, medians: the
# real time of each whole run in ms, and for R also the time of lw_pcnm and
# lw_write (inside R) and the run of an Rscript that does everything but
# them (R's start, the package loaded, the file read);
# the peak resident memory of each, MB; the size of the returned matrix,
# MB; and whether R wrote the file of lociweaver-vars byte for byte.
# Environment: RUNS, THREADS (default "1 2"), CASES (default uniform1000
# uniform4000).
# Needs cmake, g++, R with a C++17 compiler, /usr/bin/time and setsid.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${RUNS:-3}
threadcounts=${THREADS:-"1 2"}
cases=${CASES:-"uniform1000 uniform4000"}

mkdir -p "$build"
build=$(cd "$build" && pwd)
log=$build/r-build.log
{ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLOCIWEAVER_TESTS=OFF -DLOCIWEAVER_BENCH=ON &&
  cmake --build "$build" -j2 --target lociweaver-vars lociweaver-large gensites &&
  "$root/tools/r-package" "$build/r" &&
  rm -rf "$build/rlib" && mkdir -p "$build/rlib" &&
  MAKEFLAGS=-j2 R CMD INSTALL --library="$build/rlib" "$build"/r/lociweaver_*.tar.gz; } \
    > "$log" 2>&1 || { cat "$log"; exit 1; }

data=$build/benchdata
mkdir -p "$data"
"$build/bench/gensites" "$data"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The R side: Rscript r.R FILE LIMIT THREADS [none]: reads the coordinates
# file (a header of the counts, then the coordinates), and unless "none"
# computes and writes variables.txt; writes the time of lw_pcnm and
# lw_write, ms (the console program's work but its start and its
# reading), to call.ms and the size of the matrix, bytes, to matrix.bytes.
cat > "$scratch/r.R" <<'END'
args <- commandArgs(TRUE)
library(lociweaver)
h <- scan(args[1], what = integer(), n = 3, quiet = TRUE)
xy <- as.matrix(read.table(args[1], skip = 1, nrows = h[1] + h[3]))
sup <- rep(c(FALSE, TRUE), h[c(1, 3)])
if (length(args) < 4) {
    start <- proc.time()[["elapsed"]]
    v <- lw_pcnm(xy, limit = as.numeric(args[2]), supplementary = sup,
                 threads = as.integer(args[3]), verbose = FALSE)
    lw_write(v, "variables.txt", layout = 1)
    took <- proc.time()[["elapsed"]] - start
    writeLines(sprintf("%.0f", took * 1000), "call.ms")
    writeLines(sprintf("%.0f", 8 * prod(dim(v))), "matrix.bytes")
}
END

# timed DIR COMMAND...: the real time in ms and the peak resident memory
# in kB of COMMAND (bench/timed.sh).
. "$root/bench/timed.sh"
timedrun() { timed '%M' "$@"; }

median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2];
                                        else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
mb() { awk '{ printf "%.1f", $1 / 1024 }'; }

echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores for this process"
echo "Load average before the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-12s %7s | %9s %7s | %9s %7s | %9s %9s %7s | %9s %7s | %7s | %s\n' case threads \
    "vars ms" "MB" "large ms" "MB" "R ms" "in R" "MB" "R base" "MB" "matrix" "same bits"
export R_LIBS="$build/rlib"
for case in $cases; do
    limit=$(sed -n 7p "$data/$case.answers")
    for t in $threadcounts; do
        for f in va vm la lm ra rc rm ba bm; do : > "$scratch/$f"; done
        same=yes
        for k in $(seq "$runs"); do
            a=$(timedrun "$scratch/vars" "$build/src/lociweaver-vars" --limit "$limit" --layout 1 \
                --threads "$t" "$case.txt" variables.txt)
            l=$(OMP_NUM_THREADS=$t timedrun "$scratch/large" "$build/src/lociweaver-large")
            r=$(timedrun "$scratch/r" Rscript --vanilla "$scratch/r.R" "$case.txt" "$limit" "$t")
            b=$(timedrun "$scratch/base" Rscript --vanilla "$scratch/r.R" "$case.txt" "$limit" "$t" none)
            echo "$a" | cut -d' ' -f1 >> "$scratch/va"
            echo "$a" | cut -d' ' -f2 >> "$scratch/vm"
            echo "$l" | cut -d' ' -f1 >> "$scratch/la"
            echo "$l" | cut -d' ' -f2 >> "$scratch/lm"
            echo "$r" | cut -d' ' -f1 >> "$scratch/ra"
            echo "$r" | cut -d' ' -f2 >> "$scratch/rm"
            echo "$b" | cut -d' ' -f1 >> "$scratch/ba"
            echo "$b" | cut -d' ' -f2 >> "$scratch/bm"
            cat "$scratch/r/call.ms" >> "$scratch/rc"
            cmp -s "$scratch/vars/variables.txt" "$scratch/r/variables.txt" || same=no
            cmp -s "$scratch/vars/variables.txt" "$scratch/large/variables.txt" || same=no
        done
        printf '%-12s %7s | %9s %7s | %9s %7s | %9s %9s %7s | %9s %7s | %7s | %s\n' "$case" "$t" \
            "$(median < "$scratch/va")" "$(median < "$scratch/vm" | mb)" \
            "$(median < "$scratch/la")" "$(median < "$scratch/lm" | mb)" \
            "$(median < "$scratch/ra")" "$(median < "$scratch/rc")" "$(median < "$scratch/rm" | mb)" \
            "$(median < "$scratch/ba")" "$(median < "$scratch/bm" | mb)" \
            "$(awk '{ printf "%.1f", $1 / 1048576 }' "$scratch/r/matrix.bytes")" "$same"
        echo "  (load average $(cut -d' ' -f1-3 /proc/loadavg))"
    done
done
