# Methods of the classes lw_pcnm and lw_polynomial: printing, a summary,
# a data frame of the variables, and the maps of the variables and the
# chart of their Moran's I in base graphics.

# The variables of x alone: a plain numeric matrix with its dimension names.
plainmatrix <- function(x) {
    v <- unclass(x)
    attributes(v) <- list(dim = dim(x), dimnames = dimnames(x))
    v
}

# The limit as printed: with its unit and the distances for longitudes and
# latitudes.
limittext <- function(limit, lonlat)
    if (isTRUE(lonlat)) paste(format(limit), "km (geodesic distances on the WGS84 ellipsoid)") else format(limit)

# Prints the counts and the first variables of x; returns x invisibly.
print.lw_pcnm <- function(x, ...) {
    cat(sprintf("PCNM variables: %d of %d sites, limit %s; %d variable%s kept of %d%s\n",
                ncol(x), nrow(x), limittext(attr(x, "limit"), attr(x, "lonlat")), ncol(x),
                if (ncol(x) == 1L) "" else "s", attr(x, "count"),
                if (is.null(attr(x, "first"))) "" else sprintf(" (the %d leading asked for)", attr(x, "first"))))
    if (!is.na(attr(x, "correlation")))
        cat(sprintf("largest absolute correlation between two variables: %.4f\n",
                    attr(x, "correlation")))
    shown <- min(ncol(x), 6L)
    if (shown > 0L) print(utils::head(plainmatrix(x)[, seq_len(shown), drop = FALSE]), ...)
    if (ncol(x) > shown) cat("... and", ncol(x) - shown, "more variables\n")
    invisible(x)
}

# The counts, sums, Moran's I and correlation of object, to print.
summary.lw_pcnm <- function(object, ...) {
    m <- attr(object, "moran")
    ev <- attr(object, "eigenvalues")
    structure(list(sites = nrow(object), limit = attr(object, "limit"),
                   count = attr(object, "count"), kept = ncol(object),
                   eigenvalues = ev[seq_len(attr(object, "count"))], sums = attr(object, "sums"),
                   moran = m, correlation = attr(object, "correlation"), first = attr(object, "first"),
                   lonlat = isTRUE(attr(object, "lonlat"))),
              class = "summary.lw_pcnm")
}

# Prints the summary x; returns it invisibly.
print.summary.lw_pcnm <- function(x, ...) {
    cat(sprintf("PCNM analysis of %d main sites, truncation limit %s\n", x$sites, limittext(x$limit, x$lonlat)))
    if (is.null(x$first))
        cat(sprintf("positive eigenvalues: %d (sum %s); negative sum %s; trace %s\n", x$count,
                    format(x$sums[["positive"]]), format(x$sums[["negative"]]), format(x$sums[["trace"]])))
    else
        cat(sprintf("leading eigenvalues: %d positive of the %d asked for (sum %s); trace %s\n", x$count,
                    x$first, format(x$sums[["positive"]]), format(x$sums[["trace"]])))
    if (!is.na(x$correlation))
        cat(sprintf("largest absolute correlation between two variables: %.4f\n", x$correlation))
    cat(sprintf("variables kept: %d\n", x$kept))
    if (x$kept > 0L) print(x$moran, ...)
    invisible(x)
}

# The variables of x as a data frame, one column per variable.
as.data.frame.lw_pcnm <- function(x, row.names = NULL, optional = FALSE, ...) {
    as.data.frame(plainmatrix(x), row.names = row.names, optional = optional, ...)
}

# Prints the order and the first rows of the monomials x.
print.lw_polynomial <- function(x, ...) {
    cat(sprintf("Monomials of a polynomial of order %d: %d of %d sites\n", attr(x, "order"),
                ncol(x), nrow(x)))
    print(utils::head(plainmatrix(x)), ...)
    invisible(x)
}

as.data.frame.lw_polynomial <- as.data.frame.lw_pcnm

