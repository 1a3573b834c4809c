// The monomial matrix of a polynomial of the ranged coordinates.
#ifndef LOCIWEAVER_POLY_POLY_H
#define LOCIWEAVER_POLY_POLY_H

// nmono: the number of monomials of a polynomial of the given order without
//   constant term: order with one coordinate (ncoord 1), order * (order + 3) / 2
//   with two (any other ncoord): 5, 9, 14, 20 for orders 2 to 5.
int nmono(int ncoord, int order);

// monomials: the monomials of the polynomial of the given order (2 to 5) of
//   the coordinates of the main objects.
// n (in): main objects, rows 1..n of x.  ncoord (in): 1 for one coordinate
//   (column 1), any other value for two (columns 1 and 2).
// ld (in): leading dimension of x, stored by columns.
// x (in,out): columns 1 (and 2) of rows 1..n are first centred on their means
//   over those rows (summed in row order, divided by n); then columns
//   1..nmono(ncoord, order) of rows 1..n receive the monomials in storage
//   order.  One coordinate: x, x^2, ..., x^order in double precision.  Two:
//   power a of x outer, power b of y inner, 1 <= a + b <= order, each value
//   the product, exact in double, of the float powers of the coordinates
//   rounded to float (y, y^2, x, xy, x^2 for order 2).  Powers are formed by
//   square and multiply.  Rows beyond n are neither read nor changed.
void monomials(int n, int ncoord, int order, int ld, double* x);

#endif
