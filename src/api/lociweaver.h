/* The computation of Lociweaver as a library, for other programs to call:
 * the sites, the method and the options of one analysis go into a handle,
 * lw_run computes, and the results are read back from the handle.  Every
 * number is the one the dialogue programs write for the same sites and
 * limit, to the bit.
 *
 * The library never ends the process, never writes to a console or a file,
 * asks nothing and reads no environment variable.  Every call returns a
 * status (LW_OK or a reason); lw_message tells the reason in words.  Two
 * handles never touch each other: two analyses may run at the same time on
 * two threads of a program, each giving the bits it gives alone.  One
 * handle is used by one thread at a time (even its results: lw_moran
 * computes its table at the first call).
 *
 * Matrices are column-major doubles: element (i, j), counted from 0, of a
 * matrix of r rows is m[i + j * r]. */
#ifndef LOCIWEAVER_API_LOCIWEAVER_H
#define LOCIWEAVER_API_LOCIWEAVER_H

#ifdef __cplusplus
extern "C" {
#endif

/* The statuses of a call. */
enum {
    LW_OK = 0,
    LW_BADINPUT = 1,     /* an argument that cannot be used */
    LW_SAMEPLACE = 2,    /* every site at one place: no variable can be built */
    LW_TOOWIDE = 3,      /* coordinates whose range overflows */
    LW_TOOMANY = 4,      /* as many PCNM variables as sites minus one: a lower limit is needed */
    LW_ITERATIONS = 5,   /* an eigenvalue needed more than 50 iterations */
    LW_ZEROVARIANCE = 6, /* a PCNM variable of zero variance over the main sites */
    LW_NOMEMORY = 7,     /* the system refused the storage */
    LW_NOTRUN = 8,       /* results asked for before a successful lw_run */
    LW_CANCELLED = 9,    /* the progress callback asked the analysis to stop */
    LW_UNCONVERGED = 10, /* the leading eigenpairs (lw_first) did not converge */
    LW_RESIDUAL = 11,    /* a leading eigenpair (lw_first) failed its residual check */
    LW_NOGEODESIC = 12   /* longitude and latitude asked of a build without GeographicLib */
};

typedef struct lw_analysis lw_analysis;

/* lw_new: a new, empty analysis, or null when there is no memory for it.
 * lw_free: releases it and everything it holds (null is accepted). */
lw_analysis* lw_new(void);
void lw_free(lw_analysis* a);

/* lw_message: the words of the last status other than LW_OK, or "". */
const char* lw_message(const lw_analysis* a);

/* lw_sites: the n main sites, then nsup supplementary ones (they take part
 * in the ranging and the PCNM analysis, but get no row of the variables),
 * ncoord (1 to 3) coordinates each: xy holds n + nsup rows and ncoord
 * columns, copied.  n >= 1, nsup >= 0; every value finite. */
int lw_sites(lw_analysis* a, int n, int nsup, int ncoord, const double* xy);

/* lw_pcnm: PCNM variables, distances above limit (in the coordinates'
 * units, > 0 or not: as the dialogue takes it) replaced by four times it.
 * lw_polynomial: the monomials of a polynomial of order 2 to 5 of one or
 * two coordinates, without the constant term. */
int lw_pcnm(lw_analysis* a, double limit);
int lw_polynomial(lw_analysis* a, int order);

/* lw_first: with PCNM, only the k leading variables (k >= 1), computed
 * from the pairs of sites within the limit alone, in memory proportional
 * to the sites and k: the k largest eigenvalues of the centred matrix, each
 * pair checked by its residual before it is returned, and the principal
 * coordinates of those not below the positive-eigenvalue tolerance (fewer
 * than k when there are fewer: lw_missing says how many fewer).  Each
 * variable's sign makes its element of largest magnitude (the first of
 * those equal, over all the sites) positive.  k = 0, the default: every
 * variable, from the whole matrix.  lw_eigenvalues then holds the
 * lw_count eigenvalues found; lw_sums the sum of those, NaN for the sum of
 * the negative ones, and the trace.  The memory is estimated before the
 * work: a run that would take more than three quarters of the machine's
 * stops with LW_NOMEMORY and a message that names the memory and the
 * sites. */
int lw_first(lw_analysis* a, int k);

/* lw_lonlat: on (not 0): the two coordinates of every site are its
 * longitude (column 1) and its latitude (column 2) in degrees, a latitude
 * from -90 to 90 and a longitude from -180 to 360 (lw_run, lw_treelimit and
 * lw_place refuse others, naming the site); the distances are those of the
 * shortest geodesics on the WGS84 ellipsoid, in kilometres (GeographicLib),
 * for PCNM alone.  Nothing is ranged: degrees of longitude and of latitude
 * are not of one length, and a common divisor would distort the distances.
 * The limit is in km, lw_rangmax is 1, and the scaled limit the limit plus
 * the margin of every run.  lw_treelimit is the longest edge of a minimum
 * spanning tree of the geodesic distances, exactly; the pairs within the
 * limit (lw_first, lw_moran) are found across the meridian of 180 degrees
 * and around the poles.  0, the default: the coordinates are planar.  A
 * build without GeographicLib refuses on with LW_NOGEODESIC; it never
 * measures them otherwise. */
int lw_lonlat(lw_analysis* a, int on);

/* lw_treelimit: the truncation limit that keeps every site joined to the
 * others, as lociweaver-threshold answers it: the longest edge of a minimum
 * spanning tree of all the sites (ranged as for PCNM), rounded up to the
 * shortest decimal that the run keeps; into limit, and as that decimal into
 * text (40 characters) when text is not null.  Needs two sites or more, not
 * all at one place. */
int lw_treelimit(lw_analysis* a, double* limit, char* text);

/* lw_progress: tell the progress of the eigen-decomposition of lw_run to
 * tell(context, what, n, done, elapsed): what is being done (a few words;
 * null once at the end when the progress was told), the order n of the
 * matrix, the fraction done (0 to 1) and the seconds since it began.  It
 * is told on the thread that called lw_run, at most every 0.25 s, once the
 * decomposition has run for a second and is estimated at three seconds or
 * more in all, or from its first step when always is not 0.  A nonzero
 * answer cancels the analysis: lw_run returns LW_CANCELLED soon after,
 * leaving nothing behind, and the handle serves the next run.  tell null:
 * nobody is told. */
typedef int (*lw_progressfn)(void* context, const char* what, int n, double done, double elapsed);
int lw_progress(lw_analysis* a, lw_progressfn tell, void* context, int always);

/* lw_threads: the threads of the computation, the calling one included
 * (k >= 1); 0, the default, takes every processor the process may run on. */
int lw_threads(lw_analysis* a, int k);

/* lw_vectors: the doubles that the computation's vector code takes at a
 * time: 2, 4 or 8 (8 on x86 processors with AVX-512F alone, 4 there with
 * AVX2), or 0, the default: the widest that this processor runs.  Every
 * width gives the same bits; a width that this processor cannot run is
 * refused (LW_BADINPUT). */
int lw_vectors(lw_analysis* a, int width);

/* lw_run: the analysis.  Its results replace those of a run before. */
int lw_run(lw_analysis* a);

/* The results of the last successful lw_run (null or 0 before one):
 *   lw_count       the variables: PCNM variables kept, or monomials;
 *   lw_rows        their rows: the main sites;
 *   lw_missing     with lw_first, the k asked minus the count found;
 *   lw_variables   rows x count, the variables as the dialogue writes them
 *                  (standardised over the main sites when supplementary
 *                  sites took part in a PCNM analysis);
 *   lw_rangmax     the common divisor of the ranged coordinates;
 *   lw_scaledlimit the limit in ranged units, as the analysis applied it;
 *   lw_eigenvalues every eigenvalue of the analysis, largest first
 *                  (n + nsup of them; PCNM only);
 *   lw_sums        the sums of the positive and of the negative eigenvalues
 *                  and the trace of the centred matrix, into sums[0..2];
 *   lw_correlation the largest absolute correlation between two variables
 *                  (supplementary sites only; 0 otherwise);
 *   lw_moran       the Moran's I of each variable over the pairs of main
 *                  sites within the limit, with its expectation, standard
 *                  deviation and z: count x 4 (PCNM only; NaN where it
 *                  cannot be computed).  It is computed at the first call
 *                  after a run (a run that never asks takes no time for
 *                  it): null when the memory for it is refused. */
int lw_count(const lw_analysis* a);
int lw_rows(const lw_analysis* a);
int lw_missing(const lw_analysis* a);
const double* lw_variables(const lw_analysis* a);
double lw_rangmax(const lw_analysis* a);
double lw_scaledlimit(const lw_analysis* a);
const double* lw_eigenvalues(const lw_analysis* a);
int lw_sums(const lw_analysis* a, double* sums);
double lw_correlation(const lw_analysis* a);
const double* lw_moran(const lw_analysis* a);

/* lw_place: the variables of m new sites, which took no part in the last
 * successful PCNM lw_run, by the classical formula for an added point: the
 * new site's truncated distances to the analysed sites (main and
 * supplementary), in the analysis's ranging and limit, against the
 * analysed sites' principal coordinates and eigenvalues; standardised as
 * the main sites were when supplementary sites took part.  A new site at
 * the place of an analysed site gets that site's values, to rounding.  xy
 * holds m rows and the analysis's coordinates in its units (column-major);
 * out receives m rows and lw_count columns.  Only the analysed sites within
 * the limit of a new site add to its sums beyond a constant per variable,
 * and only they are visited (through a grid of cells), after lw_first as
 * after the whole decomposition. */
int lw_place(lw_analysis* a, int m, const double* xy, double* out);

#ifdef __cplusplus
}
#endif

#endif
