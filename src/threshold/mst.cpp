// Prim's minimum spanning tree over the implicit complete graph of the
// objects, and the decimal answer that keeps its longest edge.
#include "mst.h"

#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "sites/limit.h"
#include "textio/os.h"

namespace {

// Adds one unit in the last of the p digits (carrying; 9...9 becomes 1 and
// zeros with e one higher).
void stepup(char* d, int p, int& e)
{
    int k = p - 1;
    while (k >= 0 && d[k] == '9') d[k--] = '0';
    if (k >= 0) {
        ++d[k];
        return;
    }
    d[0] = '1';
    ++e;
}

// Takes one unit off the last of the p digits; false, with d unchanged, when
// that would borrow from d1 (the result would have fewer significant digits
// at e, or none).
bool stepdown(char* d, int p)
{
    int k = p - 1;
    while (k >= 0 && d[k] == '0') --k;
    if (k < 0 || (k == 0 && d[0] == '1')) return false;
    --d[k];
    for (int j = k + 1; j < p; ++j) d[j] = '9';
    return true;
}

// The double that a free-form read makes of a decimal text of decimal():
// the nearest one; 0 when it is below the smallest, infinity when it is
// above the largest.
double value(const char* text)
{
    double v = 0;
    if (!ostodouble(text, text + std::strlen(text), v))
        return std::strstr(text, "E-") ? 0.0 : std::numeric_limits<double>::infinity();
    return v;
}

// Whether the answer v keeps a distance edge: the run's own steps, the
// answer scaled as the run scales it, then the run's test.
bool keepsvalue(double v, double rangmax, double edge)
{
    return within(edge, scaledlimit(v, rangmax));
}

double frombits(uint64_t b)
{
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// The smallest double answer, 0 or more, that keeps edge; infinity when not
// even the largest double does.  Non-negative doubles are ordered as their
// bit patterns, and keeping is monotone in the answer, so a bisection over
// the patterns finds it.
double smallest(double rangmax, double edge)
{
    const double big = std::numeric_limits<double>::max();
    if (!keepsvalue(big, rangmax, edge)) return std::numeric_limits<double>::infinity();
    if (keepsvalue(0, rangmax, edge)) return 0;
    uint64_t lo = 0, hi;  // lo does not keep, hi keeps
    std::memcpy(&hi, &big, sizeof hi);
    while (hi - lo > 1) {
        uint64_t mid = lo + (hi - lo) / 2;
        if (keepsvalue(frombits(mid), rangmax, edge))
            hi = mid;
        else
            lo = mid;
    }
    return frombits(hi);
}

// The p significant digits and the exponent e of v (positive, finite)
// rounded to nearest: v is about d1.d2...dp times 10^e.
void digitsof(double v, int p, char* d, int& e)
{
    char sci[48];
    std::to_chars_result r =
        std::to_chars(sci, sci + sizeof sci - 1, v, std::chars_format::scientific, p - 1);
    *r.ptr = '\0';
    d[0] = sci[0];
    if (p > 1) std::memcpy(d + 1, sci + 2, size_t(p - 1));
    e = std::atoi(std::strchr(sci, 'e') + 1);
}

}  // namespace

double pairsum(int i, int j, int ncoord, size_t ld, const double* x)
{
    double sum = 0;
    for (int k = 0; k < ncoord; ++k) {
        double t = x[size_t(i - 1) + size_t(k) * ld] - x[size_t(j - 1) + size_t(k) * ld];
        sum = sum + t * t;
    }
    return sum;
}

int prim(int ntot, int ncoord, size_t ld, const double* x, int* from, double* len, int* rest)
{
    // While an object waits outside the tree, len holds the squared distance
    // to its nearest tree object; the square root is monotone, so the tree
    // is the same, and each edge's length is taken once, when it joins.
    from[0] = 0;
    len[0] = 0;
    int nrest = ntot - 1;
    for (int k = 0; k < nrest; ++k) {
        rest[k] = k + 2;
        from[k + 1] = 1;
        len[k + 1] = pairsum(1, k + 2, ncoord, ld, x);
    }
    int longest = 1;
    while (nrest > 0) {
        // The nearest waiting object, the lowest-numbered among equals.
        int at = 0;
        for (int k = 1; k < nrest; ++k) {
            int a = rest[k], b = rest[at];
            if (len[a - 1] < len[b - 1] || (len[a - 1] == len[b - 1] && a < b)) at = k;
        }
        int t = rest[at];
        rest[at] = rest[--nrest];
        len[t - 1] = std::sqrt(len[t - 1]);
        if (len[t - 1] > len[longest - 1]) longest = t;

        // The new tree object may be nearer to those still waiting.
        for (int k = 0; k < nrest; ++k) {
            int r = rest[k];
            double s = pairsum(t, r, ncoord, ld, x);
            if (s < len[r - 1]) {
                len[r - 1] = s;
                from[r - 1] = t;
            }
        }
    }
    return longest;
}

bool keeps(const char* text, double rangmax, double edge)
{
    double v = 0;
    return ostodouble(text, text + std::strlen(text), v) && keepsvalue(v, rangmax, edge);
}

int decimal(const char* digits, int p, int e, char* out)
{
    while (p > 1 && digits[p - 1] == '0') --p;
    int n = 0;
    if (e < -6 || e > 15) {
        out[n++] = digits[0];
        if (p > 1) {
            out[n++] = '.';
            for (int k = 1; k < p; ++k) out[n++] = digits[k];
        }
        out[n++] = 'E';
        std::to_chars_result r = std::to_chars(out + n, out + 39, e);
        n = int(r.ptr - out);
    } else if (e < 0) {
        out[n++] = '0';
        out[n++] = '.';
        for (int k = -1; k > e; --k) out[n++] = '0';
        for (int k = 0; k < p; ++k) out[n++] = digits[k];
    } else {
        for (int k = 0; k <= e; ++k) out[n++] = k < p ? digits[k] : '0';
        if (p > e + 1) {
            out[n++] = '.';
            for (int k = e + 1; k < p; ++k) out[n++] = digits[k];
        }
    }
    out[n] = '\0';
    return n;
}

int answer(double edge, double rangmax, char* out)
{
    out[0] = '\0';
    // The run's own threshold: the smallest answer that keeps the edge.
    // The decimals below are at least this.
    const double low = smallest(rangmax, edge);
    if (!std::isfinite(low)) return 0;
    if (low == 0) {
        std::strcpy(out, "0");
        return 1;
    }
    // At most the run's own margin above the edge in the user's units.
    double top = edge * rangmax + limitadd * rangmax;
    if (!(top >= low)) top = low;

    // With p digits, the nearest decimal to low, or the next one up when the
    // nearest reads below it.  With 17 digits the nearest reads as low.
    int n = 0;
    for (int p = 1; p <= 17; ++p) {
        char d[17];
        int e;
        digitsof(low, p, d, e);
        n = decimal(d, p, e, out);
        if (value(out) < low) {
            stepup(d, p, e);
            n = decimal(d, p, e, out);
        }
        if (value(out) > top) continue;

        // A smaller decimal of as many digits may read as low as well.
        char t[40];
        for (int k = 0; k < 10 && stepdown(d, p); ++k) {
            decimal(d, p, e, t);
            if (value(t) < low) break;
            n = decimal(d, p, e, out);
        }
        return n;
    }
    return n;
}
