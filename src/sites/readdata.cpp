#include <cstring>

#include "rows.h"
#include "sites.h"
#include "textio/textio.h"

namespace {

// Stops the run after one console line.
[[noreturn]] void refuse(stream& con, const char* text)
{
    wlist(con, {text});
    throw runstop{0, nullptr};
}

}  // namespace

const char* readheader(stream& file, int& n, int& ncoord, int& nsup)
{
    rbegin(file);
    rint(file, n);
    rint(file, ncoord);
    rint(file, nsup);
    rend(file);

    // Later steps need at least one object, one to three coordinates and no
    // negative count.
    if (n < 1) return "The number of objects must be at least 1.";
    if (ncoord < 1 || ncoord > 3) return "The number of coordinates must be 1, 2 or 3.";
    if (nsup < 0) return "The number of supplementary objects cannot be negative.";
    return nullptr;
}

void readgroups(stream& file, int ntot, int ncoord, int ld, double* x)
{
    for (int i = 0; i < ntot; ++i) {
        rbegin(file);
        for (int j = 0; j < ncoord; ++j) rreal(file, x[i + size_t(j) * size_t(ld)]);
        rend(file);
    }
}

void readhead(int& n, int& ncoord, int& nsup, int maxn, stream& report)
{
    static const layout echo = fmt("(' Input file of coordinates: ',A30)");
    static const layout summary = fmt(
        "(/,' Input file: ',A30,/,I6,' objects',/,I6,' coordinates',/,I6,"
        "' supplementary objects',/)");
    static const layout toomany = fmt("(' Too many points (sites). Redimension the program.')");

    units& io = *report.io;
    stream& con = io.out;
    stream& file = io.coord;
    char name[namelen];
    std::memset(name, ' ', sizeof name);

    wlist(con);
    wlist(con, {"File containing the coordinates?"});
    rbegin(io.in);
    rtext(io.in, name, namelen);
    rend(io.in);
    openold(file, name);

    const char* unusable = readheader(file, n, ncoord, nsup);

    wfmt(con, echo, {item(name, namelen)});
    wfmt(report, summary, {item(name, namelen), n, ncoord, nsup});

    if (unusable) refuse(con, unusable);
    // The sum is formed without 32-bit overflow.
    if (static_cast<long long>(n) + nsup > maxn) {
        wfmt(con, toomany, {});
        throw runstop{0, nullptr};
    }
}

void readbody(int n, int ncoord, int nsup, int ld, double* x, stream& report, int trace)
{
    int ntot = n + nsup;
    readgroups(report.io->coord, ntot, ncoord, ld, x);

    if (trace == 1) {
        wlist(report);
        wlist(report, {"Matrice X"});
        wlist(report);
        writerows(report, ntot, ncoord, ld, x);
        wlist(report);
    }
}

void readdata(int& n, int& ncoord, int& nsup, int maxn, double* x, stream& report, int trace)
{
    readhead(n, ncoord, nsup, maxn, report);
    readbody(n, ncoord, nsup, maxn, x, report, trace);
}
