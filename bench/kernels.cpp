// kernels: the eigen-solver's kernels on one thread, on every vector path
// this processor runs, against the limits of the machine:
//   clock     the core's clock, from a chain of dependent integer adds
//             (one per cycle)
//   stream    a plain read-and-write pass (x = x * c) over 64 MB, the bytes
//             a pass of the reduction moves per element
//   tqli      the rotations: element-rotations (one rotation applied to
//             one row of z) per second and per cycle; each takes four
//             multiplies, so the limit is the multiplies per cycle of the
//             path's width (measured: independent chains of multiplies)
//             divided by four
//   tred2     the reduction and the accumulation, at every depth of
//             pending updates and at the default; then on two threads
//             (real time) with the reduction's passes alone, shared, and
//             shared or not as measured during the call
// Times are processor times of the process (minimum over the repetitions),
// so that time spent waiting for another process's core does not count.
// The matrix: n uniform sites in the unit square (fixed seed), distances
// above 0.05 replaced by 0.2, -d*d/2, Gower centring.
//
// Usage: kernels [n [reps]]   (defaults 4000 and 3)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "pcnm/pcnm.h"
#include "pcnm/threads.h"

namespace {

using vec = std::vector<double>;

double cpu()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// The clock in GHz: a chain of dependent adds, one per cycle.
double clockghz()
{
    double best = 1e9;
    const long n = 400000000;
    for (int r = 0; r < 5; ++r) {
        long x = 0;
        double t0 = cpu();
        for (long i = 0; i < n; i += 8)
            __asm__ volatile("add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\t"
                             "add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0"
                             : "+r"(x));
        double t = cpu() - t0;
        if (t < best) best = t;
    }
    return double(n) / best / 1e9;
}

// Multiplies per cycle of vectors V: twelve independent chains of
// multiplies, enough to fill every pipe through the multiply's latency.
template <typename V>
__attribute__((always_inline)) inline double mulrate(double ghz)
{
    const long n = 20000000;
    double best = 1e9;
    V c = V{} + 1.0000001, x[12];
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 12; ++k) x[k] = V{} + 1.0 + k;
        double t0 = cpu();
        for (long i = 0; i < n; ++i) {
#pragma GCC unroll 12
            for (int k = 0; k < 12; ++k) x[k] = x[k] * c;
        }
        double t = cpu() - t0;
        if (t < best) best = t;
    }
    double sum = 0;
    for (int k = 0; k < 12; ++k) sum += x[k][0];
    if (sum == 0) std::printf(" ");
    return 12.0 * n * (sizeof(V) / 8) / best / (ghz * 1e9);
}

typedef double w2 __attribute__((vector_size(16)));
typedef double w4 __attribute__((vector_size(32)));
typedef double w8 __attribute__((vector_size(64)));
double mul128(double ghz) { return mulrate<w2>(ghz); }
__attribute__((target("avx2"))) double mul256(double ghz) { return mulrate<w4>(ghz); }
__attribute__((target("avx512f"))) double mul512(double ghz) { return mulrate<w8>(ghz); }

// x = x * c over the n doubles of x, in the widest vectors of the processor.
__attribute__((noinline, target("avx512f"))) void scale512(double* x, size_t n, double c)
{
    for (size_t i = 0; i < n; ++i) x[i] = x[i] * c;
}

__attribute__((noinline, target("avx2"))) void scale256(double* x, size_t n, double c)
{
    for (size_t i = 0; i < n; ++i) x[i] = x[i] * c;
}

// Read-and-write bandwidth, GB/s, over mb megabytes.
double bandwidth(int mb)
{
    size_t n = size_t(mb) << 17;
    vec x(n, 1.0);
    double best = 1e9;
    for (int r = 0; r < 40; ++r) {
        double t0 = cpu();
        if (runs(path_avx512))
            scale512(x.data(), n, r & 1 ? 2.0 : 0.5);
        else
            scale256(x.data(), n, r & 1 ? 2.0 : 0.5);
        double t = cpu() - t0;
        if (t < best) best = t;
    }
    return 16.0 * double(n) / best / 1e9;
}

