// The library's boundary: an analysis is a handle that owns its sites, its
// options, its storage and its results.  Each call checks its arguments,
// runs the routines of the dialogue in the dialogue's order on storage of
// its own, and turns every stop into a status and a message; nothing
// crosses this boundary as an exception.
#include "lociweaver.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "first/first.h"
#include "geo/geodesic.h"
#include "sites/cells.h"
#include "maps/maps.h"
#include "pcnm/pcnm.h"
#include "pcnm/threads.h"
#include "poly/poly.h"
#include "sites/limit.h"
#include "sites/sites.h"
#include "textio/os.h"
#include "threshold/emst.h"
#include "threshold/mst.h"
#include "textio/stream.h"

struct lw_analysis {
    // input
    int n = 0, nsup = 0, ncoord = 0;
    std::vector<double> xy;  // n + nsup rows, ncoord columns
    int method = 0;          // 1 PCNM, 2 polynomial, 0 none chosen
    bool lonlat = false;     // longitude and latitude, geodesic distances in km
    double limit = 0;
    int order = 0;
    int first = 0;           // PCNM: the leading variables alone, 0 all
    int threads = 0;
    int path = -1;           // the kernels' vector path, -1 the best
    lw_progressfn tell = nullptr;
    void* context = nullptr;
    bool always = false;

    // results
    bool done = false;
    int count = 0, missing = 0;
    double rangmax = 0, scaled = 0, largest = 0;
    pcoasums sums;
    std::vector<double> vars, eig;
    // The Moran's I table, made when first asked for (most runs never ask).
    mutable std::vector<double> moran;
    mutable bool moranmade = false;
    std::string message;

    // what places new sites in the analysis: the ranging (vmin, rangmax),
    // the ranged analysed sites, the row means of their matrix, their
    // principal coordinates before any standardisation (with supplementary
    // sites; without, the variables are they), and the main sites' means
    // and standard deviations of the standardisation
    std::vector<double> vmin, ranged, rowmean, pc, stdmean, stdsd;
};

namespace {

// The status, its words kept in a.
int fail(lw_analysis* a, int status, const std::string& words)
{
    a->message = words;
    return status;
}

// The shortest decimal text that reads back as v (the R package has no
// maps/svg.cpp, whose shortest() says the same).
std::string decimal(double v)
{
    char out[40];
    std::to_chars_result r = std::to_chars(out, out + sizeof out, v);
    return std::string(out, r.ptr);
}

// The check of m sites (xy, m rows) as longitude and latitude: 0, or the
// status of a refusal, its words naming the site (from 1; "new site" for
// new ones) and the value.
int checklonlat(lw_analysis* a, int m, const double* xy, const char* what)
{
    for (int i = 0; i < m; ++i) {
        int which = 0;
        const char* why = lonlatwhy(xy[i], xy[size_t(i) + size_t(m)], which);
        if (why)
            return fail(a, LW_BADINPUT, std::string(what) + " " + std::to_string(i + 1) + ", " +
                                            (which == 1 ? "longitude " : "latitude ") +
                                            decimal(xy[size_t(i) + size_t(which - 1) * size_t(m)]) + ": " + why);
    }
    return LW_OK;
}

// Whether the ntot sites of ll (longitude, latitude) are all at one place:
// every geodesic distance from the first is 0.
bool oneplace(int ntot, const double* ll)
{
    for (int i = 1; i < ntot; ++i)
        if (!(geodist(ll[0], ll[ntot], ll[i], ll[size_t(i) + size_t(ntot)]) == 0)) return false;
    return true;
}

const char* const samesite = "All the sites are at one place: no spatial variable can be built.";

// Sets the thread count of the calling thread for the life of a scope.
struct usethreads {
    explicit usethreads(int k) { setthreads(k); }
    ~usethreads() { setthreads(0); }
};

// The progress of one decomposition of order n, told to a's callback from
// the scope's start, and ended however the scope ends.
struct telling {
    progress prog;
    telling(const lw_analysis* a, int n) { progbegin(prog, n, a->tell, a->context, a->always); }
    ~telling() { progend(prog); }
};

// The same for the vector path.
struct usepath {
    explicit usepath(int path) { setpath(path); }
    ~usepath() { setpath(-1); }
};

// Storage aligned to 64 bytes, as the dialogue's driver aligns its arrays:
// the kernels' vector loads and stores then never straddle two cache lines
// (from the allocator alone, a matrix starts 16 bytes into one, and a run
// takes some 15 % longer).
template <typename T>
struct aligned {
    using value_type = T;
    aligned() = default;
    template <typename U>
    aligned(const aligned<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(64))); }
    void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t(64)); }
    bool operator==(const aligned&) const { return true; }
    bool operator!=(const aligned&) const { return false; }
};
using doubles = std::vector<double, aligned<double>>;

