// lociweaver-vars: a whole run from the command line.  main only reads the
// command line, calls varsrun and reports.
#include <cstring>
#include <new>
#include <string>

#include "textio/os.h"
#include "textio/textio.h"
#include "vars.h"

namespace {

units io;

const char* const usage = "usage: lociweaver-vars [options] SITES OUTPUT";

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
    "  --id NAME           the table's column of site labels",
    "  --supplementary NAME",
    "                      the table's column whose 1 marks a supplementary site",
    "  --limit L|mst       the truncation limit, in the coordinates' units (mst:",
    "                      the longest edge of the minimum spanning tree, the default)",
    "  --polynomial ORDER  the monomials of a polynomial of order 2 to 5",
    "  --layout 1|2|3      OUTPUT as lociweaver writes it: one line per object,",
    "                      folded, or a Canoco file",
    "  --moran FILE        a table of each variable's eigenvalue and Moran's I",
    "  --select positive   only the variables whose Moran's I is above its expectation",
    "  --threads K         the threads of the computation (default: every processor)",
    "  --force             replace OUTPUT and FILE when they exist",
    "  --help              this text",
    "",
    "Exit status: 0 when the files are written; 2 when SITES cannot be read or",
    "used, an option is wrong, an output file exists, or the analysis stops.",
};

struct bad {
    std::string line;
};

// The whole text as a whole number from lo to hi.
long whole(const std::string& option, const char* text, long lo, long hi)
{
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno || v < lo || v > hi)
        throw bad{option + ": must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi)};
    return v;
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> out;
    size_t a = 0;
    for (size_t c; (c = text.find(',', a)) != std::string::npos; a = c + 1) out.push_back(text.substr(a, c - a));
    out.push_back(text.substr(a));
    return out;
}

// The one-line message of a failed open, read or write.
std::string said(const ioerror& e)
{
    std::string m = e.message;
    if (std::strcmp(e.context, "open") == 0)
        return m == "'new' file exists" ? "exists: an output file is never overwritten (--force replaces it)"
                                        : "cannot be opened: " + m;
    if (m == "end of file") return "the file ends before all its values";
    std::string where = e.s->lines > 0 ? "line " + std::to_string(e.s->lines) + ": " : "";
    if (std::strcmp(e.context, "invalid number") == 0) return where + "a value is not a number";
    if (std::strcmp(e.context, "invalid integer") == 0) return where + "a count is not a whole number";
    return where + e.context + ": " + m;
}

}  // namespace

int main(int argc, char** argv)
{
    osstart();
    initunits(io);
    int status = 0;
    std::string fail;
    try {
        varsoptions o;
        std::vector<std::string> files;
        bool helped = false;
        for (int a = 1; a < argc; ++a) {
            std::string w = argv[a];
            bool valued = w == "--coords" || w == "--id" || w == "--supplementary" || w == "--limit" ||
                          w == "--polynomial" || w == "--layout" || w == "--moran" || w == "--select" ||
                          w == "--threads";
            if (valued && a + 1 >= argc) throw bad{w + ": needs a value"};
            if (w == "--help") {
                helped = true;
            } else if (w == "--force") {
                o.force = true;
            } else if (w == "--coords") {
                o.coords = split(argv[++a]);
                if (o.coords.size() > 3) throw bad{"--coords: one to three columns"};
            } else if (w == "--id") {
                o.id = argv[++a];
            } else if (w == "--supplementary") {
                o.supplementary = argv[++a];
            } else if (w == "--limit") {
                const char* t = argv[++a];
                o.mst = std::strcmp(t, "mst") == 0;
                if (!o.mst && (!ostodouble(t, t + std::strlen(t), o.limit) || !(o.limit > 0)))
                    throw bad{"--limit: must be a positive number or mst"};
            } else if (w == "--polynomial") {
                o.order = int(whole(w, argv[++a], 2, 5));
            } else if (w == "--layout") {
                o.layout = int(whole(w, argv[++a], 1, 3));
            } else if (w == "--moran") {
                o.moran = argv[++a];
            } else if (w == "--select") {
                std::string v = argv[++a];
                if (v != "positive" && v != "all") throw bad{"--select: positive or all"};
                o.positive = v == "positive";
            } else if (w == "--threads") {
                o.threads = int(whole(w, argv[++a], 1, 256));
            } else if (w.size() > 1 && w[0] == '-' && w[1] == '-') {
                throw bad{w + ": is no option"};
            } else {
                files.push_back(w);
            }
        }
        if (helped) {
            for (const char* h : help) wrecord(io.out, h);
        } else if (files.size() != 2) {
            errline(io, usage);
            errline(io, "Try 'lociweaver-vars --help' for more information.");
            status = 2;
        } else {
            o.sites = files[0];
            o.output = files[1];
            if (o.order > 0 && !o.mst) throw bad{"--limit: a polynomial has no truncation limit"};
            if (!o.moran.empty() && o.moran == o.output) throw bad{"--moran: the same file as OUTPUT"};
            for (const std::string& line : varsrun(o, io)) wrecord(io.out, line);
        }
    } catch (const ioerror& e) {
        fail = std::string(e.s->console ? "standard output" : e.s->name) + ": " + said(e);
    } catch (const bad& b) {
        fail = b.line;
    } catch (const varsfailure& f) {
        fail = f.line;
    } catch (const std::bad_alloc&) {
        fail = "not enough memory for these sites";
    }
    if (!fail.empty()) {
        errline(io, ("lociweaver-vars: " + fail).c_str());
        status = 2;
    }
    return closeall(io, status);
}
