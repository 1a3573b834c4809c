# Longitudes and latitudes (lonlat): the variables against a principal
# coordinate analysis in R of the same sites' geodesic distances by
# Vincenty's inverse formula (within a millimetre of the ellipsoid's
# geodesic for sites that are not nearly antipodal), sites across the
# meridian of 180 degrees, at a pole and two at one place, new sites at
# their own places, geographic sf objects, and the refusals.  A package
# built without GeographicLib refuses lonlat = TRUE: then only that is
# tested.
source("helpers.R")

# Vincenty's inverse formula on WGS84: the distance in km of the sites
# (lon1, lat1) and (lon2, lat2), in degrees.
vincenty <- function(lon1, lat1, lon2, lat2) {
    a <- 6378.137
    f <- 1 / 298.257223563
    b <- a * (1 - f)
    rad <- pi / 180
    u1 <- atan((1 - f) * tan(lat1 * rad))
    u2 <- atan((1 - f) * tan(lat2 * rad))
    l <- (lon2 - lon1) * rad
    lambda <- l
    for (i in 1:200) {
        sinsigma <- sqrt((cos(u2) * sin(lambda))^2 + (cos(u1) * sin(u2) - sin(u1) * cos(u2) * cos(lambda))^2)
        if (sinsigma == 0) return(0)
        cossigma <- sin(u1) * sin(u2) + cos(u1) * cos(u2) * cos(lambda)
        sigma <- atan2(sinsigma, cossigma)
        sinalpha <- cos(u1) * cos(u2) * sin(lambda) / sinsigma
        cos2alpha <- 1 - sinalpha^2
        cos2sm <- if (cos2alpha == 0) 0 else cossigma - 2 * sin(u1) * sin(u2) / cos2alpha
        cc <- f / 16 * cos2alpha * (4 + f * (4 - 3 * cos2alpha))
        previous <- lambda
        lambda <- l + (1 - cc) * f * sinalpha *
            (sigma + cc * sinsigma * (cos2sm + cc * cossigma * (-1 + 2 * cos2sm^2)))
        if (abs(lambda - previous) < 1e-13) break
    }
    usq <- cos2alpha * (a^2 - b^2) / b^2
    aa <- 1 + usq / 16384 * (4096 + usq * (-768 + usq * (320 - 175 * usq)))
    bb <- usq / 1024 * (256 + usq * (-128 + usq * (74 - 47 * usq)))
    ds <- bb * sinsigma * (cos2sm + bb / 4 * (cossigma * (-1 + 2 * cos2sm^2) -
                                               bb / 6 * cos2sm * (-3 + 4 * sinsigma^2) * (-3 + 4 * cos2sm^2)))
    b * aa * (sigma - ds)
}

# The PCNM eigenvalues and variables of the sites ll (longitude, latitude)
# at the limit (km), computed here: the truncated distances (4 limit above
# it), -1/2 of their squares centred by rows and columns, and eigen().
pcnmhere <- function(ll, limit) {
    n <- nrow(ll)
    d <- matrix(0, n, n)
    for (i in seq_len(n)) for (j in seq_len(n))
        if (i < j) d[i, j] <- d[j, i] <- vincenty(ll[i, 1], ll[i, 2], ll[j, 1], ll[j, 2])
    d[d > limit] <- 4 * limit
    a <- -0.5 * d^2
    g <- a - outer(rowMeans(a), colMeans(a), "+") + mean(a)
    eigen(g, symmetric = TRUE)
}

# Each column of v against that of w, both scaled to unit length, up to
# its sign: the largest difference.
unitdiff <- function(v, w) {
    max(vapply(seq_len(ncol(v)), function(j) {
        x <- v[, j] / sqrt(sum(v[, j]^2))
        y <- w[, j] / sqrt(sum(w[, j]^2))
        min(max(abs(x - y)), max(abs(x + y)))
    }, 0))
}

# 30 sites on both sides of the meridian of 180 degrees (longitudes given
# as -180..-175 and 175..180, and one as 181), near 62 degrees north, the
# last two at one place.
set.seed(7)
ll <- cbind(c(runif(14, 175, 180), runif(14, -180, -175), 181, 181),
            c(runif(28, 60, 64), 61.5, 61.5))
rownames(ll) <- paste0("s", seq_len(nrow(ll)))
limit <- 120
first <- try(lw_pcnm(ll, limit = limit, lonlat = TRUE, threads = 1), silent = TRUE)
if (inherits(first, "try-error")) {
    expect_true(grepl("lw_pcnm: this build has no geodesic distances (GeographicLib)",
                      conditionMessage(attr(first, "condition")), fixed = TRUE),
                info = "a package without GeographicLib refuses lonlat in words")
    exit_file("no GeographicLib in this build")
}
v <- first
here <- pcnmhere(ll, limit)
k <- attr(v, "count")
expect_identical(k, sum(here$values > 1e-9 * here$values[1]), info = "the count of positive eigenvalues")
expect_true(max(abs(attr(v, "eigenvalues")[1:k] - here$values[1:k])) <= 1e-6 * here$values[1],
            info = "the eigenvalues of the geodesic distances")