// The storage of one run, ld = ntot rows, as the dialogue's driver holds it;
// xprime, which only the correlation check uses, only with supplementary
// sites.
struct storage {
    int ld;
    doubles x, d, corlin, xprime, eig, off, w1, w2, w3, w4, ranged;
    std::vector<int> perm;
    explicit storage(int ntot, int ncoord, bool pcnm, bool supplementary)
        : ld(ntot), x(size_t(ntot) * size_t(ntot > ncoord ? ntot : ncoord)), eig(size_t(ntot)),
          off(size_t(ntot)), w1(size_t(ntot)), w2(size_t(ntot)), w3(size_t(ntot)), w4(size_t(ntot)),
          perm(size_t(ntot))
    {
        if (pcnm) {
            d.assign(size_t(ntot) * size_t(ntot), 0.0);
            corlin.assign(size_t(ntot) * size_t(ntot), 0.0);
            if (supplementary) xprime.assign(size_t(ntot) * size_t(ntot), 0.0);
        }
    }
};

// The PCNM analysis of a's sites, ranged in s.x: the dialogue's path with
// the accepted limit.
int pcnm(lw_analysis* a, storage& s)
{
    const int ntot = a->n + a->nsup, ld = s.ld;
    s.ranged.assign(s.x.begin(), s.x.begin() + size_t(ld) * size_t(a->ncoord));
    if (a->lonlat)
        geodistances(ntot, ld, s.x.data(), ld, s.d.data());
    else
        distances(ntot, a->ncoord, ld, s.x.data(), s.d.data());
    a->scaled = scaledlimit(a->limit, a->rangmax);
    truncate(ntot, ld, s.d.data(), a->scaled);
    int npos = 0;
    {
        telling t(a, ntot);
        progress& prog = t.prog;
        try {
            pcoa(ntot, ld, s.perm.data(), s.d.data(), s.eig.data(), s.off.data(), s.x.data(), s.w1.data(),
                 s.w2.data(), npos, a->sums, s.corlin.data(), &prog);
        } catch (const runstop& stop) {
            return fail(a, LW_ITERATIONS, stop.stop ? stop.stop : "Too many iterations in TQLI");
        }
        if (prog.stop) return fail(a, LW_CANCELLED, "the analysis was cancelled");
    }
    a->eig.assign(s.eig.begin(), s.eig.end());
    a->ranged.assign(s.ranged.begin(), s.ranged.end());
    a->rowmean.assign(s.w1.begin(), s.w1.end());
    if (npos >= ntot - 1)
        return fail(a, LW_TOOMANY,
                    "There are too many PCNMs: R-square=1, not signif. Choose a lower truncation limit.");
    // Without supplementary sites the variables are these coordinates.
    if (a->nsup > 0) a->pc.assign(s.x.begin(), s.x.begin() + size_t(ld) * size_t(npos));
    if (a->nsup > 0) {
        int zero = correl(a->n, npos, s.x.data(), ld, s.w1.data(), s.w2.data(), s.w3.data(), s.w4.data(),
                          s.corlin.data(), s.xprime.data(), a->largest);
        if (zero > 0) return fail(a, LW_ZEROVARIANCE, "Variance nulle pour variable X no  " + std::to_string(zero));
        a->stdmean.assign(s.w3.begin(), s.w3.begin() + npos);
        a->stdsd.assign(s.w4.begin(), s.w4.begin() + npos);
    }
    a->count = npos;

    return LW_OK;
}

