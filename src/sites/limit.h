// The truncation limit in the units of the ranged coordinates, and the test
// of the distances it keeps: the arithmetic that the run (its truncation),
// lociweaver-threshold and lociweaver-maps share, in one place.  The
// ranging divides the coordinates by rangmax (see rangecoords); the limit
// the user types, in the units of the coordinates, is divided by the same.
#ifndef LOCIWEAVER_SITES_LIMIT_H
#define LOCIWEAVER_SITES_LIMIT_H

// The margin added to every scaled limit: the single-precision 1.0E-10,
// widened exactly to double.
const double limitadd = double(1.0e-10f);    // 1.000000013351432E-10

// scaledlimit: the limit in the user's units as the run takes it in ranged
//   units: first divided by rangmax, then limitadd added, each step rounded
//   to double (not limit + limitadd divided, nor the two in one rounding).
inline double scaledlimit(double limit, double rangmax)
{
    double scaled = limit / rangmax;
    return scaled + limitadd;
}

// within: whether the run keeps the ranged distance d under the scaled
//   limit: unless d is strictly greater.  A distance equal to the limit is
//   kept, and so is one that is not a number (!(d > t), not d <= t).
inline bool within(double d, double scaled) { return !(d > scaled); }

// pairweight: the weight of a pair at distance d within the limit, among
//   the pairs that the leading variables and the Moran's I work on:
//   1 - (d / four)^2, four the truncated distance (multiplier times the
//   scaled limit), d / four rounded before it is squared.
inline double pairweight(double d, double four)
{
    double r = d / four;
    return 1.0 - r * r;
}

#endif
