// tablebench: the target of the table reader.  A CSV table of 1 000 000
// sites (a label and two coordinates of 17 significant digits, as a GPS
// export in metres would hold them, with CR LF line ends) read from memory
// and from a file; target: under 1 s for either.  The sites come from a
// fixed seed through std::mt19937_64, so every machine times the same
// bytes; the counter "MB" is the table's size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "table/table.h"

namespace {

const size_t nsites = 1000000;

const std::string& table()
{
    static std::string text = [] {
        std::mt19937_64 g(1);
        auto unit = [&] { return double(g() >> 11) * 0x1.0p-53; };
        std::string t = "id,x,y\r\n";
        t.reserve(nsites * 48);
        char buf[96];
        for (size_t i = 0; i < nsites; ++i) {
            int n = std::snprintf(buf, sizeof buf, "site%zu,%.17g,%.17g\r\n", i + 1, 400000 + 200000 * unit(),
                                  4000000 + 300000 * unit());
            t.append(buf, size_t(n));
        }
        return t;
    }();
    return text;
}

tablerequest request()
{
    tablerequest r;
    r.coords = {"x", "y"};
    r.id = "id";
    return r;
}

void check(benchmark::State& state, const sitetable& t)
{
    if (t.status != table_ok || t.rows != nsites) state.SkipWithError(t.message.c_str());
}

void csvfrommemory(benchmark::State& state)
{
    const std::string& t = table();
    tablerequest r = request();
    for (auto _ : state) {
        sitetable s = readtable(t.data(), t.size(), "sites.csv", r);
        check(state, s);
        benchmark::DoNotOptimize(s.x.data());
    }
    state.counters["MB"] = double(t.size()) / 1e6;
}
BENCHMARK(csvfrommemory)->Unit(benchmark::kMillisecond)->UseRealTime();

void csvfromfile(benchmark::State& state)
{
    const std::string& t = table();
    std::string path = "tablebench-sites.csv";
    std::ofstream(path, std::ios::binary) << t;
    tablerequest r = request();
    for (auto _ : state) {
        sitetable s = readtablefile(path, r);
        check(state, s);
        benchmark::DoNotOptimize(s.x.data());
    }
    std::remove(path.c_str());
    state.counters["MB"] = double(t.size()) / 1e6;
}
BENCHMARK(csvfromfile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
