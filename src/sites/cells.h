// A grid of cells over sites, for the sites within a distance of any point
// without a pass over all of them: cells of one side on the sites' first
// two coordinates (the first alone for a transect), the distance itself
// measured over every coordinate.  Sites are stored by columns with leading
// dimension ld, counted from 0.
#ifndef LOCIWEAVER_SITES_CELLS_H
#define LOCIWEAVER_SITES_CELLS_H

#include <cstddef>
#include <vector>

// The cells: cell (cx, cy) is number cy * nx + cx, its sites are
// order[first[c] .. first[c + 1] - 1], in increasing order; a coordinate v
// falls in cell floor((v - lo) / side), clamped to the grid.
struct cellgrid {
    double side = 0, lox = 0, loy = 0;
    long nx = 1, ny = 1;
    std::vector<long> first;
    std::vector<int> order;
};

// cellsof: the grid g of the ntot sites of x (ncoord coordinates, ld rows)
//   with cells a little wider than `side` (> 0), doubled until there are
//   at most two cells per site and sixteen more.  Throws std::bad_alloc.
void cellsof(int ntot, int ncoord, int ld, const double* x, double side, cellgrid& g);

// nearof: the sites of x (as given to cellsof, whose side was at least
//   limit) whose distance to the point y (ncoord coordinates, ldy apart)
//   the run keeps under limit (within, limit.h), the distance summed over
//   the coordinates in increasing order of the squares of x(i) - y, as the
//   distances of the sites are: their numbers appended to nb in increasing
//   order, their distances to d.
void nearof(const cellgrid& g, int ncoord, int ld, const double* x, const double* y, size_t ldy, double limit,
            std::vector<int>& nb, std::vector<double>& d);

#endif
