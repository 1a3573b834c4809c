// Fuzz target: a whole coordinates file.  The input bytes are the file; the
// console answers the file question with its name, and the dialogue's
// readhead and readbody read it into the site matrix, which range1 then
// ranges.  The last byte of the
// input chooses the method (odd: PCNM) and trace mode (bit 1).  A run ends
// by returning, by a refusal (runstop) or by a failure report (ioerror);
// after a return every ranged coordinate is finite, not negative, and at
// most 10 when the divisor is a normal number.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "common.h"
#include "run.h"
#include "sites/sites.h"
#include "textio/textio.h"

namespace {

const int maxn = 500;
units io;
double x[maxn * maxn];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int method = size > 0 && (data[size - 1] & 1) ? 1 : 2;
    int trace = size > 0 && (data[size - 1] & 2) ? 1 : 0;

    quietunits(io);
    int fd = bytesfile(data, size);
    char answer[64];
    int len = std::snprintf(answer, sizeof answer, "'/proc/self/fd/%d'\n", fd);
    feed(io.in, reinterpret_cast<const uint8_t*>(answer), size_t(len));

    int n = -1, ncoord = -1, nsup = -1;
    double vmin[3], vrange[3], rangmax = 0;
    try {
        readhead(n, ncoord, nsup, maxn, io.report);
        readbody(n, ncoord, nsup, maxn, x, io.report, trace);
        if (n < 1 || ncoord < 1 || ncoord > 3 || nsup < 0 || n > maxn - nsup) broken();
        range1(n, ncoord, nsup, maxn, x, 3, vmin, vrange, rangmax, method, io.report, trace);
        for (int i = 0; i < n + nsup; ++i)
            for (int j = 0; j < ncoord; ++j) {
                double v = x[i + j * maxn];
                if (!(v >= 0 && std::isfinite(v))) broken();
                if (rangmax >= 0x1p-1022 && v > 10) broken();
            }
    } catch (const ioerror&) {
    } catch (const runstop& s) {
        if (s.status != 0) broken();
    }
    // The next input starts from a clean site matrix.
    long long rows = static_cast<long long>(n) + nsup;
    if (n > 0 && ncoord > 0 && nsup >= 0)
        for (int j = 0; j < 3 && j < ncoord; ++j)
            std::memset(x + j * maxn, 0, sizeof(double) * size_t(rows < maxn ? rows : maxn));
    release(io.coord);
    release(io.in);
    ::close(fd);
    return 0;
}
