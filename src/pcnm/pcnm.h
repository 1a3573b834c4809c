// PCNM construction: distances and truncation, principal coordinate
// analysis, the symmetric eigen-solver, and the correlation check.
// Matrices are stored by columns with leading dimension ld (MAXN in a run);
// element (i, j), counted from 1, is m[(i - 1) + (j - 1) * ld].
#ifndef LOCIWEAVER_PCNM_PCNM_H
#define LOCIWEAVER_PCNM_PCNM_H

#include "sites/limit.h"
#include "textio/progress.h"
#include "textio/stream.h"

// Single-precision tolerances, widened exactly to double (the margin of the
// truncation limit, limitadd, is in sites/limit.h).
const double tolerance = double(1.0e-8f);    // 9.99999993922529E-9
const double postol = double(5.0e-7f);       // 4.999999987376214E-7

// Factor applied to the truncation limit for the distances above it.
const double multiplier = 4.0;

// distances: the untruncated Euclidean distances among the ntot objects in
//   rows 1..ntot, columns 1..ncoord of x, pair (i, j) with i < j, summed over
//   the coordinates in increasing order.
// d (out): element (j, i), j > i, holds the distance of pair (i, j); the
//   upper triangle and the diagonal are not touched.
void distances(int ntot, int ncoord, int ld, const double* x, double* d);
void distances(int ntot, int ncoord, int ld, const double* x, double* d, int path);

// truncate: for every pair i < j, d(i, j) becomes the untruncated distance
//   held in d(j, i), or multiplier * limit when that is strictly greater
//   than limit (when within(), sites/limit.h, does not keep it).
// d (in,out): lower triangle read, upper triangle written.
void truncate(int ntot, int ld, double* d, double limit);

// The vector path of the kernels: the baseline (pairs of doubles: SSE2 on
// x86-64, NEON on arm64), four doubles at a time (AVX2 on x86, chosen
// when the processor has it; plain vector code elsewhere, where the
// baseline stays the default), or eight at a time (AVX-512F, on x86 alone,
// when the processor has it and the system saves its registers).  Every
// path gives the same bits.  runs() tells whether this processor can run a
// path; the forms without a path argument take pathnow(): the path that
// setpath chose on the calling thread when it runs here, else bestpath().
// setpath(-1) restores bestpath().
const int path_base = 0;
const int path_avx2 = 1;
const int path_avx512 = 2;
bool runs(int path);
int bestpath();
void setpath(int path);
int pathnow();

// tred2: Householder reduction of the symmetric n x n matrix a to
//   tridiagonal form, accumulating the transformation.
// a (in,out): symmetric matrix (diagonal and lower triangle read); on return
//   the orthogonal transformation.  d (out): diagonal; e (out): sub-diagonal,
//   e(i) = element (i, i-1), e(1) = 0.  w (work): np x n, content lost.
// prog (in,out): when not null, told of each step's share of the whole
//   decomposition (tred2 and tqli) as it ends; when its callback asks to
//   stop, the decomposition ends at once, its outputs meaning nothing.
// depth: the rank-2 updates of up to depth steps of the reduction are kept
//   pending (1 to maxdepth; applied to each element when it is read, and
//   written back once every depth steps); 0 and the form without a path
//   take the depth measured best (see tred2.cpp).
// choice (out): when not null, how the passes of the reduction from order
//   reducefrom on were taken (threads.h): reducechoice below.
const int maxdepth = 4;
struct reducechoice;
void tred2(double* a, int n, int np, double* d, double* e, double* w);
void tred2(double* a, int n, int np, double* d, double* e, double* w, int path, int depth = 0,
           progress* prog = nullptr, reducechoice* choice = nullptr);

// reducechoice: how tred2 took the passes of its reduction from order
//   sharingnow().reducefrom on (threads.h).
//   way     reduce_alone or reduce_shared: the way forced, or the one
//           measured faster; reduce_alone too when no pass could be shared
//           (one thread, or an order below reducefrom); reduce_measured
//           when the measurement had not ended as the passes fell below
//           reducefrom.
//   timed   the passes timed (0 when nothing was measured).
//   alone, shared  the seconds per element of the active triangle that
//           a pass took each way (the median of its rounds; 0 when not
//           timed).
struct reducechoice {
    int way = 0;
    int timed = 0;
    double alone = 0;
    double shared = 0;
};