// The monomials of a's polynomial of the sites ranged in s.x, after the
// dialogue's refusals of the order.
int polynomial(lw_analysis* a, storage& s)
{
    if (a->ncoord > 2)
        return fail(a, LW_BADINPUT, "a polynomial is computed of one or two coordinates, not " +
                                        std::to_string(a->ncoord));
    int m = nmono(a->ncoord, a->order);
    if (a->ncoord != 1 && m >= a->n - 1)
        return fail(a, LW_BADINPUT, "A polynomial of order " + std::to_string(a->order) +
                                        " leads to a spatial matrix containing " + std::to_string(m) +
                                        " monomials, which is too many: more monomials than (number of objects - 1).");
    monomials(a->n, a->ncoord, a->order, s.ld, s.x.data());
    a->count = m;
    return LW_OK;
}

// The share of the physical memory that the leading variables may take.
const double firstshare = 0.75;

// The leading a->first PCNM variables of a's sites, without any matrix of
// the sites' order: the pairs within the limit, the eigenpairs of the
// centred matrix from them (first.h), the principal coordinates of the
// positive ones, and the checks of the dialogue's path on those columns.
int firstpcnm(lw_analysis* a)
{
    const int ntot = a->n + a->nsup, nc = a->ncoord;
    std::vector<double> xr(a->xy);
    double vmin[3], vrange[3];
    if (a->lonlat) {
        a->rangmax = 1;
    } else {
        const char* refusal = rangecoords(ntot, nc, ntot, xr.data(), vmin, vrange, a->rangmax, 1);
        if (refusal) return fail(a, a->rangmax == 0 ? LW_SAMEPLACE : LW_TOOWIDE, refusal);
        a->vmin.assign(vmin, vmin + nc);
    }
    a->scaled = scaledlimit(a->limit, a->rangmax);

    // The memory, said before it is taken.
    firstopts o;
    const int k = a->first;
    const int p = blockfor(ntot, k, o);
    double need = solverbytes(ntot, p) + 2.0 * double(ntot) * double(k) * sizeof(double);
    unsigned long long total = 0, avail = 0;
    osmemory(total, avail);
    auto nomemory = [&](double bytes) {
        return fail(a, LW_NOMEMORY,
                    "Not enough memory: the " + std::to_string(k) + " leading variables of " + std::to_string(ntot) +
                        " sites need " + std::to_string((long long)(bytes / 1048576.0) + 1) + " MB of the " +
                        std::to_string((long long)(double(total) / 1048576.0)) +
                        " MB of this machine; ask for fewer variables.");
    };
    if (total > 0 && need > firstshare * double(total)) return nomemory(need);
    // The pairs counted first, without storing them; stored when they fit,
    // else found again by every product.
    nearrows rows;
    bool storing = false;
    try {
        if (a->lonlat) {
            // Geodesic pairs are always stored, in the sites' own order.
            storing = true;
            pairs p;
            geopairs(ntot, ntot, xr.data(), a->scaled, p);
            pairrows(ntot, p, rows);
            need += pairbytes(ntot, double(rows.partners) / 2);
        } else {
            nearfly(ntot, nc, ntot, xr.data(), a->scaled, rows);
            const double stored = pairbytes(ntot, double(rows.partners) / 2);
            if (total == 0 || need + stored <= firstshare * double(total)) {
                storing = true;
                nearpairs(ntot, nc, ntot, xr.data(), a->scaled, rows);
                need += stored;
            }
        }
    } catch (const std::bad_alloc&) {
        if (!storing || a->lonlat) return nomemory(need);
        try {
            nearfly(ntot, nc, ntot, xr.data(), a->scaled, rows);
        } catch (const std::bad_alloc&) {
            return nomemory(need);
        }
    }
    if (total > 0 && need > firstshare * double(total)) return nomemory(need);

    std::vector<double> eig, vec;
    firstinfo info;
    {
        telling t(a, ntot);
        progress& prog = t.prog;
        try {
            info = leading(rows, k, o, eig, vec, &prog);
        } catch (const std::bad_alloc&) {
            return nomemory(need);
        }
    }
    if (info.status == 3) return fail(a, LW_CANCELLED, "the analysis was cancelled");
    if (info.status == 1)
        return fail(a, LW_UNCONVERGED, "the leading eigenvalues did not converge in " +
                                           std::to_string(info.products) + " products");
    if (info.status == 2)
        return fail(a, LW_RESIDUAL, "eigenpair " + std::to_string(info.failed + 1) +
                                        " failed its residual check");

    // Eigenvalues of the centred matrix: 8t^2 times those of J (I + W) J;
    // the positive ones (not below postol) give the variables.
    const double c = 8.0 * a->scaled * a->scaled;
    int npos = 0;
    for (int j = 0; j < info.found; ++j) {
        eig[size_t(j)] = eig[size_t(j)] * c;
        if (eig[size_t(j)] >= postol && npos == j) ++npos;
    }
    if (npos >= ntot - 1)
        return fail(a, LW_TOOMANY,
                    "There are too many PCNMs: R-square=1, not signif. Choose a lower truncation limit.");
    for (int j = 0; j < npos; ++j) {
        double v = eig[size_t(j)];
        double f = double(float(std::sqrt(v)));
        double* col = vec.data() + size_t(j) * ntot;
        for (int i = 0; i < ntot; ++i) col[i] = col[i] * f;
    }
    // What new sites are placed from: the row means of the centred
    // matrix, -8t^2 (ntot - 1 - ws) / ntot for a site of weights' sum ws,
    // and the coordinates before their standardisation.
    a->rowmean.assign(size_t(ntot), 0.0);
    for (int r = 0; r < ntot; ++r)
        a->rowmean[size_t(rows.site[size_t(r)])] = -c * ((double(ntot) - 1 - rows.ws[size_t(r)]) / double(ntot));
    if (a->nsup > 0) {
        a->pc.assign(vec.begin(), vec.begin() + size_t(ntot) * size_t(npos));
        std::vector<double> w(4 * size_t(npos > 0 ? npos : 1));
        int zero = stdcols(a->n, npos, vec.data(), ntot, w.data(), w.data() + npos, w.data() + 2 * npos,
                           w.data() + 3 * npos, a->largest);
        if (zero > 0) return fail(a, LW_ZEROVARIANCE, "Variance nulle pour variable X no  " + std::to_string(zero));
        a->stdmean.assign(w.begin() + 2 * npos, w.begin() + 3 * npos);
        a->stdsd.assign(w.begin() + 3 * npos, w.begin() + 4 * npos);
    }
    a->count = npos;
    a->missing = k - npos;
    a->eig.assign(eig.begin(), eig.begin() + npos);
    double possum = 0, wsum = 0;
    for (int j = 0; j < npos; ++j) possum = possum + a->eig[size_t(j)];
    wsum = rows.wall;
    a->sums.possum = possum;
    a->sums.negsum = std::nan("");
    a->sums.trace = c * (double(ntot) - (double(ntot) + wsum) / double(ntot));
    a->ranged.assign(xr.begin(), xr.begin() + size_t(ntot) * size_t(nc));
    a->vars.resize(size_t(a->n) * size_t(npos));
    for (int j = 0; j < npos; ++j)
        for (int i = 0; i < a->n; ++i) a->vars[size_t(i) + size_t(j) * a->n] = vec[size_t(i) + size_t(j) * ntot];
    return LW_OK;
}