// The number of plane rotations tqli makes on (d, e) (e as tred2 leaves
// it), by its own loops without the vectors.
double rotations(vec d, vec e, int n)
{
    double count = 0;
    for (int i = 1; i < n; ++i) e[size_t(i - 1)] = e[size_t(i)];
    e[size_t(n - 1)] = 0;
    for (int l = 0; l < n; ++l) {
        for (int iter = 0;; ++iter) {
            int m = l;
            while (m < n - 1 && !(std::fabs(e[m]) < tolerance)) ++m;
            if (m == l || iter == 50) break;
            double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
            double r = std::sqrt(g * g + 1.0);
            g = g >= 0 ? d[m] - d[l] + e[l] / (g + r) : d[m] - d[l] + e[l] / (g - r);
            double s = 1, c = 1, p = 0;
            for (int i = m - 1; i >= l; --i) {
                double f = s * e[i], b = c * e[i];
                if (std::fabs(f) - std::fabs(g) > -tolerance) {
                    c = g / f;
                    r = std::sqrt(c * c + 1.0);
                    e[i + 1] = f * r;
                    s = 1.0 / r;
                    c = c * s;
                } else {
                    s = f / g;
                    r = std::sqrt(s * s + 1.0);
                    e[i + 1] = g * r;
                    c = 1.0 / r;
                    s = s * c;
                }
                g = d[i + 1] - p;
                r = (d[i] - g) * s + 2.0 * c * b;
                p = s * r;
                d[i + 1] = g + p;
                g = c * r - b;
                count = count + 1;
            }
            d[l] = d[l] - p;
            e[l] = g;
            e[m] = 0;
        }
    }
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    int n = argc > 1 ? std::atoi(argv[1]) : 4000;
    int reps = argc > 2 ? std::atoi(argv[2]) : 3;
    setthreads(1);

    std::mt19937_64 gen(5);
    std::uniform_real_distribution<double> u(0, 1);
    vec x(2 * size_t(n));
    for (double& v : x) v = u(gen);
    vec a0(size_t(n) * n), mean(n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double dx = x[i] - x[j], dy = x[n + i] - x[n + j];
            double dd = std::sqrt(dx * dx + dy * dy);
            if (dd > 0.05) dd = 0.2;
            a0[i + size_t(j) * n] = i == j ? 0 : -(dd * dd * 0.5);
        }
    gower(a0.data(), mean.data(), n, n);

    double ghz = clockghz();
    std::printf("clock %.2f GHz (dependent adds); read+write stream: 64 MB %.1f GB/s, 16 MB %.1f GB/s\n",
                ghz, bandwidth(64), bandwidth(16));
    double mulpercycle[3] = {mul128(ghz), runs(path_avx2) ? mul256(ghz) : 0,
                             runs(path_avx512) ? mul512(ghz) : 0};
    std::printf("multiplies per cycle (independent chains): 128 bits %.2f, 256 bits %.2f, 512 bits %.2f\n",
                mulpercycle[0], mulpercycle[1], mulpercycle[2]);

    vec a(a0.size()), w(a0.size()), d(n), e(n), d0, e0, z0;
    tred2((a = a0).data(), n, n, d.data(), e.data(), w.data(), bestpath());
    d0 = d, e0 = e, z0 = a;
    double rots = rotations(d0, e0, n) * n;
    double elemsteps = 0;  // elements of the active triangles, over the steps
    for (int l = 1; l < n; ++l) elemsteps += 0.5 * double(l) * double(l + 1);
    std::printf("n %d: %.4g element-rotations, %.4g element-steps of the reduction\n", n, rots, elemsteps);

    for (int path : {path_base, path_avx2, path_avx512}) {
        if (!runs(path)) {
            std::printf("path %d does not run here\n", path);
            continue;
        }
        double peak = mulpercycle[path] / 4;  // element-rotations per cycle
        double tq = 1e9;
        for (int r = 0; r < reps; ++r) {
            vec dd = d0, ee = e0;
            a = z0;
            double t0 = cpu();
            tqli(dd.data(), ee.data(), n, n, a.data(), w.data(), path);
            double t = cpu() - t0;
            if (t < tq) tq = t;
        }
        double rate = rots / tq;
        std::printf("path %d tqli %.3f s: %.3g element-rotations/s, %.2f per cycle, %.0f %% of %.2f\n", path,
                    tq, rate, rate / ghz / 1e9, 100 * rate / ghz / 1e9 / peak, peak);
        for (int depth : {1, 2, 3, 0}) {
            double t2 = 1e9;
            for (int r = 0; r < reps; ++r) {
                a = a0;
                double t0 = cpu();
                tred2(a.data(), n, n, d.data(), e.data(), w.data(), path, depth);
                double t = cpu() - t0;
                if (t < t2) t2 = t;
            }
            std::printf("path %d tred2 depth %d %.3f s\n", path, depth, t2);
        }
    }

    // Two threads on the widest path, in real time: the reduction's passes
    // left to one thread, shared, and as measured during the call (the way
    // it chose, and its medians).
    setthreads(2);
    const sharing before = sharingnow();
    for (int way : {reduce_alone, reduce_shared, reduce_measured}) {
        sharing s = before;
        s.reduceway = way;
        setsharing(s);
        double t2 = 1e9;
        reducechoice got;
        for (int r = 0; r < reps; ++r) {
            a = a0;
            auto t0 = std::chrono::steady_clock::now();
            tred2(a.data(), n, n, d.data(), e.data(), w.data(), bestpath(), 0, nullptr, &got);
            double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (t < t2) t2 = t;
        }
        const char* name[] = {"measured", "alone", "shared"};
        std::printf("2 threads, path %d, tred2 with the reduction %s: %.3f s real time", bestpath(), name[way], t2);
        if (way == reduce_measured)
            std::printf(" (chose %s after %d timed passes: %.3g ns an element alone, %.3g shared)", name[got.way],
                        got.timed, got.alone * 1e9, got.shared * 1e9);
        std::printf("\n");
    }
    setsharing(before);
    setthreads(1);
    return 0;
}