big <- here$values[1:k] > 1e-3 * here$values[1]
expect_true(unitdiff(unclass(v)[, big, drop = FALSE], here$vectors[, which(big), drop = FALSE]) <= 1e-6,
            info = "the variables of the geodesic distances")
expect_true(isTRUE(attr(v, "lonlat")), info = "lonlat kept")
expect_true(grepl("km (geodesic", paste(capture.output(print(v)), collapse = " "), fixed = TRUE),
            info = "print names the distances")
expect_true(max(abs(unclass(v)[29, ] - unclass(v)[30, ])) <= 1e-9 * max(abs(unclass(v))),
            info = "two sites at one place: one row, to rounding")

# A site at the north pole and sites around it on every side.
polar <- cbind(c(0, 0, 90, 180, -90, 45, -135), c(90, 89.5, 89.5, 89.5, 89.5, 89, 89))
p <- lw_pcnm(polar, limit = 80, lonlat = TRUE, threads = 1)
hp <- pcnmhere(polar, 80)
expect_true(max(abs(attr(p, "eigenvalues")[1:3] - hp$values[1:3])) <= 1e-6 * hp$values[1],
            info = "sites around a pole")

# The tree's limit: the longest edge of the minimum spanning tree of the
# geodesic distances, by Prim's method here.
tree <- function(ll) {
    n <- nrow(ll)
    d <- outer(seq_len(n), seq_len(n), Vectorize(function(i, j) vincenty(ll[i, 1], ll[i, 2], ll[j, 1], ll[j, 2])))
    joined <- 1L
    best <- d[1, ]
    longest <- 0
    while (length(joined) < n) {
        best[joined] <- Inf
        j <- which.min(best)
        longest <- max(longest, best[j])
        joined <- c(joined, j)
        best <- pmin(best, d[j, ])
    }
    longest
}
expect_true(abs(lw_threshold(ll, lonlat = TRUE) - tree(ll)) <= 1e-6, info = "the tree's limit in km")

# New sites at the analysed sites' places: their rows; the whole analysis
# and the leading variables.
near <- function(p, v) max(abs(p - unclass(v)[rownames(p), , drop = FALSE])) <= 1e-6 * max(abs(unclass(v)))
pick <- c(2, 17, 29)
expect_true(near(predict(v, ll[pick, ]), v), info = "predict at the analysed sites, lonlat")
lead <- lw_pcnm(ll, limit = limit, lonlat = TRUE, threads = 1, first = 3)
expect_true(near(predict(lead, ll[pick, ]), lead), info = "predict at the analysed sites, first 3")

# A geographic sf object: lonlat by default; a planar analysis refuses it.
points <- lapply(seq_len(nrow(ll)), function(i) structure(ll[i, ], class = c("XY", "POINT", "sfg")))
crs <- structure(list(input = "EPSG:4326", wkt = "GEOGCRS[\"WGS 84\",DATUM[\"World Geodetic System 1984\"]]"),
                 class = "crs")
sfsites <- structure(list(geometry = structure(points, crs = crs, class = c("sfc_POINT", "sfc"))),
                     row.names = rownames(ll), sf_column = "geometry", class = c("sf", "data.frame"))
s <- lw_pcnm(sfsites, limit = limit, threads = 1)
expect_identical(unclass(s)[, 1:k], unclass(v)[, 1:k], info = "a geographic sf object is lonlat")
planar <- lw_pcnm(ll, limit = 5, threads = 1)
expect_identical(errorof(predict(planar, sfsites)),
                 paste("predict: the sites are longitudes and latitudes (a geographic sf object),",
                       "which lonlat = FALSE would measure as planar coordinates"),
                 info = "a planar analysis refuses geographic new sites")

# Refusals.
cases <- list(
    list(call = quote(lw_pcnm(cbind(c(1, 2), c(91, 0)), limit = 10, lonlat = TRUE)), want = "latitude"),
    list(call = quote(lw_pcnm(cbind(c(1, 400), c(0, 0)), limit = 10, lonlat = TRUE)), want = "longitude"),
    list(call = quote(lw_pcnm(cbind(1:3), limit = 10, lonlat = TRUE)),
         want = "lw_pcnm: longitude and latitude are two coordinates, not 1"),
    list(call = quote(lw_pcnm(sfsites, limit = 10, lonlat = FALSE)), want = "lonlat = FALSE"),
    list(call = quote(lw_pcnm(ll, limit = 10, lonlat = NA)), want = "lw_pcnm: lonlat must be TRUE, FALSE or NULL"))
for (case in cases)
    expect_true(grepl(case$want, errorof(eval(case$call)), fixed = TRUE), info = deparse(case$call))
