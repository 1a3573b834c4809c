# Bad inputs and the library's stops as R errors with their messages, and
# an interrupt of a run: R's interrupt, the run cancelled, and the next run
# as if none had been.
source("helpers.R")

xy <- cbind(c(0, 1, 2, 4), c(0, 1, 0, 3))
na <- xy
na[3, 2] <- NA
inf <- xy
inf[2, 1] <- Inf
limitwords <- "lw_pcnm: the limit must be a positive number or \"mst\""
cases <- list(
    list(quote(lw_pcnm(na, limit = 2)), "lw_pcnm: the coordinates hold missing values (NA)"),
    list(quote(lw_pcnm(inf, limit = 2)), "lw_pcnm: coordinate 1 of site 2 is not a finite number"),
    list(quote(lw_pcnm(xy[1, , drop = FALSE], limit = 2)), "lw_pcnm: a PCNM analysis needs two sites or more"),
    list(quote(lw_pcnm(xy, limit = 0)), limitwords),
    list(quote(lw_pcnm(xy, limit = -1)), limitwords),
    list(quote(lw_pcnm(xy, limit = NA)), limitwords),
    list(quote(lw_pcnm(xy, limit = "tree")), limitwords),
    list(quote(lw_pcnm(xy, limit = c(1, 2))), limitwords),
    list(quote(lw_pcnm(cbind(xy, xy))), "lw_pcnm: the sites need 1 to 3 coordinates, not 4"),
    list(quote(lw_pcnm(data.frame(x = 1:3, y = letters[1:3]))), "lw_pcnm: every column of the sites must be numeric"),
    list(quote(lw_pcnm(xy, supplementary = c(TRUE, FALSE))), "lw_pcnm: supplementary must be TRUE or FALSE for each site"),
    list(quote(lw_threshold(xy[1, , drop = FALSE])), "lw_threshold: the tree's limit needs two sites or more"),
    list(quote(lw_threshold(na)), "lw_threshold: the coordinates hold missing values (NA)"),
    list(quote(lw_polynomial(xy, 6)), "lw_polynomial: the order must be 2, 3, 4 or 5"),
    list(quote(lw_polynomial(cbind(xy, 1:4), 2)), "lw_polynomial: a polynomial is computed of one or two coordinates, not 3"),
    list(quote(lw_write(xy, tempfile())), "lw_write: x must come from lw_pcnm or lw_polynomial"),
    list(quote(lw_write(lw_polynomial(transect(5), 2), tempfile(), layout = 4)), "lw_write: the layout must be 1, 2 or 3"))
for (c in cases) expect_identical(errorof(eval(c[[1]])), c[[2]], info = deparse(c[[1]]))

# The stops of the dialogue, in the words of its console (blanks aside).
console <- function(case) squash(readLines(e2e(case, "out", "stdout")))
after <- function(lines, first, k) paste(lines[which(lines == first)[1] + 0:(k - 1)], collapse = " ")

same.place <- coordsfile(e2e("ranging_same_place", "in", "c.txt"))
expect_identical(errorof(lw_pcnm(same.place$xy, limit = 1)),
     paste("lw_pcnm:", tail(console("ranging_same_place"), 1)), info = "all sites at one place")

zero <- coordsfile(e2e("pcnm_zero_variance_stop", "in", "c.txt"))
expect_identical(squash(errorof(lw_pcnm(zero$xy, limit = 100, supplementary = zero$sup))),
     paste("lw_pcnm:", tail(squash(readLines(e2e("pcnm_zero_variance_stop", "out", "files", "r.txt"))), 1)),
     info = "a variable of zero variance")

refused <- console("pcnm_refused_then_accepted")
expect_identical(errorof(lw_pcnm(transect(11), limit = 0.5)),
     paste("lw_pcnm:", after(refused, "There are too many PCNMs: R-square=1, not signif.", 2)),
     info = "too many PCNM variables")

order <- console("poly_order_refusals")
expect_identical(squash(errorof(lw_polynomial(grid(3, 3), 3))),
     paste("lw_polynomial:", after(order, "A polynomial of order 3 leads to a spatial", 3)),
     info = "too many monomials")

# lw_write refuses to replace a file unless told to.
f <- tempfile()
writeLines("kept", f)
expect_identical(errorof(lw_write(lw_polynomial(transect(5), 2), f)),
     paste0("lw_write: ", f, " exists (overwrite = TRUE replaces it)"), info = "an existing file")
expect_identical(readLines(f), "kept", info = "the existing file kept")
lw_write(lw_polynomial(transect(5), 2), f, overwrite = TRUE)
expect_identical(bytes(f), expected(e2e("poly_transect5_order2_layout1", "out", "files", "v.txt")),
                 info = "the file replaced")
unlink(f)

# An interrupt: SIGINT raised from the first telling of the progress
# callback is R's interrupt, which the callback takes (R_ToplevelExec) and
# answers by cancelling the run; lw_pcnm turns the cancellation into R's
# interrupt condition; the next run gives the bits of the transcript.
if (.Platform$OS.type == "unix") {
    shipped <- coordsfile(system.file("extdata", "sites.txt", package = "lociweaver"))
    main <- c(which(!shipped$sup), which(shipped$sup))
    r <- lociweaver:::pcnmcall(shipped$xy[main, ], 5L, 40, 1L, FALSE, raiseat = 1L)
    expect_identical(r$status, -1L, info = "the status of a run cancelled by an interrupt")
    got <- tryCatch(lociweaver:::failed(r, "lw_pcnm"), interrupt = function(e) conditionMessage(e))
    expect_identical(got, "lw_pcnm: interrupted", info = "the interrupt condition")
    v <- lw_pcnm(shipped$xy, limit = 40, supplementary = shipped$sup, threads = 1)
    expect_identical(written(v, 3), expected(e2e("example_shipped", "out", "files", "pcnm.txt")),
                     info = "the run after an interrupt")
}