int compute(lw_analysis* a)
{
    if (a->lonlat) {
        if (int status = checklonlat(a, a->n + a->nsup, a->xy.data(), "site")) return status;
        if (oneplace(a->n + a->nsup, a->xy.data())) return fail(a, LW_SAMEPLACE, samesite);
    }
    if (a->method == 1 && a->first > 0) return firstpcnm(a);
    const int ntot = a->n + a->nsup;
    storage s(ntot, a->method == 2 ? (a->ncoord > 1 ? 20 : 5) : a->ncoord, a->method == 1, a->nsup > 0);
    for (int j = 0; j < a->ncoord; ++j)
        for (int i = 0; i < ntot; ++i) s.x[size_t(i) + size_t(j) * s.ld] = a->xy[size_t(i) + size_t(j) * ntot];
    std::vector<double> vmin(size_t(a->ncoord)), vrange(size_t(a->ncoord));
    if (a->lonlat) {
        // Geodesic distances in km: nothing is ranged.
        a->rangmax = 1;
    } else {
        const char* refusal =
            rangecoords(ntot, a->ncoord, s.ld, s.x.data(), vmin.data(), vrange.data(), a->rangmax, a->method);
        if (refusal) return fail(a, a->rangmax == 0 ? LW_SAMEPLACE : LW_TOOWIDE, refusal);
    }
    a->vmin = vmin;
    int status = a->method == 1 ? pcnm(a, s) : polynomial(a, s);
    if (status != LW_OK) return status;
    a->vars.resize(size_t(a->n) * size_t(a->count));
    for (int j = 0; j < a->count; ++j)
        for (int i = 0; i < a->n; ++i) a->vars[size_t(i) + size_t(j) * a->n] = s.x[size_t(i) + size_t(j) * s.ld];
    return LW_OK;
}

}  // namespace

