# Sourced by the benchmark scripts (with $data and $case set).
# timed FORMAT DIR COMMAND...: runs COMMAND in the fresh directory DIR
# holding the case's coordinates file, the case's answers on standard
# input, under /usr/bin/time -f FORMAT; prints its real time in ms and then
# the last line of /usr/bin/time's report.
timed() {
    format=$1
    dir=$2
    shift 2
    rm -rf "$dir"
    mkdir "$dir"
    cp "$data/$case.txt" "$dir/"
    start=$(date +%s%N)
    (cd "$dir" && setsid -w /usr/bin/time -f "$format" -o "$dir.time" "$@" < "$data/$case.answers" \
        > "$dir.out" 2> "$dir.err") || { echo "run failed: $*" >&2; cat "$dir.err" >&2; exit 1; }
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 )) $(tail -n 1 "$dir.time")"
}
