// lociweaver-vars's run: sites in, the analysis of the library, files out.
#include "vars.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "geo/lonlat.h"
#include "lociweaver.h"
#include "maps/maps.h"
#include "output/output.h"
#include "output/report.h"
#include "table/table.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

// The options besides --help: the texts are read by varsoptionsof, the
// whole numbers are refused by cliread outside their range.
const clioption options[] = {
    {"--coords", opt_text, 0, 0},
    {"--lonlat", opt_text, 0, 0},
    {"--id", opt_text, 0, 0},
    {"--supplementary", opt_text, 0, 0},
    {"--limit", opt_text, 0, 0},
    {"--polynomial", opt_whole, 2, 5},
    {"--first", opt_whole, 1, 100000},
    {"--layout", opt_whole, 1, 3},
    {"--moran", opt_text, 0, 0},
    {"--report", opt_text, 0, 0},
    {"--select", opt_text, 0, 0},
    {"--threads", opt_whole, 1, 256},
    {"--new", opt_two, 0, 0},
    {"--force", opt_flag, 0, 0},
};

const char* const help[] = {
    "usage: lociweaver-vars [options] SITES OUTPUT",
    "",
    "Builds the spatial variables of the sites of SITES and writes them to OUTPUT:",
    "PCNM variables (by default, the limit that of the minimum spanning tree) or",
    "the monomials of a polynomial of the coordinates.",
    "",
    "SITES is a coordinates file as lociweaver reads it, or with --coords a table",
    "with a header line (CSV or TSV: comma, tab, or semicolon with decimal commas;",
    "quoted fields, a byte-order mark and CR LF line ends are accepted).",
    "OUTPUT is a CSV table: the site label, then PCNM1, PCNM2, ... (Mono1, ... for",
    "a polynomial), every value written so that it reads back as the same number.",
    "",
    "options:",
    "  --coords X[,Y[,Z]]  the table's coordinate columns (one to three)",
    "  --lonlat LON,LAT    the table's longitude and latitude columns in degrees (1,2:",
    "                      a coordinates file's two coordinates): geodesic distances",
    "                      on the WGS84 ellipsoid, in km, the limit in km",
    "  --id NAME           the table's column of site labels",
    "  --supplementary NAME",
    "                      the table's column whose 1 marks a supplementary site",
    "  --limit L|mst       the truncation limit, in the coordinates' units (mst:",
    "                      the longest edge of the minimum spanning tree, the default)",
    "  --polynomial ORDER  the monomials of a polynomial of order 2 to 5",
    "  --first K           only the K leading PCNM variables, from the pairs of sites",
    "                      within the limit alone (for large surveys)",
    "  --layout 1|2|3      OUTPUT (and NEWOUTPUT) as lociweaver writes it: one line",
    "                      per object, folded, or a Canoco file",
    "  --moran FILE        a table of each variable's eigenvalue and Moran's I",
    "  --report FILE       the run's record as lociweaver's report file has it from",
    "                      the construction on: the limit, the eigenvalues, ...",
    "  --select positive   only the variables whose Moran's I is above its expectation",
    "  --threads K         the threads of the computation (default: every processor)",
    "  --new NEWSITES NEWOUTPUT",
    "                      the variables at sites that took no part in the analysis",
    "                      (a file of the same kind as SITES), as OUTPUT is written",
    "  --force             replace OUTPUT, FILE and NEWOUTPUT when they exist",
    "  --help              this text",
    "",
    "Exit status: 0 when the files are written; 2 when SITES cannot be read or",
    "used, an option is wrong, an output file exists, or the analysis stops.",
};


std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> out;
    size_t a = 0;
    for (size_t c; (c = text.find(',', a)) != std::string::npos; a = c + 1) out.push_back(text.substr(a, c - a));
    out.push_back(text.substr(a));
    return out;
}

// The sites of a run: main first, in the order of the file, then the
// supplementary ones; a label for each main site.
struct runsites {
    int n = 0, nsup = 0, ncoord = 0;
    std::vector<double> x;  // n + nsup rows
    std::vector<std::string> labels;
};

// The name as the text layer opens it: namelen characters, blank-padded.
std::string padded(const std::string& name)
{
    char p[namelen];
    if (!clifits(name, p)) throw clifailure{name.substr(0, 40) + "...: " + varscli.longname};
    return std::string(p, size_t(namelen));
}

