// Site coordinates: reading them from a coordinates file, and ranging them
// to a common scale before any spatial variable is built.  No console: the
// dialogue asks for the file and says what these routines return.  The site matrix x
// is stored by columns with leading dimension maxn; element (i, j), counted
// from 1, is x[(i - 1) + (j - 1) * maxn].
#ifndef LOCIWEAVER_SITES_SITES_H
#define LOCIWEAVER_SITES_SITES_H

#include "textio/stream.h"

// readheader: one free-form read of the three counts of a coordinates file
//   open on file: n, ncoord, nsup (out), the object, coordinate and
//   supplementary counts.
// Returns null when the counts are usable (n at least 1, ncoord 1 to 3, nsup
// not negative), otherwise the one-line text that says why not.  Read
// failures throw ioerror.
const char* readheader(stream& file, int& n, int& ncoord, int& nsup);

// readgroups: one free-form read of ncoord reals per object, for objects 1 to
//   ntot in file order, into rows 1 to ntot, columns 1 to ncoord of x
//   (out, leading dimension ld).  Read failures throw ioerror.
void readgroups(stream& file, int ntot, int ncoord, int ld, double* x);

// designpoints: the points of a built-in design, nx along X by ny along Y,
//   row by row with X varying fastest: point i (from 1) lies at
//   X = (i - 1) mod nx + 1 and, with two coordinates, Y = (i - 1) / nx + 1
//   (whole numbers).  The transect of n equidistant points is the design of
//   n by 1 with one coordinate (X = i), the regular grid the design of nx by
//   ny with two.
// x (out): rows 1 to nx * ny, columns 1 to ncoord (1 or 2), leading
//   dimension ld; nothing else is written.
void designpoints(int nx, int ny, int ncoord, int ld, double* x);

// rangecoords: the ranging of the sites, without its messages.  Shifts
//   every coordinate of the ntot objects to start at 0 and divides all of
//   them by rangmax, the largest range (times the single-precision 0.1 for
//   PCNM, method 1).
// x (in,out): rows 1 to ntot, columns 1 to ncoord, leading dimension ld.
// vmin, vrange (out): minimum and range of each coordinate (ncoord values),
//   in the user's units.  rangmax (out).
// Returns null, or, when every range is 0 (rangmax is then 0) or the ranges
// overflow, the one-line text of the refusal, with x shifted but not
// divided.
const char* rangecoords(int ntot, int ncoord, int ld, double* x, double* vmin, double* vrange,
                        double& rangmax, int method);

#endif
