# The functions of the package: argument checks in R's own words, one call
# of the library through .Call, and the result as an object of a small
# class.  The library's statuses come back as a list (status, message,
# results); a status other than 0 becomes an R error with the library's
# message, or an interrupt when R's interrupt cancelled the run.

# The coordinates of coords (a matrix, a data frame of numeric columns or
# an sf object of points) as a numeric matrix of 1 to 3 columns, row names
# kept or "1", "2", ...  Takes the caller's name for the messages.
sitematrix <- function(coords, caller) {
    if (inherits(coords, "sf")) {
        geometry <- coords[[attr(coords, "sf_column")]]
        if (!all(vapply(geometry, inherits, NA, what = "POINT")))
            stop(caller, ": an sf object of sites must hold points", call. = FALSE)
        names <- row.names(coords)
        coords <- do.call(rbind, lapply(geometry, as.numeric))
        rownames(coords) <- names
    }
    if (is.data.frame(coords)) {
        if (!all(vapply(coords, is.numeric, NA)))
            stop(caller, ": every column of the sites must be numeric", call. = FALSE)
        coords <- as.matrix(coords)
    }
    if (is.numeric(coords) && is.null(dim(coords)))
        coords <- matrix(coords, ncol = 1L, dimnames = list(names(coords), NULL))
    if (!is.matrix(coords) || !is.numeric(coords))
        stop(caller, ": the sites must be a numeric matrix, a data frame or an sf object of points",
             call. = FALSE)
    if (ncol(coords) < 1L || ncol(coords) > 3L)
        stop(caller, ": the sites need 1 to 3 coordinates, not ", ncol(coords), call. = FALSE)
    if (anyNA(coords))
        stop(caller, ": the coordinates hold missing values (NA)", call. = FALSE)
    storage.mode(coords) <- "double"
    if (is.null(rownames(coords))) rownames(coords) <- as.character(seq_len(nrow(coords)))
    coords
}

# Whether coords is an sf object in geographic coordinates (its crs a
# geographic one in WKT: longitude and latitude in degrees).
geographic <- function(coords) {
    if (!inherits(coords, "sf")) return(FALSE)
    crs <- attr(coords[[attr(coords, "sf_column")]], "crs")
    wkt <- if (is.list(crs)) crs$wkt else NULL
    is.character(wkt) && length(wkt) == 1L && grepl("^\\s*GEOG(CRS|CS)\\[", wkt)
}

# The lonlat of the caller (NULL: whether coords is an sf object in
# geographic coordinates) checked against the sites xy taken from coords.
lonlatof <- function(lonlat, coords, xy, caller) {
    geo <- geographic(coords)
    if (is.null(lonlat)) lonlat <- geo
    if (!is.logical(lonlat) || length(lonlat) != 1L || is.na(lonlat))
        stop(caller, ": lonlat must be TRUE, FALSE or NULL", call. = FALSE)
    if (geo && !lonlat)
        stop(caller, ": the sites are longitudes and latitudes (a geographic sf object), ",
             "which lonlat = FALSE would measure as planar coordinates", call. = FALSE)
    if (lonlat && ncol(xy) != 2L)
        stop(caller, ": longitude and latitude are two coordinates, not ", ncol(xy), call. = FALSE)
    lonlat
}

# The library's failure r (a list of status and message) as an R error, or
# as an interrupt (status -1) after a cancelled run.
failed <- function(r, caller) {
    if (r$status == -1L) {
        cond <- structure(class = c("interrupt", "condition"),
                          list(message = paste0(caller, ": interrupted"), call = NULL))
        signalCondition(cond)
        invokeRestart("abort")
    }
    stop(caller, ": ", r$message, call. = FALSE)
}

# The thread count of threads (NULL: the default) for the library.
threadcount <- function(threads) {
    if (is.null(threads)) {
        if (nzchar(Sys.getenv("_R_CHECK_LIMIT_CORES_")) &&
            !identical(tolower(Sys.getenv("_R_CHECK_LIMIT_CORES_")), "false"))
            return(2L)
        threads <- getOption("lociweaver.threads", 0L)
    }
    if (!is.numeric(threads) || length(threads) != 1L || is.na(threads) || threads < 0 ||
        threads != round(threads))
        stop("lw_pcnm: threads must be a whole number, 0 for every processor", call. = FALSE)
    as.integer(threads)
}