// The refusal of the longitude and latitude of a coordinates file's sites
// that lie outside their ranges, with the line of the site's record and the
// coordinate's column (1 longitude, 2 latitude).
void checklonlat(const std::string& name, const sites& s)
{
    const int ntot = s.n + s.nsup;
    if (s.ncoord != 2)
        throw clifailure{name + ": " + std::to_string(s.ncoord) +
                         " coordinates, where --lonlat 1,2 reads a longitude and a latitude"};
    for (int i = 0; i < ntot; ++i) {
        int which = 0;
        const double lon = s.x[size_t(i)], lat = s.x[size_t(i) + size_t(ntot)];
        const char* why = lonlatwhy(lon, lat, which);
        if (!why) continue;
        throw clifailure{name + ", line " + std::to_string(s.lines[size_t(i)]) + ", column " + std::to_string(which) +
                         (which == 1 ? " (longitude): " + shortest(lon) + " is not a longitude: "
                                     : " (latitude): " + shortest(lat) + " is not a latitude: ") +
                         why};
    }
}

// The sites of a coordinates file, read as the dialogue reads it; with
// lonlat, refused when they are no longitudes and latitudes.
runsites coordinatesfile(const std::string& name, units& io, bool lonlat)
{
    runsites r;
    sites s;
    std::string p = padded(name);
    note(io.coord, dir_reading, nullptr);
    openold(io.coord, p.c_str());
    try {
        readsites(io.coord, s);
    } catch (const refusal& f) {
        throw clifailure{name + (f.line > 0 ? ", line " + std::to_string(f.line) : "") + ": " + f.text};
    }
    closes(io.coord);
    if (lonlat) checklonlat(name, s);
    r.n = s.n;
    r.nsup = s.nsup;
    r.ncoord = s.ncoord;
    r.x = s.x;
    for (int i = 1; i <= s.n; ++i) r.labels.push_back(std::to_string(i));
    return r;
}

// The sites of a table, the supplementary rows moved after the main ones.
runsites tablefile(const varsoptions& o)
{
    tablerequest q{o.coords, o.id, o.supplementary, o.lonlat};
    sitetable t = readtablefile(o.sites, q);
    if (t.status != table_ok) throw clifailure{t.message};
    runsites r;
    r.ncoord = t.ncoord;
    const size_t rows = t.rows;
    for (size_t i = 0; i < rows; ++i) (t.supplementary[i] ? r.nsup : r.n) += 1;
    r.x.resize(rows * size_t(t.ncoord));
    size_t main = 0, sup = size_t(r.n);
    for (size_t i = 0; i < rows; ++i) {
        size_t to = t.supplementary[i] ? sup++ : main++;
        for (int j = 0; j < t.ncoord; ++j) r.x[to + size_t(j) * rows] = t.x[i + size_t(j) * rows];
        if (!t.supplementary[i]) r.labels.push_back(t.labels.empty() ? std::to_string(i + 1) : t.labels[i]);
    }
    if (r.n < 2) throw clifailure{o.sites + ": " + std::to_string(r.n) + " main site" + (r.n == 1 ? "" : "s") +
                                   ": an analysis needs two or more"};
    return r;
}

// The new sites of --new: every site of the file (a coordinates file's
// supplementary ones too, a table's rows whatever its --supplementary
// column says), with the coordinates of the analysis.
runsites newsitesof(const varsoptions& o, int ncoord, units& io)
{
    runsites r;
    if (o.coords.empty()) {
        r = coordinatesfile(o.newsites, io, o.lonlat);
        for (int i = r.n + 1; i <= r.n + r.nsup; ++i) r.labels.push_back(std::to_string(i));
    } else {
        tablerequest q{o.coords, o.id, "", o.lonlat};
        sitetable t = readtablefile(o.newsites, q);
        if (t.status != table_ok) throw clifailure{t.message};
        r.ncoord = t.ncoord;
        r.n = int(t.rows);
        r.x = t.x;
        for (size_t i = 0; i < t.rows; ++i) r.labels.push_back(t.labels.empty() ? std::to_string(i + 1) : t.labels[i]);
    }
    r.n += r.nsup;
    r.nsup = 0;
    if (r.ncoord != ncoord)
        throw clifailure{o.newsites + ": " + std::to_string(r.ncoord) + " coordinates, where the sites have " +
                         std::to_string(ncoord)};
    return r;
}

