// The two constructions as the run meets them: their questions, and the
// routines that compute into the run's storage.
#include "pcnm/pcnm.h"
#include "poly/poly.h"
#include "run.h"
#include "sites/limit.h"
#include "textio/textio.h"

namespace {

// Asks for the truncation limit until an attempt keeps fewer PCNM variables
// than objects minus one; returns the PCNM count of the accepted attempt.
int truncation(run& r, int ntot)
{
    static const layout highest = fmt("('    Highest unmodified distance value = ',F12.3)");
    static const layout large = fmt("('    Multiplier for \"large distances\"  = ',F12.3)");
    static const layout values = fmt("(1X,8F12.6)");
    static const layout verdict = fmt(
        "(' Truncation of the distance matrix to the distance',F12.3,/,' yielded',I5,"
        "' positive eigenvalues.')");
    stream& con = r.io.out;
    stream& rep = r.io.report;
    for (;;) {
        wlist(con);
        wlist(con, {"Truncation of the distance matrix --"});
        wlist(con);
        wlist(con, {"Highest unmodified value in distance matrix?"});
        wlist(con, {"Type an integer or a real number, ex. 1 or 65.22."});
        wlist(con, {"Use the SAME measurement units as the site coordinates."});
        askreal(r, r.limit);

        double scaled = scaledlimit(r.limit, r.rangmax);
        if (r.trace == 1) wlist(con, {"Bs/rangmax =", scaled});
        wlist(con);
        wfmt(rep, highest, {scaled * r.rangmax});
        wfmt(rep, large, {multiplier});

        truncate(ntot, r.ld, r.d, scaled);
        int npos = 0;
        // corlin is idle until correl, after the accepted attempt: the solver's work
        pcoa(ntot, r.ld, r.perm, r.d, r.eig, r.off, r.x, r.w1, r.w2, npos, rep, r.corlin);
        wlist(rep, {"Eigenvalues of the PCoA:"});
        wlist(rep);
        // Eight values a line: eight at a time writes the same lines.
        for (int k = 0; k < ntot; k += 8) {
            item v[8];
            int m = ntot - k < 8 ? ntot - k : 8;
            for (int j = 0; j < m; ++j) v[j] = item(r.eig[k + j]);
            wfmt(rep, values, v, m);
        }

        if (npos < ntot - 1) {
            wfmt(con, verdict, {scaled * r.rangmax, npos});
            return npos;
        }
        wlist(con);
        wlist(con, {"Truncation of the distance matrix using limit ", scaled});
        wlist(con, {"yielded a PCNM matrix containing ", npos, " variables."});
        wlist(con, {"There are too many PCNMs: R-square=1, not signif."});
        wlist(con, {"Choose a lower truncation limit."});
    }
}

}  // namespace

void pcnmpath(run& r)
{
    wlist(r.io.report);
    wlist(r.io.report, {"Matrix of PCNM spatial variables"});
    r.tstart = timeofday();
    int ntot = r.n + r.nsup;
    distances(ntot, r.ncoord, r.ld, r.x, r.d);
    r.nvar = truncation(r, ntot);
    if (r.nsup > 0)
        correl(r.n, r.nvar, r.x, r.ld, r.w1, r.w2, r.w3, r.w4, r.corlin, r.xprime, r.io.report);
}

void polypath(run& r)
{
    stream& con = r.io.out;
    int m;
    for (;;) {
        wlist(con);
        wlist(con, {"Order of the polynomial? 2 to 5"});
        askint(r, r.order);
        if (r.order <= 1) {
            wlist(con, {"You don't want to compute a polynomial of order", r.order});
            wlist(con, {"Try again..."});
            continue;
        }
        if (r.order > 5) {
            wlist(con, {"The highest polynomial order in this program is 5."});
            wlist(con, {"Try again..."});
            continue;
        }
        m = nmono(r.savedcoord, r.order);
        if (r.savedcoord != 1 && m >= r.n - 1) {
            wlist(con, {"A polynomial of order ", r.order, " leads to a spatial"});
            wlist(con, {"matrix containing ", m, " monomials, which is too many:"});
            wlist(con, {"more monomials than (number of objects - 1)."});
            wlist(con, {"Please choose a smaller order for the polynomial."});
            continue;
        }
        break;
    }
    wlist(r.io.report);
    wlist(r.io.report, {"Constructing a polynomial of order ", r.order});
    monomials(r.n, r.savedcoord, r.order, r.ld, r.x);
    r.nvar = m;
}