# The call of the library for lw_pcnm, first leading variables alone (0
# all), longitudes and latitudes when lonlat; raiseat (tests) raises SIGINT at that telling of the progress
# callback, told from the first step.
pcnmcall <- function(xy, nsup, limit, threads, bar, raiseat = 0L, first = 0L, lonlat = FALSE) {
    .Call(C_lwr_pcnm, xy, as.integer(nsup), isTRUE(lonlat), as.double(limit), as.integer(threads), bar,
          as.integer(raiseat), as.integer(first))
}

# The count of leading variables of first (NULL: 0, the whole analysis).
firstcount <- function(first) {
    if (is.null(first)) return(0L)
    if (!is.numeric(first) || length(first) != 1L || !is.finite(first) || first < 1 ||
        first != round(first) || first > .Machine$integer.max)
        stop("lw_pcnm: first must be a whole number of 1 or more, or NULL for every variable",
             call. = FALSE)
    as.integer(first)
}

# lw_pcnm: the PCNM variables of the sites coords (main sites, then those
# marked supplementary, given to the library in that order), limit a number
# or "mst", the first leading ones alone when first is a number, geodesic
# distances when lonlat (NULL: when coords is a geographic sf object);
# returns the lw_pcnm object (see ?lw_pcnm), which keeps its analysis for
# predict.
lw_pcnm <- function(coords, limit = "mst", supplementary = NULL, select = c("all", "positive"),
                    threads = NULL, verbose = TRUE, first = NULL, lonlat = NULL) {
    xy <- sitematrix(coords, "lw_pcnm")
    lonlat <- lonlatof(lonlat, coords, xy, "lw_pcnm")
    select <- match.arg(select)
    if (is.null(supplementary)) supplementary <- rep(FALSE, nrow(xy))
    if (!is.logical(supplementary) || length(supplementary) != nrow(xy) || anyNA(supplementary))
        stop("lw_pcnm: supplementary must be TRUE or FALSE for each site", call. = FALSE)
    if (sum(!supplementary) < 1L) stop("lw_pcnm: no main site", call. = FALSE)
    if (nrow(xy) < 2L) stop("lw_pcnm: a PCNM analysis needs two sites or more", call. = FALSE)
    if (identical(limit, "mst")) {
        limit <- NA_real_
    } else if (!is.numeric(limit) || length(limit) != 1L || !is.finite(limit) || limit <= 0) {
        stop("lw_pcnm: the limit must be a positive number or \"mst\"", call. = FALSE)
    }
    k <- firstcount(first)
    threads <- threadcount(threads)
    xy <- xy[c(which(!supplementary), which(supplementary)), , drop = FALSE]
    nsup <- sum(supplementary)
    r <- pcnmcall(xy, nsup, limit, threads, isTRUE(verbose) && interactive(), first = k,
                  lonlat = lonlat)
    if (r$status != 0L) failed(r, "lw_pcnm")
    if (k > 0L && r$missing > 0L)
        warning(sprintf("lw_pcnm: Of the %d leading eigenvalues, %d are not positive: %d variables",
                        k, r$missing, r$count), call. = FALSE)
    main <- seq_len(nrow(xy) - nsup)
    # The matrix taken out of the answer, so that its attributes are set in
    # place and not on a copy of it.
    v <- r$variables
    r$variables <- NULL
    dimnames(v) <- list(rownames(xy)[main], paste0("PCNM", seq_len(r$count)))
    moran <- r$moran
    dimnames(moran) <- list(colnames(v), c("I", "expected", "sd", "z"))
    columns <- seq_len(r$count)
    if (select == "positive") {
        keep <- !is.na(moran[, "I"]) & moran[, "I"] > moran[, "expected"]
        v <- v[, keep, drop = FALSE]
        moran <- moran[keep, , drop = FALSE]
        columns <- columns[keep]
    }
    attr(v, "eigenvalues") <- r$eigenvalues
    attr(v, "limit") <- r$limit
    attr(v, "count") <- r$count
    attr(v, "moran") <- moran
    attr(v, "correlation") <- if (nsup > 0) r$correlation else NA_real_
    attr(v, "sums") <- sumsof(r$sums)
    attr(v, "coords") <- xy[main, , drop = FALSE]
    attr(v, "supplementary") <- xy[-main, , drop = FALSE]
    attr(v, "first") <- if (k > 0L) k else NULL
    attr(v, "lonlat") <- lonlat
    attr(v, "threads") <- threads
    attr(v, "columns") <- columns
    attr(v, "analysis") <- r$analysis
    class(v) <- "lw_pcnm"
    v
}

