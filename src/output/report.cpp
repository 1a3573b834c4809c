#include "report.h"

#include "pcnm/pcnm.h"
#include "textio/textio.h"

void rephead(stream& rep)
{
    wlist(rep);
    wlist(rep, {"Matrix of PCNM spatial variables"});
}

void replimit(stream& rep, double highest)
{
    static const layout kept = fmt("('    Highest unmodified distance value = ',F12.3)");
    static const layout large = fmt("('    Multiplier for \"large distances\"  = ',F12.3)");
    wfmt(rep, kept, {highest});
    wfmt(rep, large, {multiplier});
}

void repsums(stream& rep, double possum, double negsum, double trace, int npos)
{
    static const layout sums = fmt(
        "(/,' Sum of positive eigenvalues         ',F15.5,/,"
        "' Sum of negative eigenvalues         ',F15.5,/,"
        "' Trace of Gower-centred matrix       ',F15.5)");
    static const layout count = fmt("(/,' Number of positive eigenvalues:',I4,/)");
    wlist(rep);
    wfmt(rep, sums, {possum, negsum, trace});
    wfmt(rep, count, {npos});
}

void repeigen(stream& rep, int ntot, const double* eig)
{
    static const layout values = fmt("(1X,8F12.6)");
    wlist(rep, {"Eigenvalues of the PCoA:"});
    wlist(rep);
    // Eight values a line: eight at a time writes the same lines.
    for (int k = 0; k < ntot; k += 8) {
        item v[8];
        int m = ntot - k < 8 ? ntot - k : 8;
        for (int j = 0; j < m; ++j) v[j] = item(eig[k + j]);
        wfmt(rep, values, v, m);
    }
}

void repcorrel(stream& rep, double largest)
{
    static const layout record =
        fmt("(/,' Largest absolute correlation value between two',' spatial variables:',F7.4)");
    wfmt(rep, record, {largest});
}

void reppoly(stream& rep, int order)
{
    wlist(rep);
    wlist(rep, {"Constructing a polynomial of order ", order});
}

void reptime(stream& s, float start, float now)
{
    static const layout elapsed = fmt("(/,' Computation time:',F10.2,' sec.')");
    float seconds = now - start;
    if (seconds < 0) seconds += 86400.0f;  // the run passed midnight
    wfmt(s, elapsed, {seconds});
}

void repend(stream& s)
{
    wlist(s);
    wlist(s, {"End of the program."});
}
