// The leading PCNM variables of a survey of any size, without any n x n
// matrix.  Every distance above the scaled limit t becomes 4t, so minus half
// the squared truncated distances is -8t^2 11' + S, with S nonzero only on
// the diagonal (8t^2) and for the pairs within the limit (8t^2 - d^2 / 2):
// S = 8t^2 (I + W), W the weights 1 - (d / 4t)^2 of the pairs that
// findpairs (maps.h) finds.  Gower's centring J (.) J, J = I - 11'/n,
// removes the constant part exactly, so the principal coordinates are the
// eigenvectors of 8t^2 J (I + W) J, which is applied to a block of vectors
// by one pass over the stored pairs.
//
// Blocks of vectors are stored by rows: element i of vector j of a block of
// n rows and p vectors is b[i * p + j].  Every sum runs in a
// fixed order of its terms, whatever the thread count; the threads share
// rows (the products) or fixed chunks of rows (the inner products).
#ifndef LOCIWEAVER_FIRST_FIRST_H
#define LOCIWEAVER_FIRST_FIRST_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sites/cells.h"
#include "textio/progress.h"

// The pairs of all n sites within the limit, both ways, by rows: row r
// holds site site[r] (from 0), its partners are the rows
// nb[start[r] .. start[r + 1] - 1], in increasing order, with the weights
// w, whose sum (in that order) is ws[r]; wall is the sum of ws in
// increasing row, partners the count of partners over all rows (twice the
// pairs).  When the pairs are too many to store (fly), start, nb
// and w are empty and each product finds each row's partners again from
// the ranged coordinates of the rows (xs, n rows and ncoord columns) and
// a grid of cells over them, with the same distances and weights.
struct nearrows {
    int n = 0;
    std::vector<int> site;
    std::vector<long> start;
    std::vector<int> nb;
    std::vector<double> w, ws;
    double wall = 0;
    long partners = 0;
    bool fly = false;
    int ncoord = 0;
    double scaled = 0;
    std::vector<double> xs;
    cellgrid grid;
};

// nearfly: r as nearpairs makes it, the pairs not stored (fly): memory in
//   proportion to the sites, each product finding the pairs again.  Throws
//   std::bad_alloc.
void nearfly(int ntot, int ncoord, int ld, const double* xr, double scaled, nearrows& r);

// rowpartners: the partners of row i of r (fly) in increasing row, their
//   distances d and weights w, those nearpairs would store.
void rowpartners(const nearrows& r, int i, std::vector<int>& nb, std::vector<double>& d, std::vector<double>& w);

// siteorder: the rows of the ntot sites of the ranged coordinates xr (ld
//   rows, ncoord columns) in the solver: site[r] is the site of row r,
//   neighbours in the plane mostly near in the rows.
void siteorder(int ntot, int ncoord, int ld, const double* xr, std::vector<int>& site);

// nearpairs: the pairs of the ntot sites of the ranged coordinates xr
//   (ld rows, ncoord columns) within the scaled limit, as findpairs finds
//   and weighs them, into r, both ways.  Throws std::bad_alloc.
void nearpairs(int ntot, int ncoord, int ld, const double* xr, double scaled, nearrows& r);

// pairrows: the pairs p of ntot sites, each once (findpairs' form, maps.h),
//   into r, both ways, by rows: what nearpairs makes of findpairs' pairs,
//   for pairs found otherwise (geodesic ones); r.site is kept when it holds
//   ntot sites, else row i is site i.  Throws std::bad_alloc.
struct pairs;
void pairrows(int ntot, const pairs& p, nearrows& r);

// pairbytes: the bytes that nearpairs holds at its peak for npairs pairs of
//   n sites (the rows above and findpairs' own, at once).
double pairbytes(int n, double npairs);

// apply: y = J (I + W) J x for the block x of r.n rows and p vectors, in
//   one pass over x for its means and one over the rows.
// y (out): r.n x p; must not overlap x.  mean (work): 2p elements.
void apply(const nearrows& r, int p, const double* x, double* y, double* mean);

// applystep: prev = (J (I + W) J cur - c cur) f - prev, element by element
//   as each row of the product is formed: a product and one step of a
//   three-term recurrence in one pass.  mean (work): 2p elements.
void applystep(const nearrows& r, int p, const double* cur, double c, double f, double* prev, double* mean);

