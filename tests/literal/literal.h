// The plain literal forms of the eigen-solver, of the principal coordinate
// analysis and of the correlation check: every loop as the method states
// it, over matrices stored by columns.  The production kernels in src/pcnm reorder this work
// for speed; the tests prove them bit-identical to these, and the benchmark
// times both.
#ifndef LOCIWEAVER_TESTS_LITERAL_LITERAL_H
#define LOCIWEAVER_TESTS_LITERAL_LITERAL_H

#include "pcnm/pcnm.h"
#include "textio/stream.h"

namespace literal {

// tred2: Householder reduction of the symmetric n x n matrix a (leading
//   dimension np) to tridiagonal form, accumulating the transformation.
// a (in,out): diagonal and lower triangle read, upper triangle overwritten;
//   on return the orthogonal transformation.  d (out): the diagonal.
//   e (out): the sub-diagonal, e(i) = element (i, i-1), e(1) = 0.
void tred2(double* a, int n, int np, double* d, double* e);

// tqli: QL with implicit shifts on the tridiagonal (d, e), each rotation
//   applied to all n rows of z (leading dimension np).
// d (in,out): the diagonal, then the eigenvalues.  e (in): destroyed.
// z (in,out): the transformation, then the unit eigenvectors by columns.
// Throws runstop{0, "Too many iterations in TQLI"} after 50 iterations
// for one eigenvalue.
void tqli(double* d, double* e, int n, int np, double* z);

// distances: d(j, i) = the Euclidean distance of objects i < j, rows of x
//   (ntot objects, ncoord coordinates, leading dimension ld), its squares
//   summed over the coordinates in increasing order.
void distances(int ntot, int ncoord, int ld, const double* x, double* d);

// gower: Gower centring of the n x n matrix a (leading dimension np) in
//   place; mean (out) receives the column means before centring.
void gower(double* a, double* mean, int n, int np);

// sorteig: perm(i) = i, then straight insertion of eig(1..n) into
//   decreasing order with the tolerance, perm following.
void sorteig(int n, double* eig, int* perm);

// reorder: the columns of x (leading dimension ld) into the order of perm,
//   row by row through the buffer row (n elements).
void reorder(int n, int ld, double* x, const int* perm, double* row);

// scalecols: column k of x times float(sqrt(|eig(k)|)), k = 1..n.
void scalecols(int n, int ld, double* x, const double* eig);

// pcoa: the whole analysis with the argument order of the production
//   routine (no work matrix): transformation, centring, trace, tred2, tqli,
//   sort, reorder, scaling, sums, count.
void pcoa(int n, int maxn, int* perm, const double* d, double* eig, double* off, double* x,
          double* mean, double* row, int& npos, pcoasums& sums);

// produit: p(i, j) = sum over k = 1..m of a(i, k) b(k, j), i = 1..l,
//   j = 1..n, from 0 in increasing k (all leading dimension ld).
void produit(const double* a, const double* b, double* p, int l, int m, int n, int ld);

// correl: the correlation check with the argument order of the production
//   routine: columns 1..m of rows 1..n of x standardised, their
//   correlations in corlin through the transpose xprime, the largest
//   absolute one in largest; 0, or the first column of zero variance.
int correl(int n, int m, double* x, int maxn, double* sum, double* sumsq, double* mean,
           double* sd, double* corlin, double* xprime, double& largest);

}  // namespace literal

#endif
