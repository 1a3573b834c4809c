// mapsbench: the targets of lociweaver-maps.  The Moran's I of 100
// variables over 20000 sites spread at random (the pairs found through the
// grid of cells, then the sums over them), on one core; and the picture of
// 1000 sites and 30 variables, whose size in bytes is the counter "bytes".
// The limit is the longest edge of the sites' minimum spanning tree, as
// lociweaver-maps takes it by default.  Sites and values come from fixed
// seeds through std::mt19937_64, so every machine times the same work.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "maps/maps.h"
#include "sites/sites.h"
#include "textio/textio.h"
#include "threshold/mst.h"

namespace {

// n sites at random in a square of side 1000, ranged as a PCNM run ranges
// them, k variables of broad and fine patterns, and the run's tree.
struct survey {
    sites s;
    std::vector<double> xr, len;
    std::vector<int> from;
    double rangmax = 0, scaled = 0, limit = 0;
    variables v;
    survey(int n, int k)
    {
        std::mt19937_64 g(20);
        auto unit = [&] { return double(g() >> 11) * 0x1.0p-53; };
        s.n = n;
        s.ncoord = 2;
        for (int i = 0; i < 2 * n; ++i) s.x.push_back(1000 * unit());
        xr = s.x;
        double vmin[3], vrange[3];
        rangecoords(n, 2, n, xr.data(), vmin, vrange, rangmax, 1);
        std::vector<int> rest(static_cast<size_t>(n));
        from.resize(size_t(n));
        len.resize(size_t(n));
        int t = prim(n, 2, size_t(n), xr.data(), from.data(), len.data(), rest.data());
        limit = len[size_t(t - 1)] * rangmax;
        scaled = scaledlimit(limit, rangmax);
        v.n = n;
        v.k = k;
        for (int i = 0; i < n; ++i)
            for (int j = 1; j <= k; ++j)
                v.v.push_back(std::sin(s.x[size_t(i)] * j / 300) * std::cos(s.x[size_t(n + i)] * j / 500) +
                              0.1 * unit());
    }
};

void moranof20000sites(benchmark::State& state)
{
    static const survey sv(20000, 100);
    std::vector<moranstat> st(100);
    for (auto _ : state) {
        pairs p;
        findpairs(sv.s.n, 2, sv.s.n, sv.xr.data(), sv.scaled, p);
        moran(p, sv.v, st.data());
        benchmark::DoNotOptimize(st.data());
        state.counters["pairs"] = double(p.nb.size());
    }
}
BENCHMARK(moranof20000sites)->Unit(benchmark::kMillisecond)->UseRealTime();

void pictureof1000sites(benchmark::State& state)
{
    static const survey sv(1000, 30);
    std::vector<moranstat> st(30);
    pairs p;
    findpairs(sv.s.n, 2, sv.s.n, sv.xr.data(), sv.scaled, p);
    moran(p, sv.v, st.data());
    scene sc{&sv.s, sv.xr.data(), sv.from.data(), sv.len.data(), sv.rangmax, sv.scaled, sv.limit, &sv.v,
             st.data(), 30, false};
    const std::string path = "mapsbench.svg";
    for (auto _ : state) {
        std::remove(path.c_str());
        static units io;
        initunits(io);
        char name[namelen];
        std::memset(name, ' ', sizeof name);
        std::memcpy(name, path.data(), path.size());
        opennew(io.report, name);
        picture(io.report, sc);
        closes(io.report);
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    state.counters["bytes"] = double(std::ftell(f));
    std::fclose(f);
    std::remove(path.c_str());
}
BENCHMARK(pictureof1000sites)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
