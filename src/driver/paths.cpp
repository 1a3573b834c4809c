// The two constructions as the run meets them: their questions, and the
// routines that compute into the run's storage.
#include <cstdlib>
#include <cstring>

#include "cli/cli.h"
#include "output/report.h"
#include "pcnm/pcnm.h"
#include "poly/poly.h"
#include "run.h"
#include "textio/os.h"
#include "sites/limit.h"
#include "textio/textio.h"

namespace {

// The decomposition of ntot objects with its progress line, shown on the
// error stream when that is a terminal (LOCIWEAVER_PROGRESS=never keeps it
// quiet, =always shows it from the first step) and erased however the
// analysis ends; then the summary of its eigenvalues on the report.
void analysis(run& r, int ntot, int& npos)
{
    pcoasums s;
    {
        progress& prog = r.io.prog;
        progressline line;
        bool always = false;
        bool on = progressshown(std::getenv("LOCIWEAVER_PROGRESS"), always);
        progbegin(prog, ntot, on ? drawprogress : nullptr, &line, always);
        struct eraser {
            progress& p;
            ~eraser() { progend(p); }
        } erase{prog};
        // corlin is idle until correl, after the accepted attempt: the solver's work
        pcoa(ntot, r.ld, r.perm, r.d, r.eig, r.off, r.x, r.w1, r.w2, npos, s, r.corlin, &prog);
    }
    repsums(r.io.report, s.possum, s.negsum, s.trace, npos);
}

// The correlation check of the PCNM variables over the main objects, its
// advice on the console and its line on the report; a variable of zero
// variance stops the run, named on the report alone.
void check(run& r)
{
    static const layout console = fmt("(' The largest (absolute) correlation value is',F7.4)");
    double largest = 0;
    int zero = correl(r.n, r.nvar, r.x, r.ld, r.w1, r.w2, r.w3, r.w4, r.corlin, r.xprime, largest);
    if (zero > 0) {
        wlist(r.io.report, {"Variance nulle pour variable X no ", zero});
        throw runstop{0, nullptr};
    }
    stream& con = r.io.out;
    wlist(con);
    wlist(con, {"The use of supplementary objects in the computations"});
    wlist(con, {"induces correlations among the spatial variables."});
    wfmt(con, console, {largest});
    wlist(con, {"If you find this value acceptable, keep the matrix of"});
    wlist(con, {"PCNM variables built by this program. If you find "});
    wlist(con, {"this value too high, rerun the program using fewer"});
    wlist(con, {"supplementary objects."});
    repcorrel(r.io.report, largest);
}

// Asks for the truncation limit until an attempt keeps fewer PCNM variables
// than objects minus one; returns the PCNM count of the accepted attempt.
int truncation(run& r, int ntot)
{
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
        replimit(rep, scaled * r.rangmax);

        truncate(ntot, r.ld, r.d, scaled);
        int npos = 0;
        analysis(r, ntot, npos);
        repeigen(rep, ntot, r.eig);

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
    rephead(r.io.report);
    r.tstart = timeofday();
    int ntot = r.n + r.nsup;
    distances(ntot, r.ncoord, r.ld, r.x, r.d);
    r.nvar = truncation(r, ntot);
    if (r.nsup > 0) check(r);
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
    reppoly(r.io.report, r.order);
    monomials(r.n, r.savedcoord, r.order, r.ld, r.x);
    r.nvar = m;
}
