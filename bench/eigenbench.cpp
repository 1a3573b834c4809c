// eigenbench: times the eigen-decomposition of the Gower-centred matrices of
// the benchmark's coordinates files, built exactly as a run builds them
// (ranging, distances, truncation at the answers file's limit, -d*d/2,
// Gower centring):
//   ours     tred2, tqli, sort, reorder and scale of src/pcnm (best path)
//   base     the same on the baseline (SSE2) vector path
//   literal  the literal loops of tests/literal
//   dsyevd   LAPACK divide and conquer, one thread (when LAPACK is linked)
//   dsyev    LAPACK QL/QR, one thread (when LAPACK is linked)
//   write    writeout of the case's PCNM variables in layout 1 (n objects
//            times the PCNM count, F11.6) into a temporary file
// and prints the ratios.  Each timed iteration starts from a fresh copy of
// the matrix.
//
// Usage: eigenbench DIR [case ...] [--benchmark_... flags]
//   DIR holds the files written by gensites; the cases default to the
//   uniform and clustered files of 250, 500 and 1000 sites.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "lapack.h"
#include "literal.h"
#include "output/output.h"
#include "pcnm/pcnm.h"
#include "sites/sites.h"
#include "textio/textio.h"

namespace {

using vec = std::vector<double>;

// One Gower-centred matrix, n x n with leading dimension n, and for the
// writing benchmark the principal coordinates of its PCNM variables.
struct centred {
    int n = 0;
    vec a;
    int nmain = 0, npos = 0;
    vec x;
};

// Reads the coordinates file DIR/name.txt and the limit from the answers
// file DIR/name.answers (its seventh line), and builds the matrix.
bool build(const std::string& dir, const std::string& name, centred& c)
{
    FILE* f = std::fopen((dir + "/" + name + ".txt").c_str(), "r");
    if (!f) return false;
    int n = 0, ncoord = 0, nsup = 0;
    if (std::fscanf(f, "%d %d %d", &n, &ncoord, &nsup) != 3 || ncoord < 1 || ncoord > 3) {
        std::fclose(f);
        return false;
    }
    int ntot = n + nsup, ld = ntot;
    vec x(size_t(ld) * size_t(ld), 0.0);
    for (int i = 0; i < ntot; ++i)
        for (int k = 0; k < ncoord; ++k)
            if (std::fscanf(f, "%lf", &x[i + size_t(k) * ld]) != 1) {
                std::fclose(f);
                return false;
            }
    std::fclose(f);

    FILE* a = std::fopen((dir + "/" + name + ".answers").c_str(), "r");
    if (!a) return false;
    char line[256];
    double limit = 0;
    for (int k = 1; k <= 7 && std::fgets(line, sizeof line, a); ++k)
        if (k == 7) limit = std::atof(line);
    std::fclose(a);

    // The run's steps, through the program's own routines.
    double vmin[3], vrange[3], rangmax = 0;
    if (rangecoords(ntot, ncoord, ld, x.data(), vmin, vrange, rangmax, 1)) return false;
    vec d(size_t(ld) * size_t(ld), 0.0);
    distances(ntot, ncoord, ld, x.data(), d.data());
    truncate(ntot, ld, d.data(), scaledlimit(limit, rangmax));
    c.n = ntot;
    c.a.assign(size_t(ntot) * size_t(ntot), 0.0);
    for (int i = 0; i < ntot; ++i)
        for (int j = i + 1; j < ntot; ++j) {
            double dij = d[i + size_t(j) * ld];
            c.a[i + size_t(j) * ntot] = c.a[j + size_t(i) * ntot] = -(dij * dij * 0.5);
        }
    vec mean(size_t(ntot), 0.0);
    gower(c.a.data(), mean.data(), ntot, ntot);

    vec eig(ntot), off(ntot), row(ntot), w(c.a.size());
    std::vector<int> perm(ntot);
    c.nmain = n;
    c.x.assign(d.size(), 0.0);
    pcoasums sums;
    pcoa(ntot, ld, perm.data(), d.data(), eig.data(), off.data(), c.x.data(), mean.data(),
         row.data(), c.npos, sums, w.data());
    return true;
}

// ours and base: the solver path of pcoa, steps 5 to 9.
void ours(benchmark::State& state, const centred* c, int path)
{
    int n = c->n;
    vec a(c->a.size()), w(c->a.size()), eig(n), off(n), row(n);
    std::vector<int> perm(n);
    for (auto _ : state) {
        std::memcpy(a.data(), c->a.data(), a.size() * sizeof(double));
        tred2(a.data(), n, n, eig.data(), off.data(), w.data(), path);
        tqli(eig.data(), off.data(), n, n, a.data(), w.data(), path);
        sorteig(n, eig.data(), perm.data());
        arrange(n, n, a.data(), perm.data(), eig.data(), row.data());
        benchmark::DoNotOptimize(a.data());
    }
}

void literalpath(benchmark::State& state, const centred* c)
{
    int n = c->n;
    vec a(c->a.size()), eig(n), off(n), row(n);
    std::vector<int> perm(n);
    for (auto _ : state) {
        std::memcpy(a.data(), c->a.data(), a.size() * sizeof(double));
        literal::tred2(a.data(), n, n, eig.data(), off.data());
        literal::tqli(eig.data(), off.data(), n, n, a.data());
        literal::sorteig(n, eig.data(), perm.data());
        literal::reorder(n, n, a.data(), perm.data(), row.data());
        literal::scalecols(n, n, a.data(), eig.data());
        benchmark::DoNotOptimize(a.data());
    }
}

void dsyevd(benchmark::State& state, const centred* c)
{
    int n = c->n, lwork = 0, liwork = 0;
    syevdsize(n, lwork, liwork);
    vec a(c->a.size()), eig(n), work(static_cast<size_t>(lwork));
    std::vector<int> iwork(static_cast<size_t>(liwork));
    for (auto _ : state) {
        std::memcpy(a.data(), c->a.data(), a.size() * sizeof(double));
        if (syevd(n, a.data(), n, eig.data(), work.data(), lwork, iwork.data(), liwork) != 0)
            state.SkipWithError("dsyevd failed");
        benchmark::DoNotOptimize(a.data());
    }
}

void dsyev(benchmark::State& state, const centred* c)
{
    int n = c->n, lwork = syevsize(n);
    vec a(c->a.size()), eig(n), work(static_cast<size_t>(lwork));
    for (auto _ : state) {
        std::memcpy(a.data(), c->a.data(), a.size() * sizeof(double));
        if (syev(n, a.data(), n, eig.data(), work.data(), lwork) != 0)
            state.SkipWithError("dsyev failed");
        benchmark::DoNotOptimize(a.data());
    }
}

// writefile: the spatial-variable file of the case in layout 1, into a new
//   temporary file each time (removed after).
void writefile(benchmark::State& state, const centred* c)
{
    std::unique_ptr<units> io(new units);
    initunits(*io);
    std::string name = "/tmp/eigenbench-write-" + std::to_string(::getpid()) + ".txt";
    char name79[namelen];
    std::memset(name79, ' ', namelen);
    std::memcpy(name79, name.data(), name.size());
    for (auto _ : state) {
        opennew(io->vars, name79);
        writeout(c->nmain, 2, c->npos, c->n, c->x.data(), 1, 1, 0, io->vars);
        closes(io->vars);
        std::remove(name.c_str());
    }
    state.counters["values"] = double(c->nmain) * c->npos;
}

// Keeps the real and the CPU time per iteration of every run, by name, for
// the ratios: the median over the repetitions (the library's median when it
// reports aggregates only).
struct keeper : benchmark::ConsoleReporter {
    std::map<std::string, std::vector<double>> real, cpu;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type != Run::RT_Iteration && !median) continue;
            double unit = benchmark::GetTimeUnitMultiplier(r.time_unit) / 1e3;
            std::string name = r.run_name.str();
            if (median) {  // the library's own median replaces the runs
                real[name].clear();
                cpu[name].clear();
            }
            real[name].push_back(r.GetAdjustedRealTime() / unit);
            cpu[name].push_back(r.GetAdjustedCPUTime() / unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// The median of the times of name in m, or NaN when it did not run.
double median(std::map<std::string, std::vector<double>>& m, const std::string& name)
{
    auto it = m.find(name);
    if (it == m.end() || it->second.empty()) return NAN;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : (v[h - 1] + v[h]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: eigenbench DIR [case ...] [--benchmark_... flags]\n");
        return 2;
    }
    std::string dir = argv[1];
    std::vector<std::string> names;
    for (int k = 2; k < argc; ++k) names.push_back(argv[k]);
    if (names.empty())
        names = {"uniform250", "uniform500", "uniform1000",
                 "clustered250", "clustered500", "clustered1000"};
    onethread();

    std::vector<std::unique_ptr<centred>> mats;
    for (const std::string& name : names) {
        mats.emplace_back(new centred);
        centred* c = mats.back().get();
        if (!build(dir, name, *c)) {
            std::fprintf(stderr, "eigenbench: cannot read case %s in %s\n", name.c_str(),
                         dir.c_str());
            return 1;
        }
        auto unit = benchmark::kMillisecond;
        benchmark::RegisterBenchmark(("ours/" + name).c_str(), ours, c, bestpath())->Unit(unit);
        if (bestpath() != path_base)
            benchmark::RegisterBenchmark(("base/" + name).c_str(), ours, c, path_base)->Unit(unit);
        benchmark::RegisterBenchmark(("literal/" + name).c_str(), literalpath, c)->Unit(unit);
        if (haslapack()) {
            benchmark::RegisterBenchmark(("dsyevd/" + name).c_str(), dsyevd, c)->Unit(unit);
            benchmark::RegisterBenchmark(("dsyev/" + name).c_str(), dsyev, c)->Unit(unit);
        }
        benchmark::RegisterBenchmark(("write/" + name).c_str(), writefile, c)->Unit(unit);
    }
    keeper k;
    benchmark::RunSpecifiedBenchmarks(&k);

    for (auto* m : {&k.real, &k.cpu}) {
        std::printf("\nMedian %s time per decomposition, ms, and ratios:\n",
                    m == &k.real ? "real" : "CPU");
        std::printf("%-16s %8s %8s %8s %8s %8s %7s  %7s %7s %8s %8s\n", "case", "ours",
                    "base", "literal", "dsyevd", "dsyev", "write", "/dsyevd", "/dsyev",
                    "lit/ours", "wr/ours");
        for (const std::string& name : names) {
            double o = median(*m, "ours/" + name), b = median(*m, "base/" + name),
                   l = median(*m, "literal/" + name), sd = median(*m, "dsyevd/" + name),
                   s = median(*m, "dsyev/" + name), wr = median(*m, "write/" + name);
            std::printf("%-16s %8.1f %8.1f %8.1f %8.1f %8.1f %7.1f  %7.2f %7.2f %8.2f %8.2f\n",
                        name.c_str(), o, b, l, sd, s, wr, o / sd, o / s, l / o, wr / o);
        }
    }
    benchmark::Shutdown();
    return 0;
}
