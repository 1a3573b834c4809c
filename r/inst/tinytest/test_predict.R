# The leading variables (first = K) against the whole analysis, and new
# sites (predict): at the analysed sites' own places they are those sites'
# rows, before and after the object was saved and loaded.
source("helpers.R")

set.seed(41)
xy <- cbind(runif(200, 0, 100), runif(200, 0, 60))
rownames(xy) <- seq_len(200)
whole <- lw_pcnm(xy, limit = 15, threads = 1)
lead <- lw_pcnm(xy, limit = 15, threads = 1, first = 6)
ev <- attr(whole, "eigenvalues")
expect_identical(dim(lead), c(200L, 6L), info = "six leading variables")
expect_true(all(abs(attr(lead, "eigenvalues") - ev[1:6]) <= 1e-9 * ev[1]), info = "the leading eigenvalues")
a <- unclass(whole)[, 1:6]
b <- unclass(lead)[, 1:6]
same <- vapply(1:6, function(j) min(max(abs(a[, j] - b[, j])), max(abs(a[, j] + b[, j]))), 0)
expect_true(all(same <= 1e-6), info = "the leading variables, each after its sign")
expect_identical(attr(lead, "first"), 6L, info = "first kept")
expect_true(grepl("leading", paste(capture.output(print(lead)), collapse = " ")), info = "print of leading")

# predict at the analysed sites: their own rows.  The formula divides by
# each eigenvalue, so a column's rounding grows as the largest eigenvalue
# over its own: the columns of eigenvalues below 1e-4 of the largest (the
# last of the whole analysis here, 5e-5 against some 430) are left out.
near <- function(p, v) {
    ev <- attr(v, "eigenvalues")[seq_len(ncol(v))]
    j <- ev >= 1e-4 * ev[1]
    max(abs(p[, j] - unclass(v)[rownames(p), j, drop = FALSE])) <= 1e-6
}
pick <- c(3, 50, 199)
for (v in list(whole, lead)) {
    p <- predict(v, xy[pick, ])
    expect_identical(dimnames(p), list(as.character(pick), colnames(v)), info = "the names of predict")
    expect_true(near(p, v), info = paste("predict at the analysed sites, first", format(attr(v, "first"))))
}
sup <- rep(c(FALSE, TRUE), c(190, 10))
s <- lw_pcnm(xy, limit = 15, supplementary = sup, threads = 1)
expect_true(near(predict(s, xy[pick[1:2], ]), s), info = "predict with supplementary sites")
s6 <- lw_pcnm(xy, limit = 15, supplementary = sup, threads = 1, first = 6)
expect_true(near(predict(s6, xy[pick[1:2], ]), s6), info = "predict with supplementary sites, first 6")

# select = "positive": the object's columns.
pos <- lw_pcnm(xy, limit = 15, select = "positive", threads = 1)
expect_identical(colnames(predict(pos, xy[1:2, ])), colnames(pos), info = "predict of the positive columns")

# Saved and loaded: the pointer is gone, the analysis run again, the same bits.
new <- cbind(c(10, 55.5, 90), c(5, 30, 59))
for (v in list(whole, s6)) {
    f <- tempfile(fileext = ".rds")
    saveRDS(v, f)
    w <- readRDS(f)
    unlink(f)
    expect_false(lociweaver:::lwalive(w), info = "no analysis after readRDS")
    expect_identical(predict(w, new), predict(v, new), info = "predict after readRDS")
}

# Bad new sites.
expect_identical(errorof(predict(whole, cbind(1:3, 1:3, 1:3))),
                 "predict: the new sites need 2 coordinates, as the analysed sites, not 3", info = "columns")
expect_identical(errorof(predict(whole, cbind(c(1, NA), c(2, 3)))),
                 "predict: the coordinates hold missing values (NA)", info = "NA")
expect_identical(errorof(lw_pcnm(xy, first = 0)),
                 "lw_pcnm: first must be a whole number of 1 or more, or NULL for every variable", info = "first 0")
expect_identical(errorof(lw_pcnm(xy, first = 2.5)),
                 "lw_pcnm: first must be a whole number of 1 or more, or NULL for every variable", info = "first 2.5")
expect_true(nzchar(errorof(predict(lw_polynomial(xy, 2), xy))), info = "no predict of monomials")

# Fewer positive than asked: the transect of 11 points, limit 1, has 7
# positive eigenvalues (the whole analysis); of 9 asked, 2 are not.
t7 <- attr(lw_pcnm(transect(11), limit = 1, threads = 1), "count")
expect_identical(t7, 7L, info = "the transect's positive eigenvalues")
got <- tryCatch(lw_pcnm(transect(11), limit = 1, threads = 1, first = 9), warning = conditionMessage)
expect_identical(got, "lw_pcnm: Of the 9 leading eigenvalues, 2 are not positive: 7 variables",
                 info = "the warning of too few positive")