// The library's status as the run's failure.
[[noreturn]] void stop(const lw_analysis* a, const std::string& sites)
{
    throw clifailure{sites + ": " + lw_message(a)};
}

// Opens the file name on s for writing: refused when it exists unless
// force, which removes it first.
void create(stream& s, const std::string& name, bool force)
{
    std::string p = padded(name);
    if (force) std::remove(name.c_str());
    opennew(s, p.c_str());
}

// Writes the records of body on s, then closes it; a failure removes the
// file before it passes on.
template <typename F>
void writeall(stream& s, const std::string& name, bool force, F body)
{
    create(s, name, force);
    try {
        body();
        closes(s);
    } catch (...) {
        std::remove(name.c_str());
        throw;
    }
}

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string q = "\"";
    for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

// Writes the columns keep of the variables v (n rows of count columns, by
// columns) of the sites with the labels and ncoord coordinates on out, in
// the layout of o: the CSV table (a label and the shortest decimal of
// every value), or one of the dialogue's three layouts.
void writevariables(stream& out, const varsoptions& o, const std::vector<std::string>& labels, int n,
                    int ncoord, const double* v, int count, const std::vector<int>& keep)
{
    const int k = int(keep.size());
    const bool pcnm = o.order == 0;
    if (o.layout == 0) {
        const std::string prefix = pcnm ? ",PCNM" : ",Mono";
        std::string row = field(o.id.empty() ? "site" : o.id);
        for (int j : keep) row += prefix + std::to_string(j + 1);
        wrecord(out, row);
        for (int i = 0; i < n; ++i) {
            row = field(labels[size_t(i)]);
            for (int j : keep) row += "," + shortest(v[size_t(i) + size_t(j) * size_t(n)]);
            wrecord(out, row);
        }
        return;
    }
    // The columns kept, gathered only when some are left out.
    std::vector<double> x;
    if (k < count) {
        x.resize(size_t(n) * size_t(k > 0 ? k : 1));
        for (int c = 0; c < k; ++c)
            for (int i = 0; i < n; ++i)
                x[size_t(i) + size_t(c) * size_t(n)] = v[size_t(i) + size_t(keep[size_t(c)]) * size_t(n)];
        v = x.data();
    }
    const int method = pcnm ? 1 : 2;
    if (o.layout == 3)
        canocofree(n, ncoord, k, n, v, method, o.order, out);
    else
        writeout(n, ncoord, k, n, v, o.layout, method, o.order, out);
}

// Writes the record of the run a on rep, as the dialogue's report has it
// from the construction on: a polynomial of the order (> 0), else PCNM
// with nsup supplementary sites, whose computation ran from the time of day start to now.
void record(stream& rep, const lw_analysis* a, int order, int nsup, bool lonlat, float start, float now)
{
    if (order > 0) {
        reppoly(rep, order);
    } else {
        double sums[3];
        lw_sums(a, sums);
        const int ntot = lw_rows(a) + nsup;
        rephead(rep);
        replimit(rep, lw_scaledlimit(a) * lw_rangmax(a));
        if (lonlat) wrecord(rep, "    Distances: geodesic on the WGS84 ellipsoid, in km (longitude, latitude)");
        repsums(rep, sums[0], sums[1], sums[2], lw_count(a));
        repeigen(rep, ntot, lw_eigenvalues(a));
        if (nsup > 0) repcorrel(rep, lw_correlation(a));
        reptime(rep, start, now);
    }
    repend(rep);
}

}  // namespace

// Two operands, SITES and OUTPUT; the options anywhere among them.
const cliform varscli = {
    "lociweaver-vars", "usage: lociweaver-vars [options] SITES OUTPUT", help, sizeof help / sizeof help[0],
    options, sizeof options / sizeof options[0], false, 2, 2,
    "the name is longer than 79 characters: give a shorter path",
    "exists: an output file is never overwritten (--force replaces it)",
    "not enough memory for these sites",
};

