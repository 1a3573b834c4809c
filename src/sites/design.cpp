// The points of the built-in designs, which the run generates and
// lociweaver-maps rebuilds from the same answers.
#include "sites.h"

void designpoints(int nx, int ny, int ncoord, int ld, double* x)
{
    // Row by row, X varying fastest.
    const int n = nx * ny;
    for (int i = 0; i < n; ++i) {
        x[size_t(i)] = i % nx + 1;
        if (ncoord == 2) x[size_t(i) + size_t(ld)] = i / nx + 1;
    }
}
