// Site coordinates: reading them from a coordinates file, and ranging them
// to a common scale before any spatial variable is built.  The site matrix x
// is stored by columns with leading dimension maxn; element (i, j), counted
// from 1, is x[(i - 1) + (j - 1) * maxn].
#ifndef LOCIWEAVER_SITES_SITES_H
#define LOCIWEAVER_SITES_SITES_H

#include "textio/stream.h"

// readdata: asks for the coordinates file on the console, opens it (it stays
//   open until the end of the run), reads the header and one group of
//   coordinates per object, main objects first.
// n, ncoord, nsup (out): the header's object, coordinate and supplementary
//   counts.  maxn (in): capacity and leading dimension.  x (out): rows 1 to
//   n + nsup, columns 1 to ncoord.  report (in,out): receives the summary and,
//   when trace is 1, the matrix as read.
// Stops the run (runstop, status 0) after a console line when the header is
// unusable or the objects exceed maxn.
void readdata(int& n, int& ncoord, int& nsup, int maxn, double* x, stream& report, int trace);

// readhead and readbody: readdata in two halves, so that the storage of x
//   can be made ready for the n + nsup objects in between.  readhead asks
//   for the file, reads the header, writes the summary and makes the
//   refusals (maxn: capacity); readbody reads the groups into x (leading
//   dimension ld) and, when trace is 1, writes them to the report.
void readhead(int& n, int& ncoord, int& nsup, int maxn, stream& report);
void readbody(int n, int ncoord, int nsup, int ld, double* x, stream& report, int trace);

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

// rangecoords: the computation of range1, without its messages.  Shifts
//   every coordinate of the ntot objects to start at 0 and divides all of
//   them by rangmax, the largest range (times the single-precision 0.1 for
//   PCNM, method 1).
// x (in,out): rows 1 to ntot, columns 1 to ncoord, leading dimension ld.
// vmin, vrange (out): minimum and range of each coordinate (ncoord values),
//   in the user's units.  rangmax (out).
// Returns null, or, when every range is 0 (rangmax is then 0) or the ranges
// overflow, the one-line text of range1's refusal, with x shifted but not
// divided.
const char* rangecoords(int ntot, int ncoord, int ld, double* x, double* vmin, double* vrange,
                        double& rangmax, int method);

// range1: shifts every coordinate of the n + nsup objects to start at 0 and
//   divides all of them by rangmax, the largest range (times the single-
//   precision 0.1 for PCNM, method 1).
// x (in,out): rows 1 to n + nsup, columns 1 to ncoord, leading dimension maxn.
// nv (in): capacity of vmin and vrange.  vmin, vrange (out): minimum and
//   range of each coordinate, in the user's units.  rangmax (out).
// report (in,out): the ranging note, and when trace is 1 the ranged matrix
//   (the console then receives the vectors).
// Stops the run (runstop, status 0) when every range is 0 or the ranges
// overflow, before any division.
void range1(int n, int ncoord, int nsup, int maxn, double* x, int nv, double* vmin,
            double* vrange, double& rangmax, int method, stream& report, int trace);

#endif