// tqli: eigenvalues and eigenvectors of the tridiagonal matrix (d, e) by QL
//   with implicit shifts, every rotation applied to z.
// d (in,out): diagonal, then the eigenvalues in no particular order.
// e (in): sub-diagonal from tred2, destroyed.  z (in,out): the transformation
//   of tred2, then the unit eigenvectors by columns.  w (work): np x n,
//   content lost.
// Throws runstop{0, "Too many iterations in TQLI"} when an eigenvalue needs
// more than 50 iterations.  prog: as for tred2.
void tqli(double* d, double* e, int n, int np, double* z, double* w);
void tqli(double* d, double* e, int n, int np, double* z, double* w, int path,
          progress* prog = nullptr);

// gower: Gower centring of the n x n matrix a in place.
// mean (out): the column means of a before centring.
void gower(double* a, double* mean, int n, int np);
void gower(double* a, double* mean, int n, int np, int path);

// sorteig: perm(i) = i, then eig(1..n) into decreasing order by straight
//   insertion with the tolerance, perm following: an eigenvalue moves ahead
//   of every earlier one that does not exceed it by more than tolerance.
void sorteig(int n, double* eig, int* perm);

// arrange: column k of x (leading dimension ld) becomes the old column
//   perm(k) times float(sqrt(|eig(k)|)), k = 1..n.  row (work): n elements.
void arrange(int n, int ld, double* x, const int* perm, const double* eig, double* row);

// The summary of an analysis: the sums of its positive and of its negative
// eigenvalues, and the trace of the Gower-centred matrix.
struct pcoasums {
    double possum = 0;
    double negsum = 0;
    double trace = 0;
};

// pcoa: principal coordinates of the n objects from the distances d(i, j),
//   i < j (only those are read).
// perm (out): position in the solver's output of the eigenvalue now at i.
// eig (out): eigenvalues, largest first.  off, mean, row: work vectors.
// x (out): the n x n principal coordinates, column k for eigenvalue k.
// npos (out): the PCNM count.  sums (out): the eigenvalue summary.
// work (work): a maxn x n matrix for the eigen-solver, content lost.
// prog (in,out): when not null, told of the decomposition's steps; when its
//   callback asks to stop, pcoa returns at once, its outputs meaning nothing.
// The runstop of tqli passes through.
void pcoa(int n, int maxn, int* perm, const double* d, double* eig, double* off,
          double* x, double* mean, double* row, int& npos, pcoasums& sums, double* work,
          progress* prog = nullptr);

// New sites, which took no part in an analysis of ntot sites, placed in it
// (place.cpp has the formula).
// placebase: base(k), k < npos, the part of every new site's sum that the
//   sites beyond its limit would make if all were: the sum over i in order
//   of pc(i, k) (c - mean(i)), c = -(T T 0.5), T = multiplier * limit.
//   mean: ntot row means of the analysed matrix, as pcoa returns them.  pc:
//   ntot x npos principal coordinates, not standardised, leading dimension
//   ldpc.
// placelist: new site o (0..m-1) and variable k get (base(k) plus the sum
//   over the sites i within the limit of o, in increasing i, of pc(i, k)
//   (a(o, i) - c)) divided by eig(k), where a(o, i) = -(d d 0.5): the sites
//   are nb[at] and their distances dist[at], at = start[o] .. start[o + 1]
//   - 1.  limit: the scaled limit.  pcrows: the ntot x npos principal
//   coordinates by rows (row i at pcrows + i * npos); eig their
//   eigenvalues.  out (out): m x npos, leading dimension ldout.
void placebase(int ntot, double limit, const double* mean, int npos, const double* pc, int ldpc, double* base);
void placelist(int m, const long* start, const int* nb, const double* dist, double limit, int npos,
               const double* pcrows, const double* eig, const double* base, double* out, int ldout);

// correl: standardises columns 1..m of rows 1..n of x over those rows and
//   finds the largest absolute correlation between two columns.
// x (in,out): the block standardised in place.  sum, sumsq, mean, sd: work
//   vectors (m used); corlin, xprime: work matrices.  largest (out): the
//   correlation.  Returns 0, or the first column of zero variance (below
//   tolerance), whose block is then not standardised.
int correl(int n, int m, double* x, int maxn, double* sum, double* sumsq, double* mean,
           double* sd, double* corlin, double* xprime, double& largest);

// produit: p(i, j) = sum over k = 1..m of a(i, k) * b(k, j), for i = 1..l,
//   j = 1..n, accumulated from 0 in increasing k.  Only that block of p is
//   written.
void produit(const double* a, const double* b, double* p, int l, int m, int n, int ld);
void produit(const double* a, const double* b, double* p, int l, int m, int n, int ld, int path);

#endif