lw_analysis* lw_new(void) { return new (std::nothrow) lw_analysis; }

void lw_free(lw_analysis* a) { delete a; }

const char* lw_message(const lw_analysis* a) { return a ? a->message.c_str() : "no analysis"; }

int lw_sites(lw_analysis* a, int n, int nsup, int ncoord, const double* xy)
{
    if (!a) return LW_BADINPUT;
    a->done = false;
    if (n < 1 || nsup < 0 || ncoord < 1 || ncoord > 3 || !xy || n > 2147483647 - nsup)
        return fail(a, LW_BADINPUT, "the sites need at least one main site and 1 to 3 coordinates");
    const size_t ntot = size_t(n + nsup), count = ntot * size_t(ncoord);
    for (size_t k = 0; k < count; ++k)
        if (!std::isfinite(xy[k]))
            return fail(a, LW_BADINPUT, "coordinate " + std::to_string(k / ntot + 1) + " of site " +
                                            std::to_string(k % ntot + 1) + " is not a finite number");
    try {
        a->xy.assign(xy, xy + count);
    } catch (const std::bad_alloc&) {
        return fail(a, LW_NOMEMORY, "not enough memory for the sites");
    }
    a->n = n;
    a->nsup = nsup;
    a->ncoord = ncoord;
    a->message.clear();
    return LW_OK;
}

int lw_pcnm(lw_analysis* a, double limit)
{
    if (!a) return LW_BADINPUT;
    if (std::isnan(limit)) return fail(a, LW_BADINPUT, "the truncation limit is not a number");
    a->done = false;
    a->method = 1;
    a->limit = limit;
    return LW_OK;
}

int lw_first(lw_analysis* a, int k)
{
    if (!a) return LW_BADINPUT;
    if (k < 0) return fail(a, LW_BADINPUT, "the leading variables asked for are 0 (all) or more");
    a->done = false;
    a->first = k;
    return LW_OK;
}

int lw_lonlat(lw_analysis* a, int on)
{
    if (!a) return LW_BADINPUT;
    if (on && !geoavailable()) return fail(a, LW_NOGEODESIC, geomissing);
    a->done = false;
    a->lonlat = on != 0;
    return LW_OK;
}

int lw_polynomial(lw_analysis* a, int order)
{
    if (!a) return LW_BADINPUT;
    if (order < 2 || order > 5)
        return fail(a, LW_BADINPUT, "the polynomial's order is 2 to 5, not " + std::to_string(order));
    a->done = false;
    a->method = 2;
    a->order = order;
    return LW_OK;
}

