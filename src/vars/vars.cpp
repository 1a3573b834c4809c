// lociweaver-vars's run: sites in, the analysis of the library, files out.
#include "vars.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "lociweaver.h"
#include "maps/maps.h"
#include "output/output.h"
#include "table/table.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

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
    if (name.size() > size_t(namelen))
        throw varsfailure{name.substr(0, 40) + "...: the name is longer than " + std::to_string(namelen) +
                          " characters: give a shorter path"};
    std::string p = name;
    p.resize(size_t(namelen), ' ');
    return p;
}

// The sites of a coordinates file, read as the dialogue reads it.
runsites coordinatesfile(const std::string& name, units& io)
{
    runsites r;
    sites s;
    std::string p = padded(name);
    note(io.coord, dir_reading, nullptr);
    openold(io.coord, p.c_str());
    try {
        readsites(io.coord, s);
    } catch (const refusal& f) {
        throw varsfailure{name + (f.line > 0 ? ", line " + std::to_string(f.line) : "") + ": " + f.text};
    }
    closes(io.coord);
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
    tablerequest q{o.coords, o.id, o.supplementary};
    sitetable t = readtablefile(o.sites, q);
    if (t.status != table_ok) throw varsfailure{t.message};
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
    if (r.n < 2) throw varsfailure{o.sites + ": " + std::to_string(r.n) + " main site" + (r.n == 1 ? "" : "s") +
                                   ": an analysis needs two or more"};
    return r;
}

// The library's status as the run's failure.
[[noreturn]] void stop(const lw_analysis* a, const std::string& sites)
{
    throw varsfailure{sites + ": " + lw_message(a)};
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

}  // namespace

std::vector<std::string> varsrun(const varsoptions& o, units& io)
{
    std::vector<std::string> said;
    runsites s = o.coords.empty() ? coordinatesfile(o.sites, io) : tablefile(o);
    const bool pcnm = o.order == 0;
    if (!pcnm && (o.positive || !o.moran.empty()))
        throw varsfailure{"--polynomial: the monomials have no Moran's I (--select and --moran are for PCNM)"};

    std::unique_ptr<lw_analysis, void (*)(lw_analysis*)> a(lw_new(), lw_free);
    if (!a) throw varsfailure{"not enough memory for an analysis"};
    if (lw_sites(a.get(), s.n, s.nsup, s.ncoord, s.x.data()) != LW_OK) stop(a.get(), o.sites);
    lw_threads(a.get(), o.threads);
    double limit = o.limit;
    if (pcnm) {
        char text[40] = "";
        if (o.mst) {
            if (lw_treelimit(a.get(), &limit, text) != LW_OK) stop(a.get(), o.sites);
            said.push_back(std::string("Limit ") + text + " (the longest edge of the minimum spanning tree)");
        } else {
            said.push_back("Limit " + shortest(limit) + " (given)");
        }
        lw_pcnm(a.get(), limit);
    } else {
        lw_polynomial(a.get(), o.order);
    }
    if (lw_run(a.get()) != LW_OK) stop(a.get(), o.sites);

    // The variables written: all, or those of positive autocorrelation.
    const int n = lw_rows(a.get()), count = lw_count(a.get());
    const double* v = lw_variables(a.get());
    const double* mi = lw_moran(a.get());
    std::vector<int> keep;
    for (int j = 0; j < count; ++j)
        if (!o.positive || (mi && mi[j] > mi[j + count])) keep.push_back(j);
    const int k = int(keep.size());
    const char* prefix = pcnm ? "PCNM" : "Mono";
    said.push_back(std::to_string(k) + (pcnm ? " PCNM variables" : " monomials") + " of " + std::to_string(n) +
                   " main sites" + (o.positive ? " (of " + std::to_string(count) + ", those whose Moran's I is above its expectation)" : "") +
                   " written to " + o.output);

    // Refusals of existing files before any is written.
    for (const std::string* f : {&o.output, &o.moran}) {
        if (f->empty() || o.force) continue;
        int err = 0, fd = osopen(f->c_str(), err);
        if (fd >= 0) {
            osclose(fd);
            throw varsfailure{*f + ": exists: an output file is never overwritten (--force replaces it)"};
        }
    }

    writeall(io.vars, o.output, o.force, [&] {
        if (o.layout == 0) {
            std::string head = field(o.id.empty() ? "site" : o.id);
            for (int j : keep) head += "," + std::string(prefix) + std::to_string(j + 1);
            wrecord(io.vars, head);
            for (int i = 0; i < n; ++i) {
                std::string row = field(s.labels[size_t(i)]);
                for (int j : keep) row += "," + shortest(v[size_t(i) + size_t(j) * size_t(n)]);
                wrecord(io.vars, row);
            }
            return;
        }
        std::vector<double> x(size_t(n) * size_t(k > 0 ? k : 1));
        for (int c = 0; c < k; ++c)
            for (int i = 0; i < n; ++i) x[size_t(i) + size_t(c) * size_t(n)] = v[size_t(i) + size_t(keep[size_t(c)]) * size_t(n)];
        const int method = pcnm ? 1 : 2;
        if (o.layout == 3)
            canocofree(n, s.ncoord, k, n, x.data(), method, o.order, io.vars);
        else
            writeout(n, s.ncoord, k, n, x.data(), o.layout, method, o.order, io.vars);
    });
    if (!o.moran.empty()) {
        try {
            writeall(io.report, o.moran, o.force, [&] {
                wrecord(io.report, "variable,eigenvalue,moran,expectation,sd,z");
                for (int j : keep)
                    wrecord(io.report, std::string(prefix) + std::to_string(j + 1) + "," +
                                           shortest(lw_eigenvalues(a.get())[j]) + "," + shortest(mi[j]) + "," +
                                           shortest(mi[j + count]) + "," + shortest(mi[j + 2 * count]) + "," +
                                           shortest(mi[j + 3 * count]));
            });
        } catch (...) {
            std::remove(o.output.c_str());
            throw;
        }
        said.push_back("Moran's I of each variable written to " + o.moran);
    }
    return said;
}
