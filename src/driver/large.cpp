// The storage of the program whose capacity is the machine's: the capacity
// is the largest number of objects whose storage fits in a share of the
// physical memory, and the storage of a run is allocated once, zero, for
// its own number of objects, which is then the leading dimension.
#include <cmath>
#include <cstdlib>
#include <string>

#include "run.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

// The share of the physical memory that a run may take; the largest order
// of a matrix whose element count a 32-bit integer holds; the columns of
// x that the monomials of one coordinate need whatever the objects; the
// alignment of each array in the block.
const double memshare = 0.75;
const int largest = 46340;
const long long monocols = 5;
const size_t align = 64;

// The arrays of the block: x, d, corlin, xprime, six vectors, perm.
const int narrays = 11;

// The bytes of each array for ntot objects, in the order of the block.
void sizes(long long ntot, size_t out[narrays])
{
    long long cols = ntot > monocols ? ntot : monocols;
    size_t sq = size_t(ntot) * size_t(ntot) * sizeof(double);
    out[0] = size_t(ntot) * size_t(cols) * sizeof(double);  // x
    out[1] = out[2] = out[3] = sq;                        // d, corlin, xprime
    for (int k = 4; k < 10; ++k) out[k] = size_t(ntot) * sizeof(double);  // eig, off, w1..w4
    out[10] = size_t(ntot) * sizeof(int);                 // perm
}

// The bytes of the block for ntot objects, each array aligned.
unsigned long long need(long long ntot)
{
    size_t s[narrays];
    sizes(ntot, s);
    unsigned long long all = 0;
    for (size_t b : s) all += (b + align - 1) / align * align;
    return all + align;
}

}  // namespace

void capacity(run& r)
{
    unsigned long long total = 0, avail = 0;
    osmemory(total, avail);
    if (total == 0) {
        r.cap = largest;
        return;
    }
    const double room = double(total) * memshare;
    long long lo = 1, hi = largest;
    while (lo < hi) {
        long long mid = (lo + hi + 1) / 2;
        if (double(need(mid)) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    r.cap = int(lo);
}

void storage(run& r, int ntot)
{
    if (r.x) return;
    const unsigned long long bytes = need(ntot);
    unsigned long long total = 0, avail = 0;
    osmemory(total, avail);
    // Memory the system has not got now would be taken from other programs,
    // or end this one when it is touched: refused before.
    char* block = nullptr;
    if ((avail == 0 || bytes <= avail) && bytes <= size_t(-1))
        block = static_cast<char*>(std::calloc(size_t(bytes), 1));
    if (!block) {
        long long mb = (long long)((bytes + 999999) / 1000000);
        wlist(r.io.out);
        wlist(r.io.out, {("Not enough memory: a run of " + std::to_string(ntot) + " objects needs " +
                          std::to_string(mb) + " MB,").c_str()});
        wlist(r.io.out, {"which the system cannot give now. Close other programs,"});
        wlist(r.io.out, {"or use fewer objects or a machine with more memory."});
        throw runstop{0, nullptr};
    }
    size_t s[narrays];
    sizes(ntot, s);
    char* p = block + (align - reinterpret_cast<uintptr_t>(block) % align) % align;
    double** arrays[10] = {&r.x, &r.d, &r.corlin, &r.xprime, &r.eig, &r.off, &r.w1, &r.w2, &r.w3, &r.w4};
    for (int k = 0; k < 10; ++k) {
        *arrays[k] = reinterpret_cast<double*>(p);
        p += (s[k] + align - 1) / align * align;
    }
    r.perm = reinterpret_cast<int*>(p);
    r.ld = ntot;
}