sumsof <- function(s) c(positive = s[1], negative = s[2], trace = s[3])

# lw_threshold: the tree's limit of the sites coords, with its decimal as
# the attribute text.
lw_threshold <- function(coords, lonlat = NULL) {
    xy <- sitematrix(coords, "lw_threshold")
    lonlat <- lonlatof(lonlat, coords, xy, "lw_threshold")
    if (nrow(xy) < 2L) stop("lw_threshold: the tree's limit needs two sites or more", call. = FALSE)
    r <- .Call(C_lwr_threshold, xy, 0L, lonlat)
    if (r$status != 0L) failed(r, "lw_threshold")
    structure(r$limit, text = r$text)
}

# lw_polynomial: the monomials of the order of the sites coords, an
# lw_polynomial object.
lw_polynomial <- function(coords, order) {
    xy <- sitematrix(coords, "lw_polynomial")
    if (!is.numeric(order) || length(order) != 1L || is.na(order) || !(order %in% 2:5))
        stop("lw_polynomial: the order must be 2, 3, 4 or 5", call. = FALSE)
    r <- .Call(C_lwr_polynomial, xy, as.integer(order))
    if (r$status != 0L) failed(r, "lw_polynomial")
    v <- r$variables
    dimnames(v) <- list(rownames(xy), monomialnames(ncol(xy), order))
    structure(v, class = "lw_polynomial", order = as.integer(order), ncoord = ncol(xy))
}

# The names of the monomials of the order, in the library's storage order:
# x, x^2, ... for one coordinate; for two, the power of x outer and that of
# y inner (y, y^2, x, x*y, x^2 for order 2).
monomialnames <- function(ncoord, order) {
    power <- function(v, k) if (k == 0) character() else if (k == 1) v else paste0(v, "^", k)
    if (ncoord == 1L) return(vapply(seq_len(order), function(k) power("x", k), ""))
    out <- character()
    for (a in 0:order)
        for (b in 0:(order - a))
            if (a + b > 0) out <- c(out, paste(c(power("x", a), power("y", b)), collapse = "*"))
    out
}

# lw_write: writes x (lw_pcnm or lw_polynomial) to the new file (replaced
# when overwrite) by the dialogue's writer of the layout; returns file.
lw_write <- function(x, file, layout = 1:3, overwrite = FALSE) {
    if (inherits(x, "lw_pcnm")) {
        method <- 1L
        order <- 0L
        ncoord <- ncol(attr(x, "coords"))
    } else if (inherits(x, "lw_polynomial")) {
        method <- 2L
        order <- attr(x, "order")
        ncoord <- attr(x, "ncoord")
    } else {
        stop("lw_write: x must come from lw_pcnm or lw_polynomial", call. = FALSE)
    }
    if (missing(layout)) layout <- 1L
    if (!is.numeric(layout) || length(layout) != 1L || !(layout %in% 1:3))
        stop("lw_write: the layout must be 1, 2 or 3", call. = FALSE)
    if (!is.character(file) || length(file) != 1L || is.na(file) || !nzchar(file))
        stop("lw_write: file must be a file name", call. = FALSE)
    if (file.exists(file)) {
        if (!isTRUE(overwrite))
            stop("lw_write: ", file, " exists (overwrite = TRUE replaces it)", call. = FALSE)
        unlink(file)
    }
    v <- unclass(x)
    attributes(v) <- list(dim = dim(x))
    r <- .Call(C_lwr_write, v, file, as.integer(layout), method, as.integer(ncoord), as.integer(order))
    if (r$status != 0L) failed(r, "lw_write")
    invisible(file)
}
