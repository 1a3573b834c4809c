# Monomials and the tree's limit against the transcripts: the files of the
# dialogue byte for byte, and the answers of lociweaver-threshold.
source("helpers.R")

cases <- list(
    list("poly_transect5_order2_layout1", transect(5), 2, 1),
    list("poly_transect5_order2_canoco", transect(5), 2, 3),
    list("poly_transect3_order5", transect(3), 5, 1),
    list("poly_grid3x3_order2_layout2", grid(3, 3), 2, 2))
for (c in cases) {
    p <- lw_polynomial(c[[2]], c[[3]])
    expect_identical(written(p, c[[4]]), expected(e2e(c[[1]], "out", "files", "v.txt")), info = c[[1]])
}
expect_identical(colnames(lw_polynomial(grid(3, 3), 2)), c("y", "y^2", "x", "x*y", "x^2"),
                 info = "the monomials' names")

for (case in c("threshold_edge_one_point_one", "threshold_edge_point_three", "threshold_edge_root_two",
               "threshold_supplementary_edge")) {
    s <- coordsfile(e2e(case, "in", "s.txt"))
    answer <- sub("^Answer to the truncation question: ", "",
                  grep("^Answer to the truncation question: ", readLines(e2e(case, "out", "stdout")), value = TRUE))
    t <- lw_threshold(s$xy)
    expect_identical(attr(t, "text"), answer, info = case)
    expect_identical(as.numeric(t), as.numeric(answer), info = paste(case, "(number)"))
}
