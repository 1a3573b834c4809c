// The monomial matrix of a polynomial of the ranged coordinates.
#ifndef LOCIWEAVER_POLY_POLY_H
#define LOCIWEAVER_POLY_POLY_H

// nmono: the number of monomials of a polynomial of the given order without
//   constant term: order with one coordinate, order * (order + 3) / 2 with
//   two (ncoord other than 1).
int nmono(int ncoord, int order);

// monomials: centres columns 1 (and 2 unless ncoord is 1) of rows 1..n of x
//   on their means over those rows, then fills columns 1..nmono of rows 1..n
//   with the monomials in storage order (for two coordinates: power of x
//   outer, power of y inner, constant left out).  x is stored by columns with
//   leading dimension ld; rows beyond n are not touched.
void monomials(int n, int ncoord, int order, int ld, double* x);

#endif
