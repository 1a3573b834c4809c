// The parts of the symmetric eigen-solver of pcnm.h, shared among its
// files: Householder reduction to tridiagonal form (tred2.cpp), whose
// passes over the active block are the kernels of reduce.cpp and whose
// transformation accumulate.cpp accumulates, and QL with implicit shifts
// (tqli.cpp), whose plane rotations rotate.cpp applies.  Every
// negligibility test is absolute, against the single-precision tolerance.
//
// The kernels give the bits of the literal loops (kept in the test tree)
// and reorder only independent work; each file tells how.  Vectors run
// across rows or across independent sums; the AVX-512, the AVX2 and the
// baseline path compute the same operations (one template per kernel,
// compiled for each path by onpath, vecpath.h).
#ifndef LOCIWEAVER_PCNM_EIGEN_H
#define LOCIWEAVER_PCNM_EIGEN_H

#include "pcnm.h"

// Vectors of rows in one row block of the rotations: six chains of
// rotations in flight hide the latency of each one's multiply and
// subtract, and their registers (two per vector) still fit the sixteen of
// the four-wide and the baseline paths.  On an AMD Zen 5, tqli at 4000
// sites: 2.57 to 2.71 s with six (or eight) against 2.88 s with four on
// the eight-wide path; 5.0 s against 5.4 s on the four-wide one.
const int blockvecs = 6;

// The updates of the reduction not yet written into the triangle, oldest
// first (at most maxdepth, see pcnm.h): update s makes the element (r, k)
// (x - u(r) q(k)) - q(r) u(k), u the step's Householder vector and q its
// updated e.
struct pending {
    int count;
    const double* u[maxdepth];
    const double* q[maxdepth];
};

// The shares of the decomposition's time taken by the reduction, the
// accumulation and the rotations of tqli, for the progress line: at 4000
// sites on one thread of an AMD Zen 5 (AVX-512F), 2.45 s, 1.74 s and
// 2.77 s.
const double sharereduce = 0.35;
const double shareaccum = 0.25;
const double sharerotate = 0.40;

// Tells prog, when there is one, that `part` of the whole is done.
// Whether the caller of prog has asked the decomposition to stop: the
// steps then end at once, what they leave meaning nothing.
inline bool stopped(const progress* prog) { return prog && prog->stop.load(std::memory_order_relaxed); }

inline void tick(progress* prog, const char* what, double part)
{
    if (prog) progstep(*prog, what, part);
}

// reducepass (reduce.cpp): one step of the reduction over the active
//   block, columns 0..l-1 of a (leading dimension np, lower triangle):
//   the pending updates of pd applied to every element (and written back
//   when keep), g = the block times ui when g is not null, the next row
//   mirrored into its column; the threads share it when shared and the
//   block is large enough.
void reducepass(int path, double* a, int np, int l, const pending& pd, bool keep,
                const double* ui, double* g, bool shared);

// The rounds of the measurement of the reduction's way (reduce.cpp).
const int reducerounds = 3;

// The choice of the way of the reduction's passes (threads.h), kept by one
// call of tred2: way, that of sharingnow().reduceway, reduce_measured
// while the measurement runs; its passes so far, the timed ones, the
// seconds and elements of the group of passes under way, the seconds per
// element of each round, alone [0] and shared [1], and their medians.
struct reducing {
    int way;
    int depth;
    int step;
    int timed;
    double seconds, elements;
    double times[2][reducerounds];
    double alone, shared;
};

// startreduce, reducestep (reduce.cpp): the choice of a call of tred2
//   whose passes keep up to depth updates pending; reducepass, shared or
//   not as the choice says, timed while it is measured.
reducing startreduce(int depth);
void reducestep(reducing& s, int path, double* a, int np, int l, const pending& pd, bool keep,
                const double* ui, double* g);

// updaterow (reduce.cpp): the rank-2 update of the step whose Householder
//   vector is u and whose updated e is q applied to rows 0..m-1 of column
//   c, which holds a row mirrored into it; uk and qk are the elements of u
//   and q of that row.
void updaterow(int path, double* c, int m, const double* u, const double* q, double uk, double qk);

// accumulate (accumulate.cpp): the transformation of tred2 into a, from
//   the steps of the reduction that it left in w and d; d then holds the
//   diagonal, e(1) = 0.
void accumulate(double* a, int n, int np, double* d, double* e, double* w, int path,
                progress* prog);

// rotations (rotate.cpp): the plane rotations recorded from rec to end
//   applied to the n rows of z (leading dimension np).
void rotations(int path, double* z, int n, int np, const double* rec, const double* end);

#endif
