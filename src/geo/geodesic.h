// Sites given by longitude and latitude in degrees: their geodesic
// distances in kilometres on the WGS84 ellipsoid (through GeographicLib),
// the check of a site, and the search of the pairs within a limit through
// the sites' unit normals on the sphere, which knows no meridian of 180
// degrees and no pole.  Coordinates are stored by columns, longitude then
// latitude: site i (from 0) of ll (leading dimension ld) is at longitude
// ll[i] and latitude ll[i + ld].
//
// A build without GeographicLib keeps every routine: geoavailable() is then
// false, and geodist answers NaN, so that a caller that measures anything
// must first refuse with geomissing.
#ifndef LOCIWEAVER_GEO_GEODESIC_H
#define LOCIWEAVER_GEO_GEODESIC_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geo/lonlat.h"
#include "maps/maps.h"

// geoavailable: whether this build measures geodesics.
bool geoavailable();

// The words of a refusal of longitude and latitude by a build without them.
extern const char* const geomissing;

// geodist: the length in kilometres of the shortest geodesic on the WGS84
//   ellipsoid between (lon1, lat1) and (lon2, lat2), degrees (GeographicLib's
//   Geodesic::WGS84().Inverse, metres over 1000).  NaN without GeographicLib.
double geodist(double lon1, double lat1, double lon2, double lat2);

// unitvec: u (out, 3) the unit normal of the ellipsoid at (lon, lat): the
//   point of geodetic latitude lat and longitude lon on the unit sphere.
void unitvec(double lon, double lat, double* u);

// chordof: the chord between unit normals that every pair of sites within
//   km of each other on the ellipsoid keeps to (the normal turns by at most
//   the distance over the smallest radius of curvature), with a margin for
//   rounding; 2 and more when km reaches half the way round.  0 for km <= 0.
double chordof(double km);

// kmof: the geodesic distance in km that every pair of sites whose unit
//   normals are within chord of each other keeps to (a path along which the
//   normal follows the great circle is at most the largest radius of
//   curvature times the angle long), with a margin for rounding.
double kmof(double chord);

// geopairs: the pairs of the first n sites of ll (ld rows) whose geodesic
//   distance is within the scaled limit (within(), limit.h), with the weight
//   that findpairs gives a pair at that distance (pairweight, limit.h):
//   candidates from a grid of cells of the unit normals, of side chordof
//   (scaled), each measured on the ellipsoid.  For object i (from 1) its
//   partners j > i in increasing order.
// p (out).  Throws std::bad_alloc.
void geopairs(int n, int ld, const double* ll, double scaled, pairs& p);

// A grid of cells of the unit normals of sites, for the search of the
// sites within a limit of a place: the side of a cell, the chord of the
// limit, the sites in the order of their cells' keys, those keys, and the
// sites' unit normals in that order.
struct normalgrid {
    double side = 0, chord = 0;  // chord: chordof(scaled)
    std::vector<int> order;
    std::vector<uint64_t> sorted;
    std::vector<double> u;       // the unit normals in that order, 3 each
};

// normalsof: g (out) the grid of the n sites of ll (ld rows) for the scaled
//   limit (cells of side chordof(scaled)).  Throws std::bad_alloc.
void normalsof(int n, int ld, const double* ll, double scaled, normalgrid& g);

// geonearof: appends to nb and dist the sites of ll (ld rows, in the grid
//   g made for scaled) whose geodesic distance to (lon, lat) is within the
//   scaled limit, and those distances (geodist(lon, lat, site)), in
//   increasing order of the sites: those that a measure of every site
//   would keep, with the same distances.  Throws std::bad_alloc.
void geonearof(const normalgrid& g, int ld, const double* ll, double lon, double lat, double scaled,
               std::vector<int>& nb, std::vector<double>& dist);

// geonearlist: the lists of geonearof for the m places of y (leading
//   dimension ldy, longitude then latitude): those of place o (from 0) at
//   nb and dist [start[o], start[o + 1]).  The threads share the places;
//   the lists do not depend on their number.  Throws std::bad_alloc.
void geonearlist(const normalgrid& g, int ld, const double* ll, int m, const double* y, int ldy, double scaled,
                 std::vector<long>& start, std::vector<int>& nb, std::vector<double>& dist);

// geodistances: the geodesic distances among the ntot sites of ll (ld
//   rows), as distances() (pcnm.h) leaves the Euclidean ones: d(j, i),
//   j > i, at d[j + i * ldd]; the upper triangle and the diagonal untouched.
//   The threads share the columns; every distance is a measure of its own.
void geodistances(int ntot, int ld, const double* ll, int ldd, double* d);

// geotree: the longest edge of a minimum spanning tree of the geodesic
//   distances among the ntot sites of ll (ld rows, ntot >= 2): a first bound
//   r from the Euclidean tree of the unit normals (longest(), emst.h), then
//   Kruskal's method over the pairs within r (geopairs); when they join every
//   site, the longest edge of their tree is that of every minimum spanning
//   tree of all the pairs, else r is doubled.
// a, b (out): the sites (from 1) the edge joins, a < b.  len (out): its
//   length in km (0 when every site is at one place).
// Throws std::bad_alloc.
void geotree(int ntot, int ld, const double* ll, int& a, int& b, double& len);

#endif
