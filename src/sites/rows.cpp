#include "rows.h"

#include "textio/textio.h"

void writerows(stream& report, int ntot, int ncoord, int maxn, const double* x)
{
    static const layout row = fmt("(1X,10F10.5)");
    item v[3];
    for (int i = 0; i < ntot; ++i) {
        for (int j = 0; j < ncoord; ++j) v[j] = item(x[i + size_t(j) * size_t(maxn)]);
        wfmt(report, row, v, ncoord);
    }
}
