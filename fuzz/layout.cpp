// Fuzz target: field layouts.  The input is a layout text up to the first
// NUL byte, then the items of a statement, each a tag byte and its value:
// tag % 3 == 0 an integer (4 bytes), 1 a double (8 bytes, any bit pattern),
// 2 a text (a length byte, then that many bytes).  A layout that parses is
// walked by a write statement over the items, and the items are written
// again by a free-form statement; both must end their last line.  Each
// I and F field of the layout is also rendered alone for each item and
// read back: its w characters are asterisks, or a right-aligned number that
// is the item correctly rounded.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common.h"
#include "textio/textio.h"

namespace {

units io;
const int maxitems = 64;
const size_t maxsrc = 1024;
// Characters and edits one statement may cost at most, so that a layout of
// nested repeat counts without data fields cannot keep the fuzzer busy for
// hours (the program's own layouts are all small).
const double maxwork = 4e6;

// Characters and edits of one pass through L, every repeat count applied.
double passcost(const layout& L)
{
    double mult[64];
    int depth = 0;
    double m = 1, cost = 0;
    for (int k = 1; k < L.n; ++k) {
        const edit& e = L.e[k];
        switch (e.kind) {
        case '(':
            mult[depth++] = m;
            m *= e.r;
            cost += m;
            break;
        case ')':
            if (depth > 0) m = mult[--depth];
            cost += m;
            break;
        case 't':
            cost += m * (e.len + 1);
            break;
        case 'X':
            cost += m * (e.r + 1);
            break;
        case 'I':
        case 'F':
        case 'A':
            cost += m * e.r * (e.w + 1);
            break;
        default:
            cost += m;
        }
    }
    return cost;
}

// Decodes the items after the layout; returns how many.
int items(const uint8_t* p, size_t n, item* v)
{
    int k = 0;
    size_t q = 0;
    while (q < n && k < maxitems) {
        int tag = p[q++] % 3;
        if (tag == 0) {
            int32_t i = 0;
            size_t m = n - q < 4 ? n - q : 4;
            std::memcpy(&i, p + q, m);
            q += m;
            v[k++] = item(int(i));
        } else if (tag == 1) {
            double r = 0;
            size_t m = n - q < 8 ? n - q : 8;
            std::memcpy(&r, p + q, m);
            q += m;
            v[k++] = item(r);
        } else {
            size_t len = q < n ? p[q++] : 0;
            if (len > n - q) len = n - q;
            v[k++] = item(reinterpret_cast<const char*>(p + q), int(len));
            q += len;
        }
    }
    return k;
}

// The w characters of a rendered field: asterisks, or blanks then a token
// without blanks.  Returns the token's start, or -1 for asterisks.
int token(const char* buf, int w)
{
    int stars = 0;
    for (int j = 0; j < w; ++j) stars += buf[j] == '*';
    if (stars == w) return -1;
    int b = 0;
    while (b < w && buf[b] == ' ') ++b;
    if (b == w) broken();
    for (int j = b; j < w; ++j)
        if (buf[j] == ' ' || buf[j] == '*') broken();
    return b;
}

// Renders v in Iw and checks it.
void checki(int w, const item& v)
{
    if (v.kind != 'i') return;
    char buf[maxwidth + 1];
    rendi(buf, w, v.i);
    int b = token(buf, w);
    if (b < 0) {
        // Stars only when the digits and sign do not fit.
        if (std::to_string(v.i).size() <= size_t(w)) broken();
        return;
    }
    buf[w] = '\0';
    if (std::strtoll(buf + b, nullptr, 10) != v.i) broken();
}

// Renders v in Fw.d and checks it (d at most 20, where the rounding can be
// checked in double precision).
void checkf(int w, int d, const item& v)
{
    if (v.kind == 't' || d > 20 || d >= w) return;
    double x = v.kind == 'r' ? v.r : double(v.i);
    char buf[maxwidth + 1];
    rendf(buf, w, d, x);
    if (!std::isfinite(x)) return;
    int b = token(buf, w);
    if (b < 0) return;
    buf[w] = '\0';
    const char* t = buf + b;
    const char* point = std::strchr(t, '.');
    if (!point || int(std::strlen(point + 1)) != d) broken();
    bool zero = true;
    for (const char* c = t; *c; ++c)
        if (*c >= '1' && *c <= '9') zero = false;
    if (zero && t[0] == '-') broken();
    double back = std::strtod(t, nullptr);
    double tol = 0.5 * std::pow(10.0, -d) + std::fabs(x) * 0x1p-50 + 1e-300;
    if (!(std::fabs(back - x) <= tol)) broken();
}

// Every I and F field of L, rendered alone for each item.
void checkfields(const layout& L, const item* v, int n)
{
    for (int k = 0; k < L.n; ++k) {
        const edit& e = L.e[k];
        for (int j = 0; j < n; ++j) {
            if (e.kind == 'I') checki(e.w, v[j]);
            if (e.kind == 'F') checkf(e.w, e.d, v[j]);
        }
    }
}

// The statement just written on s ended its last line and handed every
// record over: nothing is left in the buffer.
void ended(const stream& s)
{
    if (s.col != 0 || s.on != 0 || s.done != 0) broken();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const void* nul = std::memchr(data, '\0', size);
    if (!nul) return 0;
    size_t slen = size_t(static_cast<const uint8_t*>(nul) - data);
    if (slen > maxsrc) return 0;
    char src[maxsrc + 1];
    std::memcpy(src, data, slen);
    src[slen] = '\0';
    item v[maxitems];
    int n = items(data + slen + 1, size - slen - 1, v);

    static layout L;
    if (!parsefmt(src, L)) return 0;
    if (L.n < 2 || L.e[0].kind != '(') broken();
    checkfields(L, v, n);
    if (passcost(L) * (n + 1) > maxwork) return 0;

    quietunits(io);
    try {
        wfmt(io.vars, L, v, n);
        ended(io.vars);
        wlist(io.vars, v, n);
        ended(io.vars);
        flushs(io.vars);
    } catch (const ioerror&) {
        broken();
    }
    return 0;
}
