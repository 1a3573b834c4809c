#include <cmath>

#include "sites.h"

namespace {

// The PCNM factor: 0.1 in single precision, widened to double.
const double pcnmfactor = double(0.1f);

// The two refusals of a divisor that cannot be used.
const char* const samecoords =
    "All the objects have the same coordinates: no spatial variable can be built.";
const char* const toowide = "The coordinates span too wide a range to be computed.";

}  // namespace

const char* rangecoords(int ntot, int ncoord, int ld, double* x, double* vmin, double* vrange,
                        double& rangmax, int method)
{
    auto at = [&](int i, int j) -> double& { return x[size_t(i - 1) + size_t(j - 1) * size_t(ld)]; };

    // Smallest and largest value of each coordinate over all objects.
    for (int j = 1; j <= ncoord; ++j) vmin[j - 1] = vrange[j - 1] = at(1, j);
    for (int i = 2; i <= ntot; ++i)
        for (int j = 1; j <= ncoord; ++j) {
            if (at(i, j) < vmin[j - 1]) vmin[j - 1] = at(i, j);
            if (at(i, j) > vrange[j - 1]) vrange[j - 1] = at(i, j);
        }

    // Shift each coordinate to start at 0.
    for (int i = 1; i <= ntot; ++i)
        for (int j = 1; j <= ncoord; ++j) at(i, j) = at(i, j) - vmin[j - 1];

    // Ranges, and the largest of them.
    for (int j = 1; j <= ncoord; ++j) vrange[j - 1] = vrange[j - 1] - vmin[j - 1];
    rangmax = vrange[0];
    for (int j = 2; j <= ncoord; ++j)
        if (vrange[j - 1] > rangmax) rangmax = vrange[j - 1];
    if (method == 1) rangmax = rangmax * pcnmfactor;

    // A zero or overflowing divisor would leave nothing but NaN to compute with.
    if (rangmax == 0) return samecoords;
    if (!std::isfinite(rangmax)) return toowide;

    for (int i = 1; i <= ntot; ++i)
        for (int j = 1; j <= ncoord; ++j) at(i, j) = at(i, j) / rangmax;
    return nullptr;
}
