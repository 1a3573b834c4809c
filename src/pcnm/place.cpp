// The principal coordinates of sites that took no part in an analysis, by
// the classical formula for an added point: with a(o, i) minus half the
// squared truncated distance of new site o to analysed site i, mean(i) the
// mean of row i of the analysed sites' matrix of such values, pc(i, k) the
// principal coordinate k of site i and eig(k) its eigenvalue,
//   x(o, k) = sum over i of pc(i, k) (a(o, i) - mean(i)), divided by eig(k).
// Every analysed site beyond the limit of o has the same a(o, i), that of
// the multiplied limit, c: the sum is a constant of the variable,
//   base(k) = sum over i of pc(i, k) (c - mean(i)),
// and the terms pc(i, k) (a(o, i) - c) of the sites within the limit of o.
// So only those sites are visited for each new site, which the caller
// finds with their distances (planar ones through a grid of cells, or any
// other kind).
#include <cmath>
#include <vector>

#include "pcnm.h"
#include "threads.h"

void placebase(int ntot, double limit, const double* mean, int npos, const double* pc, int ldpc, double* base)
{
    const double far = multiplier * limit;
    const double c = -(far * far * 0.5);
    for (int k = 0; k < npos; ++k) {
        const double* col = pc + size_t(k) * ldpc;
        double s = 0;
        for (int i = 0; i < ntot; ++i) s = s + col[i] * (c - mean[i]);
        base[k] = s;
    }
}

void placelist(int m, const long* start, const int* nb, const double* dist, double limit, int npos,
               const double* pcrows, const double* eig, const double* base, double* out, int ldout)
{
    const double far = multiplier * limit;
    const double c = -(far * far * 0.5);
    // The threads share the new sites; each site's sums run over its
    // neighbours in increasing order, whatever the part.
    const int p = shares(m, m), parts = pieces(p);
    std::vector<double> sums(size_t(parts) * size_t(npos));
    auto job = [&](int t) {
        double* s = sums.data() + size_t(t) * npos;
        for (int o = split(m, parts, t, 1), end = split(m, parts, t + 1, 1); o < end; ++o) {
            for (int k = 0; k < npos; ++k) s[k] = base[k];
            for (long at = start[o]; at < start[o + 1]; ++at) {
                const double d = dist[at];
                const double df = -(d * d * 0.5) - c;
                const double* row = pcrows + size_t(nb[at]) * npos;
                for (int k = 0; k < npos; ++k) s[k] = s[k] + row[k] * df;
            }
            for (int k = 0; k < npos; ++k) out[o + size_t(k) * ldout] = s[k] / eig[k];
        }
    };
    share(p, parts, job);
}
