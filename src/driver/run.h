// The run: its state and all of its storage.  The driver owns it; every
// routine below the driver receives the parts it needs as arguments.
// A program of capacity MAXN holds its storage from the start, each matrix
// MAXN x MAXN; the program whose capacity is the machine's (built with
// MAXN = 0) allocates it once, when the number of objects is known, for
// that many objects.
#ifndef LOCIWEAVER_DRIVER_RUN_H
#define LOCIWEAVER_DRIVER_RUN_H

#include "textio/stream.h"

struct run {
    units io;

    // Run state: every integer and real starts at 0 and every text is blank,
    // so that a null answer keeps that value.
    char repname[namelen];   // report file name
    char varname[namelen];   // spatial-variable file name
    int layout = 0;          // 1 one line per object, 2 folded, 3 Canoco FREE
    int trace = 0;           // 1 when trace mode is on
    int design = 0;          // 1 transect, 3 coordinates file, else grid
    int nx = 0, ny = 0;      // grid points along X and along Y
    int save = 0;            // 1 to save Grid.txt
    int n = 0;               // main objects
    int ncoord = 0;          // coordinates
    int savedcoord = 0;      // coordinates before the method question
    int nsup = 0;            // supplementary objects
    int method = 0;          // 1 PCNM, else polynomial
    int order = 0;           // polynomial order
    int nvar = 0;            // spatial variables built
    double limit = 0;        // truncation limit, in the user's units
    double rangmax = 0;      // common divisor of the coordinates
    float tstart = 0;        // seconds since midnight when PCNM began
    int cap = 0;             // capacity: the most objects of a run
    int ld = 0;              // leading dimension of the matrices

    // Storage, by columns with leading dimension ld (see storage.cpp).
    double* x = nullptr;       // sites, then spatial variables
    double* d = nullptr;       // distances: untruncated below, truncated above
    double* corlin = nullptr;  // correlations among PCNM variables
    double* xprime = nullptr;  // transpose of the standardised variables
    double* eig = nullptr;     // eigenvalues
    double* off = nullptr;     // off-diagonal of the tridiagonal matrix
    double *w1 = nullptr, *w2 = nullptr, *w3 = nullptr, *w4 = nullptr;  // work vectors
    int* perm = nullptr;       // permutation of the sorted eigenvalues
    double vmin[3], vrange[3];  // ranging vectors
};

// capacity: sets r.cap, the largest number of objects a run may have.
void capacity(run& r);

// storage: makes the storage of r ready for ntot objects (1 <= ntot <=
//   r.cap), setting r.ld and the matrices and vectors, all zero.  A program
//   of fixed capacity has it already; the other allocates it, once.
// Stops the run (runstop, status 0) after a console line that says how
// much memory the run needs when the system cannot give it.
void storage(run& r, int ntot);

// One answer from the console, read by one free-form read: an integer, a
// real, or a file name of namelen characters.  A null answer keeps v.
void askint(run& r, int& v);
void askreal(run& r, double& v);
void askname(run& r, char* name);

// The steps of the run, in the order of the dialogue.
void initrun(run& r);
void banner(run& r);
void namefiles(run& r);
void asklayout(run& r);
void askdesign(run& r);
void askmethod(run& r);
void ranging(run& r);
void construct(run& r);
void writevars(run& r);
void closing(run& r);

// The coordinates file: readhead asks for it, opens it on r.io.coord (it
//   stays open to the end of the run), reads the header into n, ncoord and
//   nsup, writes the summary to report and stops the run (runstop, status
//   0) after a console line when the counts are unusable or the objects
//   exceed maxn; readbody then reads the n + nsup groups into x (leading
//   dimension ld) and, when trace is 1, writes them to report.
void readhead(int& n, int& ncoord, int& nsup, int maxn, stream& report);
void readbody(int n, int ncoord, int nsup, int ld, double* x, stream& report, int trace);

// range1: ranges the n + nsup sites of x (rangecoords, leading dimension
//   maxn; vmin, vrange and rangmax out, nv their capacity) after the
//   ranging note on the console and report; when trace is 1, the vectors
//   on the console and the ranged matrix on the report.  A divisor that
//   cannot be used stops the run (runstop, status 0) after its line on
//   both.
void range1(int n, int ncoord, int nsup, int maxn, double* x, int nv, double* vmin,
            double* vrange, double& rangmax, int method, stream& report, int trace);

// The built-in designs.
void transect(run& r);
void grid(run& r);

// The two constructions.
void pcnmpath(run& r);
void polypath(run& r);

// Time of day in whole seconds since local midnight.
float timeofday();

// The closing pause; returns the exit status.
int closingpause(units& io);

#endif
