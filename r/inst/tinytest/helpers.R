# What the test files share (each sources this file; tinytest runs them
# in this folder): the transcripts of the console programs (copied into
# e2e/ here by tools/r-package: their inputs, and the files and output
# that the programs wrote), readers of their files, and the sites of the
# dialogue's built-in designs.

# A file of the transcript case.
e2e <- function(case, ...) file.path("e2e", case, ...)

# The bytes of a file; an expected file of the transcripts with the line
# ends that the programs write on this platform (CR LF on Windows).
bytes <- function(path) readBin(path, "raw", file.size(path))
expected <- function(path) {
    b <- bytes(path)
    if (.Platform$OS.type == "windows") b <- charToRaw(gsub("\n", "\r\n", rawToChar(b), fixed = TRUE))
    b
}

# The sites of a coordinates file of the simple form: a header of the
# counts of objects, coordinates and supplementary objects, then a line per
# site of its coordinates and a label.  Returns the matrix (labels as row
# names) and the logical vector of the supplementary sites (the last ones).
coordsfile <- function(path) {
    l <- readLines(path)
    h <- as.integer(strsplit(trimws(l[1]), "[[:space:]]+")[[1]][1:3])
    w <- strsplit(trimws(l[1 + seq_len(h[1] + h[3])]), "[[:space:]]+")
    xy <- t(vapply(w, function(r) as.numeric(r[seq_len(h[2])]), numeric(h[2])))
    if (h[2] == 1L) xy <- matrix(xy, ncol = 1L)
    rownames(xy) <- vapply(w, function(r) paste(r[-seq_len(h[2])], collapse = " "), "")
    list(xy = xy, sup = rep(c(FALSE, TRUE), h[c(1, 3)]))
}

# The dialogue's designs: a transect of the points 1, ..., n; a grid of nx
# by ny points, X varying fastest.
transect <- function(n) cbind(seq_len(n))
grid <- function(nx, ny) cbind(rep(seq_len(nx), ny), rep(seq_len(ny), each = nx))

# The bytes of the file that lw_write makes of v in the layout.
written <- function(v, layout) {
    f <- tempfile()
    on.exit(unlink(f))
    lw_write(v, f, layout = layout)
    bytes(f)
}

# The numbers of the lines after the line that starts with prefix, up to
# the first line, after some, that holds none.
numbersafter <- function(lines, prefix) {
    at <- which(startsWith(lines, prefix))[1]
    out <- numeric()
    for (l in lines[-seq_len(at)]) {
        v <- suppressWarnings(as.numeric(strsplit(trimws(l), "[[:space:]]+")[[1]]))
        v <- v[!is.na(v)]
        if (!length(v) && length(out)) break
        out <- c(out, v)
    }
    out
}

# The message of the error of expr, or "" when there is none.
errorof <- function(expr) tryCatch({
    expr
    ""
}, error = conditionMessage)

# Words with their runs of blanks made one blank, trimmed.
squash <- function(s) gsub(" +", " ", trimws(s))

# The numbers on the first line of lines that starts with prefix, after it.
numberson <- function(lines, prefix) {
    l <- lines[startsWith(lines, prefix)][1]
    v <- suppressWarnings(as.numeric(strsplit(trimws(substring(l, nchar(prefix) + 1)), "[[:space:]]+")[[1]]))
    v[!is.na(v)]
}

# The variables of an lw_pcnm object and what they are, without the
# analysis kept for predict and the threads that ran it.
content <- function(v) {
    attr(v, "analysis") <- NULL
    attr(v, "threads") <- NULL
    unclass(v)
}