int lw_treelimit(lw_analysis* a, double* limit, char* text)
{
    if (!a || !limit) return LW_BADINPUT;
    const int ntot = a->n + a->nsup;
    if (ntot < 2) return fail(a, LW_BADINPUT, "the tree's limit needs two sites or more");
    if (a->lonlat) {
        if (a->ncoord != 2) return fail(a, LW_BADINPUT, "longitude and latitude are two coordinates, not " + std::to_string(a->ncoord));
        if (int status = checklonlat(a, ntot, a->xy.data(), "site")) return status;
    }
    try {
        std::vector<double> x(a->xy);
        double vmin[3], vrange[3], rangmax = 0;
        if (a->lonlat) {
            int i = 0, j = 0;
            double edge = 0;
            geotree(ntot, ntot, x.data(), i, j, edge);
            if (edge == 0) return fail(a, LW_SAMEPLACE, samesite);
            char out[40];
            if (answer(edge, 1.0, out) == 0 || !ostodouble(out, out + std::strlen(out), *limit))
                return fail(a, LW_TOOWIDE, "The longest edge of the tree is beyond the largest number lociweaver can read.");
            if (text) std::memcpy(text, out, std::strlen(out) + 1);
            return LW_OK;
        }
        const char* refusal = rangecoords(ntot, a->ncoord, ntot, x.data(), vmin, vrange, rangmax, 1);
        if (refusal) return fail(a, rangmax == 0 ? LW_SAMEPLACE : LW_TOOWIDE, refusal);
        int from = 0;
        double edge = 0;
        longest(ntot, a->ncoord, size_t(ntot), x.data(), from, edge);
        char out[40];
        if (answer(edge, rangmax, out) == 0 || !ostodouble(out, out + std::strlen(out), *limit))
            return fail(a, LW_TOOWIDE, "The longest edge of the tree is beyond the largest number lociweaver can read.");
        if (text) std::memcpy(text, out, std::strlen(out) + 1);
    } catch (const std::bad_alloc&) {
        return fail(a, LW_NOMEMORY, "not enough memory for the tree of " + std::to_string(ntot) + " sites");
    }
    return LW_OK;
}

int lw_progress(lw_analysis* a, lw_progressfn tell, void* context, int always)
{
    if (!a) return LW_BADINPUT;
    a->tell = tell;
    a->context = context;
    a->always = always != 0;
    return LW_OK;
}

int lw_threads(lw_analysis* a, int k)
{
    if (!a) return LW_BADINPUT;
    if (k < 0) return fail(a, LW_BADINPUT, "the thread count is 0 (every processor) or more");
    a->threads = k;
    return LW_OK;
}

int lw_vectors(lw_analysis* a, int width)
{
    if (!a) return LW_BADINPUT;
    int path = width == 0 ? -1 : width == 2 ? path_base : width == 4 ? path_avx2 : width == 8 ? path_avx512 : -2;
    if (path == -2) return fail(a, LW_BADINPUT, "the vector width is 0 (the widest), 2, 4 or 8");
    if (path >= 0 && !runs(path))
        return fail(a, LW_BADINPUT, "this processor does not run " + std::to_string(width) + " doubles at a time");
    a->path = path;
    return LW_OK;
}

int lw_run(lw_analysis* a)
{
    if (!a) return LW_BADINPUT;
    a->done = false;
    a->count = a->missing = 0;
    a->rangmax = a->scaled = a->largest = 0;
    a->sums = pcoasums{};
    a->vars.clear();
    a->eig.clear();
    a->moran.clear();
    a->moranmade = false;
    for (std::vector<double>* v : {&a->vmin, &a->ranged, &a->rowmean, &a->pc, &a->stdmean, &a->stdsd}) v->clear();
    if (a->n == 0) return fail(a, LW_BADINPUT, "no sites were given");
    if (a->method == 0) return fail(a, LW_BADINPUT, "no method was chosen (lw_pcnm or lw_polynomial)");
    if (a->method == 1 && a->n + a->nsup < 2) return fail(a, LW_BADINPUT, "a PCNM analysis needs two sites or more");
    if (a->lonlat && a->method == 2)
        return fail(a, LW_BADINPUT, "longitude and latitude are for PCNM variables, not for a polynomial");
    if (a->lonlat && a->ncoord != 2)
        return fail(a, LW_BADINPUT, "longitude and latitude are two coordinates, not " + std::to_string(a->ncoord));
    usethreads use(a->threads);
    usepath vectors(a->path);
    int status;
    try {
        status = compute(a);
    } catch (const std::bad_alloc&) {
        status = fail(a, LW_NOMEMORY, "not enough memory for an analysis of " + std::to_string(a->n + a->nsup) +
                                          " sites");
    }
    a->done = status == LW_OK;
    if (a->done) a->message.clear();
    return status;
}

