#include <cstring>

#include "output/output.h"
#include "output/report.h"
#include "run.h"
#include "sites/sites.h"
#include "textio/textio.h"

namespace {

// The banner, on the console and at the head of the report file.
const layout& bannerlayout()
{
    static const layout L = fmt(
        "(' Program \"Lociweaver\" creates a file of PCNM',/,"
        "' or polynomial spatial variables.',/,/,"
        "' Lociweaver 1.0 -- spatial variables for regression and canonical analysis',/,"
        "' Written by the Lociweaver developers.',/,"
        "' Free software: see the README file for the terms of use.',/,"
        "' Report problems through the project''s issue tracker.',/)");
    return L;
}

// Free-form lines, one per text.
void lines(stream& s, std::initializer_list<const char*> texts)
{
    for (const char* t : texts) wlist(s, {t});
}

}  // namespace

void askint(run& r, int& v)
{
    rbegin(r.io.in);
    rint(r.io.in, v);
    rend(r.io.in);
}

void askreal(run& r, double& v)
{
    rbegin(r.io.in);
    rreal(r.io.in, v);
    rend(r.io.in);
}

void askname(run& r, char* name)
{
    rbegin(r.io.in);
    rtext(r.io.in, name, namelen);
    rend(r.io.in);
}

void initrun(run& r)
{
    initunits(r.io);
    capacity(r);
    std::memset(r.repname, ' ', namelen);
    std::memset(r.varname, ' ', namelen);
}

void banner(run& r)
{
    static const layout maximum = fmt("(' This program can handle a maximum of',I7,' objects.')");
    wfmt(r.io.out, bannerlayout(), {});
    wfmt(r.io.out, maximum, {r.cap});
}

void namefiles(run& r)
{
    stream& con = r.io.out;
    wlist(con, {"Name of output file containing the PCoA eigenvalues?"});
    askname(r, r.repname);
    opennew(r.io.report, r.repname);
    wfmt(r.io.report, bannerlayout(), {});

    wlist(con);
    lines(con, {"Name of output file containing the spatial", "variables (PCNM or monomials)?"});
    askname(r, r.varname);
    opennew(r.io.vars, r.varname);
}

void asklayout(run& r)
{
    r.trace = 0;
    for (;;) {
        wlist(r.io.out);
        lines(r.io.out, {"Output the file of spatial variables in the following format:",
                         "(1) A single line per object",
                         "(2) Folded object vectors, 10 to 12 values per line",
                         "(3) Canoco input file, FREE format"});
        askint(r, r.layout);
        if (r.layout < 0) {
            r.trace = 1;
            // The absolute value of the smallest integer is out of range anyway.
            r.layout = r.layout == -2147483647 - 1 ? 0 : -r.layout;
        }
        if (r.layout >= 1 && r.layout <= 3) return;
    }
}

void askdesign(run& r)
{
    wlist(r.io.out);
    lines(r.io.out, {"Sampling design:", "(1) A transect with equidistant points", "(2) A regular grid",
                     "(3) File containing X or X-Y coordinates"});
    askint(r, r.design);
    if (r.design == 3) {
        readhead(r.n, r.ncoord, r.nsup, r.cap, r.io.report);
        storage(r, r.n + r.nsup);
        readbody(r.n, r.ncoord, r.nsup, r.ld, r.x, r.io.report, r.trace);
    } else if (r.design == 1)
        transect(r);
    else
        grid(r);
    r.savedcoord = r.ncoord;
}

void askmethod(run& r)
{
    stream& con = r.io.out;
    wlist(con);
    lines(con, {"Do you want to construct", "(1) a file of PCNM spatial variables?",
                "(2) a file containing a polynomial of the coordinates?"});
    askint(r, r.method);
    if (r.method != 1 && r.ncoord > 2) {
        wlist(con);
        wlist(con, {"This program can only construct a polynomial for"});
        wlist(con, {"transects or surfaces, not for", r.ncoord, " geographic dimensions"});
        throw runstop{0, nullptr};
    }
}

void ranging(run& r)
{
    range1(r.n, r.ncoord, r.nsup, r.ld, r.x, 3, r.vmin, r.vrange, r.rangmax, r.method, r.io.report,
           r.trace);
}

void construct(run& r)
{
    if (r.method == 1)
        pcnmpath(r);
    else
        polypath(r);
}

void writevars(run& r)
{
    if (r.layout == 3)
        canocofree(r.n, r.savedcoord, r.nvar, r.ld, r.x, r.method, r.order, r.io.vars);
    else
        writeout(r.n, r.savedcoord, r.nvar, r.ld, r.x, r.layout, r.method, r.order, r.io.vars);
    closes(r.io.vars);
}

void closing(run& r)
{
    stream& con = r.io.out;
    wlist(con);
    if (r.method == 1) {
        lines(con, {"The principal coordinates with positive", "eigenvalues (PCNM variables) have been"});
        wlist(con, {"written out to file ", item(r.varname, namelen)});
        float now = timeofday();
        reptime(con, r.tstart, now);
        reptime(r.io.report, r.tstart, now);
    } else {
        wlist(con, {"The monomials have been written out to file ", item(r.varname, namelen)});
    }
    repend(r.io.report);
    repend(con);
}
