# PCNM variables against the transcripts of the console programs: the
# files of lw_write byte for byte, and the eigenvalues, sums, count and
# correlation of the programs' reports and consoles.
source("helpers.R")

# The shipped example (examples/sites.txt, in the package's extdata): 40
# main sites and 5 supplementary ones, limit 40,
# the Canoco file of the dialogue; from the matrix of the coordinates file,
# from the data frame of sites.csv with the supplementary sites among the
# main ones (the main sites' order kept), and from an sf object of points.
shipped <- coordsfile(system.file("extdata", "sites.txt", package = "lociweaver"))
want <- expected(e2e("example_shipped", "out", "files", "pcnm.txt"))
v <- lw_pcnm(shipped$xy, limit = 40, supplementary = shipped$sup, threads = 1)
expect_identical(written(v, 3), want, info = "example_shipped: the Canoco file")

csv <- read.csv(system.file("extdata", "sites.csv", package = "lociweaver"), row.names = 1)
mixed <- c(41, 1:10, 42:43, 11:30, 44, 31:40, 45)
w <- lw_pcnm(csv[mixed, c("x", "y")], limit = 40, supplementary = csv$supplementary[mixed],
             threads = 1)
expect_identical(written(w, 3), want,
                 info = "example_shipped from sites.csv, supplementary sites among the main")
expect_identical(rownames(w), paste("site", 1:40), info = "the row names of the main sites")

points <- lapply(seq_len(nrow(shipped$xy)),
                 function(i) structure(shipped$xy[i, ], class = c("XY", "POINT", "sfg")))
sfsites <- structure(list(geometry = structure(points, class = c("sfc_POINT", "sfc"))),
                     row.names = seq_len(nrow(shipped$xy)), sf_column = "geometry",
                     class = c("sf", "data.frame"))
s <- lw_pcnm(sfsites, limit = 40, supplementary = shipped$sup, threads = 1)
expect_identical(written(s, 3), want, info = "example_shipped from an sf object")

report <- readLines(e2e("example_shipped", "out", "files", "eigenvalues.txt"))
eig <- numbersafter(report, " Eigenvalues of the PCoA:")
expect_identical(length(attr(v, "eigenvalues")), 45L, info = "the eigenvalues' count")
expect_true(all(abs(attr(v, "eigenvalues") - eig) <= 5e-7), info = "the eigenvalues of the report")
expect_identical(attr(v, "count"), as.integer(numberson(report, " Number of positive eigenvalues:")),
                 info = "the count")
expect_identical(ncol(v), 25L, info = "the variables")
sums <- c(numberson(report, " Sum of positive eigenvalues"), numberson(report, " Sum of negative eigenvalues"),
          numberson(report, " Trace of Gower-centred matrix"))
expect_true(all(abs(attr(v, "sums") - sums) <= 5e-6), info = "the sums of the report")
expect_identical(sprintf("%.4f", attr(v, "correlation")),
     sprintf("%.4f", numberson(report, " Largest absolute correlation value between two spatial variables:")),
     info = "the largest correlation")
expect_identical(attr(v, "limit"), 40, info = "the limit")

# The transect of 11 points, limit 10: layouts 1 and 2, and the eigenvalues
# of the report.
for (layout in 1:2) {
    case <- paste0("pcnm_transect_limit10_layout", layout)
    t <- lw_pcnm(transect(11), limit = 10, threads = 1)
    expect_identical(written(t, layout), expected(e2e(case, "out", "files", "v.txt")), info = case)
    eig <- numbersafter(readLines(e2e(case, "out", "files", "r.txt")), " Eigenvalues of the PCoA:")
    expect_identical(length(eig), 11L, info = paste(case, "(the eigenvalues' count)"))
    expect_true(all(abs(attr(t, "eigenvalues") - eig) <= 5e-7), info = paste(case, "(the eigenvalues)"))
    expect_identical(is.na(attr(t, "correlation")), TRUE, info = "no correlation without supplementary sites")
}

# The worked example: the transect of 11 points, limit 1.  Its sums by
# hand from the eigenvalues: 80.380657, -14.017023 and 66.363634.
t <- lw_pcnm(transect(11), limit = 1, threads = 1)
expect_true(all(abs(attr(t, "sums") - c(80.380657, -14.017023, 66.363634)) <= 5e-7),
            info = "the sums of the worked example")

# Four main sites and a supplementary one, limit 20: one variable, and the
# correlation that the console shows.
c4 <- coordsfile(e2e("pcnm_supplementary_correlation", "in", "c.txt"))
k <- lw_pcnm(c4$xy, limit = 20, supplementary = c4$sup, threads = 1)
console <- readLines(e2e("pcnm_supplementary_correlation", "out", "stdout"))
expect_identical(ncol(k), as.integer(numberson(console, " yielded")), info = "the count of the console")
expect_identical(sprintf("%.4f", attr(k, "correlation")),
     sprintf("%.4f", numberson(console, " The largest (absolute) correlation value is")),
     info = "the correlation of the console")

# The limit of the tree ("mst", the default) is that of lw_threshold; the
# variables are those of the same limit given as a number.
m <- lw_pcnm(shipped$xy, supplementary = shipped$sup, threads = 1)
expect_identical(attr(m, "limit"), as.numeric(lw_threshold(shipped$xy)), info = "the tree's limit")
expect_identical(content(m), content(lw_pcnm(shipped$xy, limit = attr(m, "limit"), supplementary = shipped$sup,
                                  threads = 1)), info = "the variables of the tree's limit")

# The same bits with one thread and with two, at an order where the
# kernels share their work among the threads.
set.seed(26)
r <- cbind(runif(260, 0, 100), runif(260, 0, 50))
expect_identical(content(lw_pcnm(r, limit = 12, threads = 1)), content(lw_pcnm(r, limit = 12, threads = 2)),
                 info = "one thread and two")

# The data frame of the variables, for a regression: a response made of
# two of them gives their coefficients back.
d <- as.data.frame(v)
expect_identical(dim(d), c(40L, 25L), info = "the data frame")
y <- 2 * d$PCNM1 - 3 * d$PCNM7
fit <- lm(y ~ ., data = cbind(data.frame(y = y), d[, 1:8]))
expect_true(all(abs(coef(fit)[c("PCNM1", "PCNM7")] - c(2, -3)) < 1e-9), info = "the regression")