int lw_count(const lw_analysis* a) { return a && a->done ? a->count : 0; }
int lw_missing(const lw_analysis* a) { return a && a->done ? a->missing : 0; }
int lw_rows(const lw_analysis* a) { return a && a->done ? a->n : 0; }
const double* lw_variables(const lw_analysis* a) { return a && a->done ? a->vars.data() : nullptr; }
double lw_rangmax(const lw_analysis* a) { return a && a->done ? a->rangmax : 0; }
double lw_scaledlimit(const lw_analysis* a) { return a && a->done ? a->scaled : 0; }
const double* lw_eigenvalues(const lw_analysis* a)
{
    return a && a->done && !a->eig.empty() ? a->eig.data() : nullptr;
}
int lw_sums(const lw_analysis* a, double* sums)
{
    if (!a || !a->done || !sums) return LW_NOTRUN;
    sums[0] = a->sums.possum;
    sums[1] = a->sums.negsum;
    sums[2] = a->sums.trace;
    return LW_OK;
}
double lw_correlation(const lw_analysis* a) { return a && a->done ? a->largest : 0; }
const double* lw_moran(const lw_analysis* a)
{
    if (!a || !a->done || a->method != 1) return nullptr;
    if (!a->moranmade) {
        // Over the pairs of main sites within the limit, as lociweaver-maps
        // computes it (for the leading variables without supplementary
        // sites, from their eigenvalues); a variable whose I cannot be
        // computed is NaN.
        const int n = a->n, k = a->count;
        const bool fromeig = a->first > 0 && a->nsup == 0;
        try {
            pairs p;
            if (a->lonlat)
                geopairs(n, n + a->nsup, a->ranged.data(), a->scaled, p);
            else
                findpairs(n, a->ncoord, n + a->nsup, a->ranged.data(), a->scaled, p);
            std::vector<moranstat> st(static_cast<size_t>(k));
            a->moran.assign(size_t(k) * 4, std::nan(""));
            bool made = false;
            if (fromeig && k > 0 && !p.w.empty()) {
                // A leading variable v is an eigenvector of J (I + W) J of
                // eigenvalue mu = eig / 8t^2: v'Wv / v'v = mu - 1, its I
                // times n / s0.
                double s0, e, sd;
                moments(p, n, s0, e, sd);
                const double c = 8.0 * a->scaled * a->scaled;
                for (int j = 0; j < k; ++j) {
                    double i = double(n) / s0 * (a->eig[size_t(j)] / c - 1);
                    st[size_t(j)] = moranstat{i, e, sd, sd > 0 ? (i - e) / sd : 0, -1};
                }
                made = true;
            } else if (k > 0 && !p.w.empty()) {
                variables v;
                v.n = n;
                v.k = k;
                v.v.resize(size_t(n) * size_t(k));
                for (int i = 0; i < n; ++i)
                    for (int j = 0; j < k; ++j) v.v[size_t(i) * k + j] = a->vars[size_t(i) + size_t(j) * n];
                made = moran(p, v, st.data()) == 0;
            }
            if (made)
                for (int j = 0; j < k; ++j) {
                    a->moran[size_t(j)] = st[size_t(j)].i;
                    a->moran[size_t(j) + size_t(k)] = st[size_t(j)].e;
                    a->moran[size_t(j) + 2 * size_t(k)] = st[size_t(j)].sd;
                    a->moran[size_t(j) + 3 * size_t(k)] = st[size_t(j)].z;
                }
        } catch (const std::bad_alloc&) {
            a->moran.clear();
            return nullptr;
        }
        a->moranmade = true;
    }
    return a->moran.empty() ? nullptr : a->moran.data();
}