varsoptions varsoptionsof(const cliline& line)
{
    varsoptions o;
    o.sites = line.operands.at(0);
    o.output = line.operands.at(1);
    if (const cligiven* g = cliget(line, "--coords")) {
        o.coords = split(g->text);
        if (o.coords.size() > 3) throw clifailure{"--coords: one to three columns"};
    }
    if (const cligiven* g = cliget(line, "--lonlat")) {
        if (!o.coords.empty()) throw clifailure{"--lonlat: the coordinates are those of --coords or of --lonlat, not both"};
        std::vector<std::string> names = split(g->text);
        if (names.size() != 2 || names[0].empty() || names[1].empty())
            throw clifailure{"--lonlat: the longitude and the latitude, two names (1,2 for a coordinates file)"};
        o.lonlat = true;
        if (names[0] != "1" || names[1] != "2") o.coords = names;
    }
    if (const cligiven* g = cliget(line, "--id")) o.id = g->text;
    if (const cligiven* g = cliget(line, "--supplementary")) o.supplementary = g->text;
    if (const cligiven* g = cliget(line, "--limit")) {
        const std::string& t = g->text;
        o.mst = t == "mst";
        if (!o.mst && (!ostodouble(t.data(), t.data() + t.size(), o.limit) || !(o.limit > 0)))
            throw clifailure{"--limit: must be a positive number or mst"};
    }
    if (const cligiven* g = cliget(line, "--polynomial")) o.order = int(g->whole);
    if (const cligiven* g = cliget(line, "--first")) o.first = int(g->whole);
    if (const cligiven* g = cliget(line, "--layout")) o.layout = int(g->whole);
    if (const cligiven* g = cliget(line, "--moran")) o.moran = g->text;
    if (const cligiven* g = cliget(line, "--report")) o.report = g->text;
    if (const cligiven* g = cliget(line, "--select")) {
        if (g->text != "positive" && g->text != "all") throw clifailure{"--select: positive or all"};
        o.positive = g->text == "positive";
    }
    if (const cligiven* g = cliget(line, "--threads")) o.threads = int(g->whole);
    if (const cligiven* g = cliget(line, "--new")) {
        o.newsites = g->text;
        o.newoutput = g->second;
    }
    o.force = cliget(line, "--force") != nullptr;
    if (o.order > 0 && !o.mst) throw clifailure{"--limit: a polynomial has no truncation limit"};
    if (o.order > 0 && o.lonlat) throw clifailure{"--lonlat: longitude and latitude are for PCNM variables, not a polynomial"};
    if (o.order > 0 && o.first > 0) throw clifailure{"--first: the leading variables are PCNM variables"};
    if (o.first > 0 && o.layout > 0) throw clifailure{"--first: the leading variables are written as a CSV table"};
    if (o.first > 0 && !o.report.empty()) throw clifailure{"--first: the record is that of an analysis of every variable"};
    if (!o.moran.empty() && o.moran == o.output) throw clifailure{"--moran: the same file as OUTPUT"};
    if (!o.report.empty() && o.report == o.output) throw clifailure{"--report: the same file as OUTPUT"};
    if (!o.report.empty() && o.report == o.moran) throw clifailure{"--report: the same file as --moran"};
    if (!o.newoutput.empty() && o.order > 0) throw clifailure{"--new: new sites are placed in a PCNM analysis"};
    for (const std::string* f : {&o.output, &o.moran, &o.report})
        if (!o.newoutput.empty() && *f == o.newoutput) throw clifailure{"--new: NEWOUTPUT is another output's file"};
    return o;
}

