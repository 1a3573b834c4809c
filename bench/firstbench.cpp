// The leading variables of large surveys (lw_first) against the whole
// decomposition: uniform sites in the unit square at the tree's limit,
// K = 200.  For each case: the pairs, the block-vector products, the time
// per product and its memory traffic, the share of the inner products and
// rotations (the orthonormalisation and the projected problems), the whole
// time, and the peak memory of the process.
//
//   firstbench [--dense] [--grid] [--lonlat] [--limit L] [--new M] [--threads T] N K
//
// --dense also times lw_run of the whole decomposition on the same sites;
// --grid takes the sites of a square grid of N sites (N a square) instead;
// --limit gives the scaled limit instead of the tree's; --new times
// lw_place of M new sites drawn uniformly in the same square; --threads
// sets the threads (default: every processor).  --lonlat maps the square
// onto longitudes 5 to 15 and latitudes 45 to 55 degrees and times the
// library's calls alone, with geodesic distances at their tree's limit.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "first/first.h"
#include "lociweaver.h"
#include "pcnm/threads.h"
#include "sites/limit.h"
#include "sites/sites.h"
#include "threshold/emst.h"

namespace {

double seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double peakmb()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv)
{
    bool dense = false, grid = false, lonlat = false;
    double given = 0;
    int news = 0, nthreads = 0;
    int at = 1;
    for (; at < argc && argv[at][0] == '-'; ++at) {
        if (!std::strcmp(argv[at], "--dense")) dense = true;
        else if (!std::strcmp(argv[at], "--grid")) grid = true;
        else if (!std::strcmp(argv[at], "--lonlat")) lonlat = true;
        else if (!std::strcmp(argv[at], "--limit") && at + 1 < argc) given = std::atof(argv[++at]);
        else if (!std::strcmp(argv[at], "--new") && at + 1 < argc) news = std::atoi(argv[++at]);
        else if (!std::strcmp(argv[at], "--threads") && at + 1 < argc) nthreads = std::atoi(argv[++at]);
    }
    if (argc - at != 2) {
        std::fprintf(stderr, "usage: firstbench [--dense] [--grid] [--lonlat] [--limit L] [--new M] [--threads T] N K\n");
        return 2;
    }
    const int n = std::atoi(argv[at]), k = std::atoi(argv[at + 1]);
    setthreads(nthreads);
    std::vector<double> xy(2 * size_t(n));
    uint64_t state = 2026;
    for (double& v : xy) v = 0.5 * (drawsigned(state) + 1);
    if (grid) {
        int side = 1;
        while ((side + 1) * (side + 1) <= n) ++side;
        for (int i = 0; i < n; ++i) xy[size_t(i)] = i % side, xy[size_t(n + i)] = i / side;
    }

    if (lonlat) {
        // Longitudes and latitudes: the library's calls alone, timed.
        for (int i = 0; i < n; ++i) xy[size_t(i)] = 5 + 10 * xy[size_t(i)], xy[size_t(n + i)] = 45 + 10 * xy[size_t(n + i)];
        lw_analysis* a = lw_new();
        lw_threads(a, nthreads);
        lw_sites(a, n, 0, 2, xy.data());
        lw_lonlat(a, 1);
        double limit = given, t0 = seconds();
        if (limit <= 0) {
            int status = lw_treelimit(a, &limit, nullptr);
            std::printf("tree's limit %.17g km: status %d, %.2f s\n", limit, status, seconds() - t0);
        }
        lw_pcnm(a, limit);
        lw_first(a, k);
        t0 = seconds();
        int status = lw_run(a);
        std::printf("lw_run, first %d, geodesic: status %d, %d variables, %.2f s, peak memory %.0f MB\n", k, status,
                    lw_count(a), seconds() - t0, peakmb());
        if (news > 0 && status == LW_OK) {
            std::vector<double> at(2 * size_t(news)), out(size_t(news) * size_t(lw_count(a)));
            for (int o = 0; o < news; ++o) {
                at[size_t(o)] = 5 + 5 * (drawsigned(state) + 1);
                at[size_t(news + o)] = 45 + 5 * (drawsigned(state) + 1);
            }
            t0 = seconds();
            status = lw_place(a, news, at.data(), out.data());
            std::printf("lw_place, %d new sites, geodesic: status %d, %.2f s, peak memory %.0f MB\n", news, status,
                        seconds() - t0, peakmb());
        }
        lw_free(a);
        return 0;
    }

    // The ranged sites and the tree's limit (in ranged units).
    std::vector<double> xr(xy);
    double vmin[2], vrange[2], rangmax = 0;
    rangecoords(n, 2, n, xr.data(), vmin, vrange, rangmax, 1);
    double t0 = seconds(), scaled = given;
    if (scaled <= 0) {
        int from = 0;
        double len = 0;
        longest(n, 2, size_t(n), xr.data(), from, len);
        scaled = len + limitadd;
        std::printf("tree's limit %.17g (ranged), the tree's longest edge %.2f s\n", scaled, seconds() - t0);
    } else {
        std::printf("limit given %.17g (ranged)\n", scaled);
    }

    t0 = seconds();
    nearrows rows;
    nearpairs(n, 2, n, xr.data(), scaled, rows);
    const double tpairs = seconds() - t0;
    const double npairs = double(rows.nb.size()) / 2;
    std::printf("%d sites, %.0f pairs (%.1f per site), found in %.2f s\n", n, npairs, 2 * npairs / n, tpairs);

    firstopts o;
    std::vector<double> eig, vec;
    const int p = blockfor(n, k, o);
    std::printf("K = %d, block of %d vectors, estimate %.0f MB\n", k, p,
                (solverbytes(n, p) + pairbytes(n, npairs)) / 1048576.0);
    firstinfo info = leading(rows, k, o, eig, vec, nullptr);
    const double product = (info.seconds - info.orthoseconds) / double(info.products);
    // One vector's product reads its row and each partner's, and writes
    // its own: (1 + partners) reads and a write of 8 bytes per site, and
    // 12 bytes per stored partner.
    const double bytes = double(n) * 8 * 2 + 2 * npairs * (8 + 12);
    std::printf("status %d, %d found, %d iterations, %ld products, worst residual %.2e\n", info.status, info.found,
                info.iterations, info.products, info.worst);
    std::printf("leading: %.2f s; per product %.3f us (%.2f GB/s of its operands); inner products and rotations %.2f s (%.0f %%)\n",
                info.seconds, product * 1e6, bytes / product / 1e9, info.orthoseconds,
                100 * info.orthoseconds / info.seconds);
    if (!eig.empty()) std::printf("eigenvalues (of J(I+W)J) %.15g .. %.15g\n", eig[0], eig.back());

    // The whole call of the library, as a program makes it.
    lw_analysis* a = lw_new();
    lw_threads(a, nthreads);
    lw_sites(a, n, 0, 2, xy.data());
    lw_pcnm(a, (scaled - limitadd) * rangmax);
    lw_first(a, k);
    t0 = seconds();
    int status = lw_run(a);
    std::printf("lw_run, first %d: status %d, %d variables, %.2f s, peak memory %.0f MB\n", k, status, lw_count(a),
                seconds() - t0, peakmb());
    if (news > 0 && status == LW_OK) {
        std::vector<double> at(2 * size_t(news)), out(size_t(news) * size_t(lw_count(a)));
        for (double& v : at) v = 0.5 * (drawsigned(state) + 1);
        t0 = seconds();
        status = lw_place(a, news, at.data(), out.data());
        std::printf("lw_place, %d new sites: status %d, %.2f s, peak memory %.0f MB\n", news, status, seconds() - t0,
                    peakmb());
    }
    if (dense) {
        lw_first(a, 0);
        t0 = seconds();
        status = lw_run(a);
        std::printf("lw_run, whole: status %d, %d variables, %.2f s, peak memory %.0f MB\n", status, lw_count(a),
                    seconds() - t0, peakmb());
    }
    lw_free(a);
    return 0;
}
