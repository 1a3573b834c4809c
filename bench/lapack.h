// The two LAPACK eigen-solvers the benchmark compares with, behind plain
// functions, so that the benchmark builds with LAPACK or without it.
#ifndef LOCIWEAVER_BENCH_LAPACK_H
#define LOCIWEAVER_BENCH_LAPACK_H

// Whether these functions call LAPACK (false: they do nothing).
bool haslapack();

// Asks the library for one thread (OpenBLAS), where it can be asked.
void onethread();

// Work space sizes (doubles, integers) of dsyevd and dsyev for order n,
// from LAPACK's own query.
void syevdsize(int n, int& lwork, int& liwork);
int syevsize(int n);

// All eigenvalues (ascending, in w) and eigenvectors (in a, n x n, leading
// dimension lda) of the symmetric matrix a, lower triangle read, by divide
// and conquer (dsyevd) or QL/QR (dsyev).  Return LAPACK's info.
int syevd(int n, double* a, int lda, double* w, double* work, int lwork, int* iwork, int liwork);
int syev(int n, double* a, int lda, double* w, double* work, int lwork);

#endif