# Maps of the variables which of x (a panel each), or the Moran chart;
# returns x invisibly (the Moran matrix for which = "moran").
plot.lw_pcnm <- function(x, which = seq_len(min(ncol(x), 6L)), ...) {
    if (identical(which, "moran")) return(invisible(moranchart(x, ...)))
    if (!is.numeric(which) || length(which) < 1L || anyNA(which) || any(which < 1 | which > ncol(x)))
        stop("plot: which must be \"moran\" or numbers of variables from 1 to ", ncol(x),
             call. = FALSE)
    xy <- attr(x, "coords")
    px <- xy[, 1]
    py <- if (ncol(xy) > 1L) xy[, 2] else rep(0, nrow(xy))
    k <- length(which)
    cols <- ceiling(sqrt(k))
    old <- par(mfrow = c(ceiling(k / cols), cols), mar = c(1, 1, 2, 1))
    on.exit(par(old))
    v <- plainmatrix(x)
    for (j in which) sitemap(px, py, v[, j], colnames(v)[j], ...)
    invisible(x)
}

# One map: a disc per site at (px, py), black where value is positive and
# white where it is negative, its area proportional to the value's size.
sitemap <- function(px, py, value, label, ...) {
    plot.new()
    plot.window(extendrange(px, f = 0.08), extendrange(py, f = 0.08), asp = 1)
    size <- max(abs(value))
    radius <- if (size > 0) sqrt(abs(value) / size) else rep(0, length(value))
    symbols(px, py, circles = radius, inches = 0.12, add = TRUE,
            bg = ifelse(value > 0, "black", "white"), fg = "black", ...)
    box()
    title(main = label)
}

# The Moran's I of each variable with its expectation.
moranchart <- function(x, ...) {
    m <- attr(x, "moran")
    k <- nrow(m)
    if (k == 0L) stop("plot: there is no variable", call. = FALSE)
    plot(seq_len(k), m[, "I"], type = "h", lwd = 3, xlab = "variable", ylab = "Moran's I",
         ylim = range(c(m[, "I"], m[, "expected"], 0), na.rm = TRUE),
         main = "Moran's I of the PCNM variables", xaxt = "n", ...)
    axis(1, at = seq_len(k), labels = seq_len(k))
    lines(seq_len(k), m[, "expected"], lty = 2)
    abline(h = 0, col = "grey")
    m
}

# The variables of the new sites newdata (coordinates as those of lw_pcnm)
# in the analysis of object, by the library's formula for an added site:
# a numeric matrix of a row per new site and the columns of object.  The
# analysis is the one kept in object; when it is gone (object saved and
# loaded), it is run again from the sites, limit, leading count and
# threads that object holds, which gives it the same bits.
predict.lw_pcnm <- function(object, newdata, ...) {
    if (!inherits(object, "lw_pcnm") || is.null(attr(object, "coords")) || is.null(attr(object, "columns")))
        stop("predict: object must come from lw_pcnm", call. = FALSE)
    if (missing(newdata)) stop("predict: newdata, the new sites, is missing", call. = FALSE)
    xy <- sitematrix(newdata, "predict")
    lonlatof(isTRUE(attr(object, "lonlat")), newdata, xy, "predict")
    ncoord <- ncol(attr(object, "coords"))
    if (ncol(xy) != ncoord)
        stop(sprintf("predict: the new sites need %d coordinate%s, as the analysed sites, not %d", ncoord,
                     if (ncoord == 1L) "" else "s", ncol(xy)), call. = FALSE)
    p <- attr(object, "analysis")
    if (!lwalive(object)) p <- rerun(object)
    r <- .Call(C_lwr_place, p, xy)
    if (r$status != 0L) failed(r, "predict")
    v <- r$variables[, attr(object, "columns"), drop = FALSE]
    dimnames(v) <- list(rownames(xy), colnames(object))
    v
}

# The external pointer of the analysis of object run again from what it
# holds: its main and supplementary sites in the library's order, its
# limit as applied, its leading count and its threads.
rerun <- function(object) {
    sup <- attr(object, "supplementary")
    xy <- rbind(attr(object, "coords"), sup)
    k <- attr(object, "first")
    r <- pcnmcall(xy, nrow(sup), attr(object, "limit"), attr(object, "threads"), FALSE,
                  first = if (is.null(k)) 0L else k, lonlat = isTRUE(attr(object, "lonlat")))
    if (r$status != 0L) failed(r, "predict")
    r$analysis
}

# Whether the analysis of the lw_pcnm object v is still kept in it.
lwalive <- function(v) !is.null(attr(v, "analysis")) && .Call(C_lwr_alive, attr(v, "analysis"))
