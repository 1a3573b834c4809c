// The storage of a program of fixed capacity MAXN: every matrix MAXN x MAXN
// and every vector of MAXN elements exists, zero, from the start of the run.
#include "run.h"

#ifndef MAXN
#error "MAXN, the capacity of the program, must be defined when it is built"
#endif

namespace {

const size_t maxsq = size_t(MAXN) * size_t(MAXN);

double x[maxsq], d[maxsq], corlin[maxsq], xprime[maxsq];
double eig[MAXN], off[MAXN], w1[MAXN], w2[MAXN], w3[MAXN], w4[MAXN];
int perm[MAXN];

}  // namespace

void capacity(run& r) { r.cap = MAXN; }

void storage(run& r, int)
{
    r.ld = MAXN;
    r.x = x;
    r.d = d;
    r.corlin = corlin;
    r.xprime = xprime;
    r.eig = eig;
    r.off = off;
    r.w1 = w1;
    r.w2 = w2;
    r.w3 = w3;
    r.w4 = w4;
    r.perm = perm;
}
