#include "sites.h"
#include "textio/textio.h"

const char* readheader(stream& file, int& n, int& ncoord, int& nsup)
{
    rbegin(file);
    rint(file, n);
    rint(file, ncoord);
    rint(file, nsup);
    rend(file);

    // Later steps need at least one object, one to three coordinates and no
    // negative count.
    if (n < 1) return "The number of objects must be at least 1.";
    if (ncoord < 1 || ncoord > 3) return "The number of coordinates must be 1, 2 or 3.";
    if (nsup < 0) return "The number of supplementary objects cannot be negative.";
    return nullptr;
}

void readgroups(stream& file, int ntot, int ncoord, int ld, double* x)
{
    for (int i = 0; i < ntot; ++i) {
        rbegin(file);
        for (int j = 0; j < ncoord; ++j) rreal(file, x[i + size_t(j) * size_t(ld)]);
        rend(file);
    }
}
