// The dialogue's part in reading the coordinates file and ranging the
// sites: its question, console lines, report lines and stops, around the
// reading and ranging routines of the sites module.
#include <cstring>

#include "run.h"
#include "sites/rows.h"
#include "sites/sites.h"
#include "textio/textio.h"

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

    if (unusable) {
        wlist(con, {unusable});
        throw runstop{0, nullptr};
    }
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

void range1(int n, int ncoord, int nsup, int maxn, double* x, int nv, double* vmin,
            double* vrange, double& rangmax, int method, stream& report, int trace)
{
    static const layout announce = fmt(
        "(/,' The coordinates were ranged and centred before',"
        "' computing the spatial variables.')");
    (void)nv;
    stream& con = report.io->out;
    const int ntot = n + nsup;

    wfmt(con, announce, {});
    wfmt(report, announce, {});

    // A refusal: the same free-form line on the console and the report.
    if (const char* refusal = rangecoords(ntot, ncoord, maxn, x, vmin, vrange, rangmax, method)) {
        wlist(con, {refusal});
        wlist(report, {refusal});
        throw runstop{0, nullptr};
    }

    if (trace == 1) {
        item v[4];
        v[0] = item("Vector Minim =");
        for (int j = 0; j < ncoord; ++j) v[j + 1] = item(vmin[j]);
        wlist(con, v, ncoord + 1);
        v[0] = item("Vector Maxim =");
        for (int j = 0; j < ncoord; ++j) v[j + 1] = item(vrange[j]);
        wlist(con, v, ncoord + 1);
        wlist(con, {"Rangmax =", rangmax});
        wlist(con);
        wlist(report);
        wlist(report, {"Matrix X after ranging"});
        wlist(report);
        writerows(report, ntot, ncoord, maxn, x);
        wlist(report);
    }
}