std::vector<std::string> varsrun(const varsoptions& o, units& io)
{
    std::vector<std::string> said;
    runsites s = o.coords.empty() ? coordinatesfile(o.sites, io, o.lonlat) : tablefile(o);
    runsites ns;
    if (!o.newsites.empty()) ns = newsitesof(o, s.ncoord, io);
    const bool pcnm = o.order == 0;
    if (!pcnm && (o.positive || !o.moran.empty()))
        throw clifailure{"--polynomial: the monomials have no Moran's I (--select and --moran are for PCNM)"};

    std::unique_ptr<lw_analysis, void (*)(lw_analysis*)> a(lw_new(), lw_free);
    if (!a) throw clifailure{"not enough memory for an analysis"};
    if (lw_sites(a.get(), s.n, s.nsup, s.ncoord, s.x.data()) != LW_OK) stop(a.get(), o.sites);
    if (o.lonlat) {
        if (lw_lonlat(a.get(), 1) != LW_OK) throw clifailure{std::string("--lonlat: ") + lw_message(a.get())};
        said.push_back("Distances: geodesic on the WGS84 ellipsoid, in km");
    }
    const char* km = o.lonlat ? " km" : "";
    lw_threads(a.get(), o.threads);
    lw_progress(a.get(), o.tell, o.context, o.always);
    double limit = o.limit;
    const float start = float(ossecondofday());  // the computation's start, for the record
    if (pcnm) {
        char text[40] = "";
        if (o.mst) {
            if (lw_treelimit(a.get(), &limit, text) != LW_OK) stop(a.get(), o.sites);
            said.push_back(std::string("Limit ") + text + km + " (the longest edge of the minimum spanning tree)");
        } else {
            said.push_back("Limit " + shortest(limit) + km + " (given)");
        }
        lw_pcnm(a.get(), limit);
        lw_first(a.get(), o.first);
    } else {
        lw_polynomial(a.get(), o.order);
    }
    if (lw_run(a.get()) != LW_OK) stop(a.get(), o.sites);
    if (o.first > 0 && lw_missing(a.get()) > 0)
        said.push_back("Of the " + std::to_string(o.first) + " leading eigenvalues, " +
                       std::to_string(lw_missing(a.get())) + " are not positive: " +
                       std::to_string(lw_count(a.get())) + " variables");

    // The variables written: all, or those of positive autocorrelation.
    const int n = lw_rows(a.get()), count = lw_count(a.get());
    // The Moran's I table only when the run uses it: it is computed on asking.
    const double* mi = o.positive || !o.moran.empty() ? lw_moran(a.get()) : nullptr;
    if ((o.positive || !o.moran.empty()) && !mi)
        throw clifailure{o.sites + ": not enough memory for the Moran's I of " + std::to_string(n) + " sites"};
    std::vector<int> keep;
    for (int j = 0; j < count; ++j)
        if (!o.positive || (mi && mi[j] > mi[j + count])) keep.push_back(j);
    const int k = int(keep.size());
    const char* prefix = pcnm ? "PCNM" : "Mono";
    said.push_back(std::to_string(k) + (pcnm ? " PCNM variables" : " monomials") + " of " + std::to_string(n) +
                   " main sites" + (o.positive ? " (of " + std::to_string(count) + ", those whose Moran's I is above its expectation)" : "") +
                   " written to " + o.output);

    // Refusals of existing files before any is written.
    for (const std::string* f : {&o.output, &o.moran, &o.report, &o.newoutput}) {
        if (f->empty() || o.force) continue;
        int err = 0, fd = osopen(f->c_str(), err);
        if (fd >= 0) {
            osclose(fd);
            throw clifailure{*f + ": " + varscli.exists};
        }
    }

    // The files, each removed again when a later one fails.
    std::vector<std::string> written;
    try {
        writeall(io.vars, o.output, o.force, [&] {
            writevariables(io.vars, o, s.labels, n, s.ncoord, lw_variables(a.get()), count, keep);
        });
        written.push_back(o.output);
        const float now = float(ossecondofday());
        if (!o.moran.empty()) {
            writeall(io.grid, o.moran, o.force, [&] {
                wrecord(io.grid, "variable,eigenvalue,moran,expectation,sd,z");
                for (int j : keep)
                    wrecord(io.grid, std::string(prefix) + std::to_string(j + 1) + "," +
                                         shortest(lw_eigenvalues(a.get())[j]) + "," + shortest(mi[j]) + "," +
                                         shortest(mi[j + count]) + "," + shortest(mi[j + 2 * count]) + "," +
                                         shortest(mi[j + 3 * count]));
            });
            written.push_back(o.moran);
        }
        if (!o.report.empty()) {
            writeall(io.report, o.report, o.force, [&] { record(io.report, a.get(), o.order, s.nsup, o.lonlat, start, now); });
            written.push_back(o.report);
        }
        if (!o.newoutput.empty()) {
            std::vector<double> at(size_t(ns.n) * size_t(count));
            if (ns.n > 0 && lw_place(a.get(), ns.n, ns.x.data(), at.data()) != LW_OK) stop(a.get(), o.newsites);
            writeall(io.vars, o.newoutput, o.force,
                     [&] { writevariables(io.vars, o, ns.labels, ns.n, ns.ncoord, at.data(), count, keep); });
        }
    } catch (...) {
        for (const std::string& f : written) std::remove(f.c_str());
        throw;
    }
    if (!o.moran.empty()) said.push_back("Moran's I of each variable written to " + o.moran);
    if (!o.report.empty()) said.push_back("The run's record written to " + o.report);
    if (!o.newoutput.empty())
        said.push_back("The variables of " + std::to_string(ns.n) + " new sites written to " + o.newoutput);
    return said;
}