// centre: each of the p vectors of the block b (n rows) minus its mean:
//   b = J b.  mean (work): p elements.
void centre(int n, int p, double* b, double* mean);

// gram: g(j, k) = sum over rows i of a(i, j) b(i, k), j < p, k < q, into
//   g (p x q, by rows), a (n x p) and b (n x q) blocks by rows; the rows
//   are summed in fixed chunks, in increasing order within each chunk,
//   and the chunks' sums in increasing order.
void gram(int n, int p, const double* a, int q, const double* b, double* g);

// rotate: b = b c in place, b an n x p block by rows, c p x q (by rows,
//   q <= p): row i becomes sum over k of b(i, k) c(k, j), from 0 in
//   increasing k; columns q..p-1 of b are left as they were.
void rotate(int n, int p, double* b, int q, const double* c);

// The solver's settings and the faults its tests inject (the library
// takes the defaults).
//   guard     vectors of the block beyond the K wanted (at least this many,
//             or K / 4 when more);
//   converge  the residual ||Gv - lambda v|| / |lambda_1| below which the
//             wanted pairs have converged;
//   accept    the same bound for the final check of each returned pair,
//             by fresh products;
//   maxproducts  the block-vector products after which the solver stops;
//   drop      a test's fault: the returned vector of this index (from 0)
//             is dropped, the later ones moved up (-1: none);
//   plain     a test's fault: the projected problem solved as if the
//             filtered block were orthonormal (no re-orthonormalisation).
struct firstopts {
    int guard = 16;
    double converge = 1.0e-12;
    double accept = 1.0e-9;
    long maxproducts = 0;   // 0: 4000 times the block's vectors
    int drop = -1;
    bool plain = false;
};

// The solver's result and account.
//   status     0 found, 1 not converged, 2 a pair failed its final check,
//              3 cancelled;
//   found      the pairs returned (K, or fewer when n - 1 < K);
//   products   block-vector products done (one vector times G each);
//   seconds    of the whole, and of the inner products and rotations;
//   worst      the largest final residual over |lambda_1|;
//   failed     the first pair (from 0) that failed its check, or -1.
struct firstinfo {
    int status = 0;
    int found = 0;
    long products = 0;
    int iterations = 0;
    double seconds = 0, orthoseconds = 0;
    double worst = 0;
    int failed = -1;
};

// The subspace the solver needs, in bytes: two blocks of n rows and p
// vectors, and the projected matrices of order p.
double solverbytes(int n, int p);

// blockfor: the block's vectors for k wanted among n sites: k and the
//   guard (or k / 4), rounded up to a multiple of 8, at most n - 1.
int blockfor(int n, int k, const firstopts& o);

// leading: the k largest eigenvalues of J (I + W) J on the pairs r (n
//   sites, k >= 1), with unit eigenvectors orthogonal to the constant
//   vector, by subspace iteration with Chebyshev filtering, the projected
//   problem solved by tred2 and tqli.  The start is a fixed block of the
//   generator below, drawn site by site (p draws each); the sign of each
//   vector is that of its element of largest magnitude (the first site of
//   those equal), made positive.
// eig (out): info.found values, largest first.
// vec (out): the info.found vectors by columns, by site: vector j is
//   vec[j * n .. j * n + n - 1].
// info.status 1 (not converged) and 2 (a pair failed its final check)
// leave eig and vec empty.
// prog (in,out): null, or told "products" with the fraction done; its
//   stop ends the solver (status 3).
// Throws std::bad_alloc.
firstinfo leading(const nearrows& r, int k, const firstopts& o, std::vector<double>& eig,
                  std::vector<double>& vec, progress* prog);

// The start's generator: SplitMix64 from a fixed seed, each draw turned
// into a double in [-1, 1) from its top 53 bits.
uint64_t splitmix(uint64_t& state);
double drawsigned(uint64_t& state);

// stdcols: standardises the m columns of the n x m block x (by columns,
//   leading dimension ld) over its n rows, as correl (pcnm.h) does: mean 0,
//   standard deviation 1 with divisor n - 1 by the one-pass formula, and
//   finds the largest absolute correlation between two columns, each sum in
//   correl's order, in memory m x m.  sum, sumsq, mean, sd (work: m).
// Returns 0, or the first column (from 1) of zero variance (below the
// tolerance), the block then left unstandardised.
int stdcols(int n, int m, double* x, int ld, double* sum, double* sumsq, double* mean, double* sd,
            double& largest);

#endif
