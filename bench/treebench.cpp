// The target of lociweaver-threshold: the longest edge of a minimum spanning
// tree of 100 000 and 1 000 000 sites at random in the unit square (and
// cube), by Boruvka's method over a k-d tree, against Prim's method over all
// pairs at 20 000 sites.  The sites come from a fixed seed through
// std::mt19937_64, as gensites makes its files.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "threshold/emst.h"
#include "threshold/mst.h"

namespace {

// n sites of ncoord coordinates, uniform in [0, 1), stored by columns.
std::vector<double> sites(int n, int ncoord)
{
    std::mt19937_64 gen(unsigned(n * ncoord));
    std::vector<double> x(size_t(n) * size_t(ncoord));
    for (double& v : x) v = double(gen() >> 11) * 0x1.0p-53;
    return x;
}

void bm_longest(benchmark::State& state)
{
    const int n = int(state.range(0)), ncoord = int(state.range(1));
    std::vector<double> x = sites(n, ncoord);
    for (auto _ : state) {
        int from = 0;
        double len = 0;
        benchmark::DoNotOptimize(longest(n, ncoord, size_t(n), x.data(), from, len));
    }
}

void bm_prim(benchmark::State& state)
{
    const int n = int(state.range(0)), ncoord = int(state.range(1));
    const size_t count = size_t(n);
    std::vector<double> x = sites(n, ncoord), len(count);
    std::vector<int> from(count), rest(count);
    for (auto _ : state)
        benchmark::DoNotOptimize(prim(n, ncoord, size_t(n), x.data(), from.data(), len.data(), rest.data()));
}

}  // namespace

BENCHMARK(bm_longest)->Args({20000, 2})->Args({100000, 2})->Args({1000000, 2})->Args({1000000, 3})
    ->Args({1000000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(bm_prim)->Args({20000, 2})->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
