// The grid of cells of cells.h.
#include "cells.h"

#include <algorithm>
#include <cmath>

#include "limit.h"

namespace {

// Cells are a little wider than asked, so that the rounding of a coordinate
// over the side never puts two sites within the side two cells apart.
const double cellmargin = 1.0e-6;

// The cells allowed per site, and beyond them.
const double cellspersite = 2.0;
const double cellsbeyond = 16.0;

long cellat(double v, double lo, double side, long m)
{
    double c = std::floor((v - lo) / side);
    return !(c >= 0) ? 0 : c >= double(m) ? m - 1 : long(c);
}

}  // namespace

// cellsof
//   ntot, ncoord, ld, x (in) the sites; side (in) the least side.
//   g (out) the grid.
void cellsof(int ntot, int ncoord, int ld, const double* x, double side, cellgrid& g)
{
    const double* y = ncoord > 1 ? x + ld : nullptr;
    side = side * (1 + cellmargin);
    double lox = 0, hix = 0, loy = 0, hiy = 0;
    for (int i = 0; i < ntot; ++i) {
        lox = i ? std::fmin(lox, x[i]) : x[i];
        hix = i ? std::fmax(hix, x[i]) : x[i];
        if (y) {
            loy = i ? std::fmin(loy, y[i]) : y[i];
            hiy = i ? std::fmax(hiy, y[i]) : y[i];
        }
    }
    while ((std::floor((hix - lox) / side) + 1) * (std::floor((hiy - loy) / side) + 1) >
           cellspersite * ntot + cellsbeyond)
        side *= 2;
    g.side = side;
    g.lox = lox;
    g.loy = loy;
    g.nx = long(std::floor((hix - lox) / side)) + 1;
    g.ny = long(std::floor((hiy - loy) / side)) + 1;
    g.first.assign(size_t(g.nx * g.ny) + 1, 0);
    std::vector<long> cell(static_cast<size_t>(ntot));
    for (int i = 0; i < ntot; ++i) {
        long c = cellat(y ? y[i] : 0, loy, side, g.ny) * g.nx + cellat(x[i], lox, side, g.nx);
        cell[size_t(i)] = c;
        ++g.first[size_t(c) + 1];
    }
    for (size_t c = 1; c < g.first.size(); ++c) g.first[c] += g.first[c - 1];
    std::vector<long> fill(g.first.begin(), g.first.end() - 1);
    g.order.assign(size_t(ntot), 0);
    for (int i = 0; i < ntot; ++i) g.order[size_t(fill[size_t(cell[size_t(i)])]++)] = i;
}

// nearof
//   g, ncoord, ld, x (in) the grid and its sites; y, ldy (in) the point.
//   limit (in) the scaled limit.
//   nb, d (in,out) the sites kept, appended in increasing order, and their
//     distances.
void nearof(const cellgrid& g, int ncoord, int ld, const double* x, const double* y, size_t ldy, double limit,
            std::vector<int>& nb, std::vector<double>& d)
{
    const size_t from = nb.size();
    const long cx = cellat(y[0], g.lox, g.side, g.nx), cy = ncoord > 1 ? cellat(y[ldy], g.loy, g.side, g.ny) : 0;
    for (long b = cy - 1; b <= cy + 1; ++b)
        for (long a = cx - 1; a <= cx + 1; ++a) {
            if (a < 0 || b < 0 || a >= g.nx || b >= g.ny) continue;
            const long c = b * g.nx + a;
            for (long at = g.first[size_t(c)]; at < g.first[size_t(c) + 1]; ++at) {
                const int i = g.order[size_t(at)];
                double sum = 0;
                for (int q = 0; q < ncoord; ++q) {
                    double u = x[size_t(i) + size_t(q) * size_t(ld)] - y[size_t(q) * ldy];
                    sum = sum + u * u;
                }
                double dist = std::sqrt(sum);
                if (!within(dist, limit)) continue;
                nb.push_back(i);
                d.push_back(dist);
            }
        }
    // Increasing order of the sites (few: by insertion, distances along).
    for (size_t k = from + 1; k < nb.size(); ++k) {
        int i = nb[k];
        double di = d[k];
        size_t at = k;
        while (at > from && nb[at - 1] > i) {
            nb[at] = nb[at - 1];
            d[at] = d[at - 1];
            --at;
        }
        nb[at] = i;
        d[at] = di;
    }
}
