// The truncation limit that keeps a minimum spanning tree of the sites: the
// tree itself, by Prim's method on the complete graph of the objects, and the
// decimal answer that keeps its longest edge under lociweaver's test.
// The site matrix x is stored by columns with leading dimension ld; element
// (i, j), counted from 1, is x[(i - 1) + (j - 1) * ld].
#ifndef LOCIWEAVER_THRESHOLD_MST_H
#define LOCIWEAVER_THRESHOLD_MST_H

#include <cstddef>

// pairsum: the sum, from 0 over the coordinates k = 1..ncoord in increasing
//   order, of the square of x(i, k) - x(j, k).  Its square root is the
//   distance of the pair as lociweaver's distances() computes it.
double pairsum(int i, int j, int ncoord, size_t ld, const double* x);

// prim: a minimum spanning tree of the ntot objects of x (ntot >= 1),
//   grown from object 1; each step joins the nearest object outside the
//   tree (the lowest-numbered on ties).
// x (in): rows 1..ntot, columns 1..ncoord, leading dimension ld.
// from (out, ntot ints): from[i - 1] is the object that object i was joined
//   to, 0 for object 1.
// len (out, ntot doubles): len[i - 1] is the length of that tree edge, the
//   distance of the pair as distances() computes it; 0 for object 1.
// rest (work, ntot ints).
// Returns the object whose tree edge is the longest (the first one joined
// among equals); 1 when ntot is 1.  O(ntot^2) time, no other storage.
int prim(int ntot, int ncoord, size_t ld, const double* x, int* from, double* len, int* rest);

// keeps: whether the truncation answer written in text (a decimal number)
//   leaves a distance edge (ranged units) untruncated in a run whose
//   divisor is rangmax: the text read as the nearest double, divided by
//   rangmax, plus the 1.0E-10 that the run adds, is not below edge.  False
//   for a text that is no number or lies outside the range of doubles.
bool keeps(const char* text, double rangmax, double edge);

// answer: the answer to lociweaver's truncation question that keeps the
//   distance edge (ranged units) untruncated, for the divisor rangmax: the
//   smallest answer that keeps it (see keeps), rounded up to a short
//   decimal.  Of the decimal numbers that keep the edge and exceed its
//   length in the user's units, edge * rangmax, by at most 1.0E-10 *
//   rangmax, the margin that the run itself adds to every limit, it is one
//   with the fewest significant digits, and the smallest of that many
//   digits.  It may lie below the length by up to that margin.  Writes it
//   into out (at least 40 characters, nul-terminated, in the form of
//   decimal) and returns its length.  edge and rangmax must be positive and
//   finite.
// Returns 0, with out empty, when not even the largest double keeps it.
int answer(double edge, double rangmax, char* out);

// decimal: the number d1.d2...dp times 10^e, whose significant digits
//   d1..dp are the p characters of digits (d1 not 0, p at most 17), written
//   as a free-form read takes it: fixed notation for e = -6 to 15, without a
//   decimal point for a whole number; otherwise the digits with a point after
//   d1 (none when p is 1), the letter E and e.  Trailing zero digits are
//   dropped.  Writes into out (at least 40 characters, nul-terminated) and
//   returns the length.
int decimal(const char* digits, int p, int e, char* out);

#endif
