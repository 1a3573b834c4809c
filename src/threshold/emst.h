// The longest edge of a minimum spanning tree of many objects: Boruvka's
// method over a k-d tree of the objects, with the pair named as prim()
// (mst.h) names it.  The site matrix x is stored by columns with leading
// dimension ld, as in mst.h.
#ifndef LOCIWEAVER_THRESHOLD_EMST_H
#define LOCIWEAVER_THRESHOLD_EMST_H

#include <cstddef>

// longest: the longest edge of a minimum spanning tree of the ntot objects
//   of x (ntot >= 1, ncoord 1 to 3), and the tree edge that prim() would
//   name for it: the same object t that prim() returns, its from[t - 1] and
//   its len[t - 1], bit for bit, ties and objects at one place included.
// x (in): rows 1..ntot, columns 1..ncoord, leading dimension ld.
// from (out): the object that t is joined to (0 when ntot is 1).
// len (out): the length of the edge, the root of pairsum(t, from); 0 when
//   every pair of objects is at distance 0.
// Returns t.  About ntot log ntot time for sites at random; throws
// std::bad_alloc when the storage of the k-d tree cannot be had.
int longest(int ntot, int ncoord, size_t ld, const double* x, int& from, double& len);

#endif
