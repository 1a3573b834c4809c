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
// So only those sites are visited for each new site beyond its distances,
// which the caller gives: planar ones from crossdist, or any other kind.
#include <cmath>
#include <vector>

#include "pcnm.h"
#include "threads.h"

void crossdist(int m, int ntot, int ncoord, int ld, const double* x, const double* y, int ldy, double* d)
{
    for (int o = 0; o < m; ++o)
        for (int i = 0; i < ntot; ++i) {
            double sum = 0;
            for (int q = 0; q < ncoord; ++q) {
                double u = x[i + size_t(q) * ld] - y[o + size_t(q) * ldy];
                sum = sum + u * u;
            }
            d[i + size_t(o) * ntot] = std::sqrt(sum);
        }
}

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

void place(int m, int ntot, const double* d, double limit, int npos, const double* pc, int ldpc,
           const double* eig, const double* base, double* out, int ldout)
{
    const double far = multiplier * limit;
    const double c = -(far * far * 0.5);

    // The new sites in parts, each part with its own list of neighbours:
    // each new site's sums run over its neighbours in increasing order,
    // whatever the part, so every thread count gives the same bits.
    const int p = shares(m, m), parts = pieces(p);
    std::vector<int> near(size_t(parts) * size_t(ntot));
    std::vector<double> diff(size_t(parts) * size_t(ntot));
    auto job = [&](int t) {
        int* nb = near.data() + size_t(t) * ntot;
        double* df = diff.data() + size_t(t) * ntot;
        for (int o = split(m, parts, t, 1), end = split(m, parts, t + 1, 1); o < end; ++o) {
            const double* row = d + size_t(o) * ntot;
            int count = 0;
            for (int i = 0; i < ntot; ++i) {
                if (!within(row[i], limit)) continue;
                nb[count] = i;
                df[count] = -(row[i] * row[i] * 0.5) - c;
                ++count;
            }
            for (int k = 0; k < npos; ++k) {
                const double* col = pc + size_t(k) * ldpc;
                double s = base[k];
                for (int j = 0; j < count; ++j) s = s + col[nb[j]] * df[j];
                out[o + size_t(k) * ldout] = s / eig[k];
            }
        }
    };
    share(p, parts, job);
}