int lw_place(lw_analysis* a, int m, const double* xy, double* out)
{
    if (!a) return LW_BADINPUT;
    if (!a->done) return fail(a, LW_NOTRUN, "new sites are placed after a successful lw_run");
    if (a->method != 1) return fail(a, LW_BADINPUT, "new sites are placed in a PCNM analysis");
    if (m < 0 || (m > 0 && (!xy || !out))) return fail(a, LW_BADINPUT, "the new sites need m >= 0 and their arrays");
    const size_t rows = size_t(m), count = rows * size_t(a->ncoord);
    for (size_t k = 0; k < count; ++k)
        if (!std::isfinite(xy[k]))
            return fail(a, LW_BADINPUT, "coordinate " + std::to_string(k / rows + 1) + " of new site " +
                                            std::to_string(k % rows + 1) + " is not a finite number");
    if (a->lonlat)
        if (int status = checklonlat(a, m, xy, "new site")) return status;
    if (m == 0 || a->count == 0) return LW_OK;
    usethreads use(a->threads);
    try {
        // Ranged as the analysed sites were: shifted, then divided (longitude
        // and latitude are not ranged).
        std::vector<double> y(xy, xy + count);
        for (int q = 0; q < (a->lonlat ? 0 : a->ncoord); ++q)
            for (size_t o = 0; o < rows; ++o) {
                double& v = y[o + size_t(q) * rows];
                v = v - a->vmin[size_t(q)];
                v = v / a->rangmax;
            }
        // The principal coordinates by rows, the analysed sites in a grid of
        // cells, and the new sites in blocks, the neighbours of a block
        // found before the block is placed.
        const int ntot = a->n + a->nsup, npos = a->count, block = 4096;
        const double* pc = a->nsup > 0 ? a->pc.data() : a->vars.data();
        std::vector<double> base(static_cast<size_t>(npos)), pcr(size_t(ntot) * size_t(npos));
        placebase(ntot, a->scaled, a->rowmean.data(), npos, pc, ntot, base.data());
        for (int k = 0; k < npos; ++k)
            for (int i = 0; i < ntot; ++i) pcr[size_t(i) * npos + size_t(k)] = pc[size_t(i) + size_t(k) * ntot];
        cellgrid g;
        normalgrid sphere;
        if (a->lonlat) normalsof(ntot, ntot, a->ranged.data(), a->scaled, sphere);
        else cellsof(ntot, a->ncoord, ntot, a->ranged.data(), a->scaled, g);
        std::vector<long> start;
        std::vector<int> nb;
        std::vector<double> dist;
        for (int o = 0; o < m; o += block) {
            int b = m - o < block ? m - o : block;
            start.assign(1, 0);
            nb.clear();
            dist.clear();
            if (a->lonlat) {
                geonearlist(sphere, ntot, a->ranged.data(), b, y.data() + o, m, a->scaled, start, nb, dist);
            } else {
                for (int q = 0; q < b; ++q) {
                    nearof(g, a->ncoord, ntot, a->ranged.data(), y.data() + o + q, rows, a->scaled, nb, dist);
                    start.push_back(long(nb.size()));
                }
            }
            placelist(b, start.data(), nb.data(), dist.data(), a->scaled, npos, pcr.data(), a->eig.data(),
                      base.data(), out + o, m);
        }
    } catch (const std::bad_alloc&) {
        return fail(a, LW_NOMEMORY, "not enough memory to place " + std::to_string(m) + " new sites");
    }
    // Standardised as the main sites were, when supplementary sites took part.
    if (a->nsup > 0)
        for (int k = 0; k < a->count; ++k)
            for (size_t o = 0; o < rows; ++o) {
                double& v = out[o + size_t(k) * rows];
                v = (v - a->stdmean[size_t(k)]) / a->stdsd[size_t(k)];
            }
    return LW_OK;
}
