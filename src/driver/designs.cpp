#include <cstring>

#include "run.h"
#include "sites/sites.h"
#include "textio/textio.h"

namespace {

double& at(run& r, int i, int j) { return r.x[size_t(i - 1) + size_t(j - 1) * size_t(r.ld)]; }

// Writes the n grid points of r to Grid.txt, a new file, one record a point.
void savegrid(run& r)
{
    static const layout point = fmt("(1X,3F5.0)");
    char name[namelen];
    std::memset(name, ' ', sizeof name);
    std::memcpy(name, "Grid.txt", 8);
    opennew(r.io.grid, name);
    for (int i = 1; i <= r.n; ++i) wfmt(r.io.grid, point, {at(r, i, 1), at(r, i, 2)});
    closes(r.io.grid);
    wlist(r.io.out);
    wlist(r.io.out, {"The X-Y coordinates of the points on the grid"});
    wlist(r.io.out, {"were written out to the file \"Grid.txt\" "});
}

}  // namespace

void transect(run& r)
{
    stream& con = r.io.out;
    r.ncoord = 1;
    r.nsup = 0;
    for (;;) {
        wlist(con);
        wlist(con, {"Number of objects?"});
        askint(r, r.n);
        if (r.n >= 1 && r.n <= r.cap) break;
        wlist(con, {"You are joking, I hope?"});
        wlist(con, {"Maximum number = ", r.cap});
    }
    wlist(r.io.report, {" Unidimensional transect with equidistant points"});
    storage(r, r.n);
    designpoints(r.n, 1, 1, r.ld, r.x);
}

void grid(run& r)
{
    static const layout summary = fmt(
        "(' Regular grid containing',/,I7,' horizontal points',/,I7,' vertical points',/)");
    stream& con = r.io.out;
    r.ncoord = 2;
    r.nsup = 0;
    for (;;) {
        wlist(con);
        wlist(con, {"Regular grid: "});
        wlist(con, {"number of rows and columns of points (two integers)"});
        rbegin(r.io.in);
        rint(r.io.in, r.nx);
        rint(r.io.in, r.ny);
        rend(r.io.in);
        if (r.nx <= 0 || r.ny <= 0) continue;
        // The true product, which 32 bits could not hold for large answers.
        long long points = static_cast<long long>(r.nx) * r.ny;
        if (points <= r.cap) {
            r.n = int(points);
            break;
        }
        wlist(con, {"These dimensions yield an excessive number of points."});
        wlist(con, {"Use a smaller grid, or redimension and recompile"});
        wlist(con, {"the program."});
    }
    wfmt(r.io.report, summary, {r.nx, r.ny});
    storage(r, r.n);

    designpoints(r.nx, r.ny, 2, r.ld, r.x);

    wlist(con);
    wlist(con, {"Save the file of X-Y coordinates?"});
    wlist(con, {"(0) No, (1) Yes"});
    askint(r, r.save);
    if (r.save == 1) savegrid(r);
}
