#include "listio.h"

#include <charconv>
#include <string>

#include "os.h"
#include "render.h"

namespace {

const char* const incomprehensible = "incomprehensible list input";
const int maxcountdigits = 40;
const long long maxexponent = 99999999;

bool isdig(int c) { return c >= '0' && c <= '9'; }

// Characters that end an unquoted text value.
bool endstext(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }

// Skips blanks, tabs and line ends before a value and returns the first
// other character; the end of input there fails the read.
int skipsep(stream& s)
{
    for (;;) {
        int c = peekc(s);
        if (c == ' ' || c == '\t' || c == '\n') {
            skipc(s);
            continue;
        }
        if (c < 0) failio(s, "list in", "end of file");
        return c;
    }
}

// Reads a repetition count r* at the start of the value, if there is one,
// into s.rcount and moves past the star.  Returns whether there was one.
bool repetition(stream& s)
{
    const std::string& L = s.line;
    size_t q = s.pos;
    bool sign = L[q] == '+' || L[q] == '-';
    if (sign) ++q;
    size_t d0 = q;
    while (q < L.size() && isdig(L[q])) ++q;
    if (q == L.size() || L[q] != '*') return false;
    size_t nd = q - d0;
    // The count saturates at 10^18, tested before the product so that a
    // count of 20 to 40 digits cannot overflow on the way.
    const long long most = 1000000000000000000LL;
    long long r = 0;
    for (size_t k = d0; k < q; ++k) r = r > most / 10 ? most : r * 10 + (L[k] - '0');
    if (sign || nd == 0 || nd > size_t(maxcountdigits) || r == 0)
        failio(s, "bad repetition count", incomprehensible);
    s.rcount = r;
    s.pos = q + 1;
    return true;
}

// Text between quotes, over line ends (which are not part of it); a doubled
// quote stands for one.
void quoted(stream& s, char q)
{
    skipc(s);
    for (;;) {
        int c = peekc(s);
        if (c < 0) failio(s, "list in", "end of file");
        skipc(s);
        if (c == '\n') continue;
        if (c == q) {
            if (peekc(s) != q) return;
            skipc(s);
        }
        s.rtok += char(c);
    }
}

// Scans the next value of the statement for an item of kind want ('i', 'r'
// or 't') into s.rtok, s.rkind and s.rcount; a lone comma leaves rcount 0, a
// slash sets rdone.  Then takes the separator after the value.  A number
// that ends at a character that cannot continue it and is no separator sets
// s.rstuck: the value that would begin at that character fails.  An integer
// ends before a sign that follows its digits (only a real takes that sign as
// its exponent); the sign is no separator and is left, unstuck, for the next
// value, which then scans it like any other.
void scanvalue(stream& s, char want)
{
    if (s.rstuck) failio(s, "invalid number", incomprehensible);
    int c = skipsep(s);
    if (c == ',') {
        skipc(s);
        s.rcount = 0;
        return;
    }
    if (c == '/') {
        skipc(s);
        s.rdone = true;
        return;
    }
    s.rcount = 1;
    s.rtok.clear();
    s.rkind = 'v';
    if (repetition(s)) {
        c = peekc(s);
        if (c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\n' || c < 0) s.rkind = 'n';
    }
    if (s.rkind == 'v') {
        const std::string& L = s.line;
        if (want == 't' && (c == '\'' || c == '"')) {
            s.rkind = 'q';
            quoted(s, char(c));
        } else if (want == 't') {
            size_t b = s.pos;
            while (s.pos < L.size() && !endstext(L[s.pos])) ++s.pos;
            s.rtok.assign(L, b, s.pos - b);
        } else {
            numparts np;
            scanres res;
            const char* b = L.data() + s.pos;
            const char* e = scannum(b, L.data() + L.size(), np, res, want != 'i');
            if (res == scan_none) failio(s, "invalid number", incomprehensible);
            s.rtok.assign(b, size_t(e - b));
            s.pos += size_t(e - b);
            c = peekc(s);
            // The sign that ends an integer begins the next value.
            bool sign = want == 'i' && (c == '+' || c == '-');
            s.rstuck = !(c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\n' || c < 0 || sign);
        }
    }
    for (;;) {
        c = peekc(s);
        if (c == ' ' || c == '\t') {
            skipc(s);
            continue;
        }
        if (c == ',') skipc(s);
        break;
    }
}

// Hands the next value to an item of kind want: false when the item keeps
// its content (null value, or the statement was ended by a slash).
bool nextitem(stream& s, char want)
{
    if (s.rdone) return false;
    if (s.rcount == 0) {
        scanvalue(s, want);
        if (s.rdone || s.rcount == 0) return false;
    }
    --s.rcount;
    return s.rkind != 'n';
}

// The number of the current token; fails when it is not one.
numparts number(stream& s, scanres& res)
{
    numparts np;
    if (s.rkind == 'q') failio(s, "invalid number", incomprehensible);
    const char* b = s.rtok.data();
    scannum(b, b + s.rtok.size(), np, res);
    if (res == scan_none) failio(s, "invalid number", incomprehensible);
    return np;
}

// Decimal exponent of the first significant digit of np (np not zero).
long long magnitude(const numparts& np)
{
    for (int k = 0; k < np.ilen; ++k)
        if (np.ip[k] != '0') return (np.ilen - 1 - k) + np.exp;
    for (int k = 0; k < np.flen; ++k)
        if (np.fp[k] != '0') return -(k + 1) + np.exp;
    return 0;
}

}  // namespace

const char* scannum(const char* p, const char* end, numparts& np, scanres& res, bool signexp)
{
    np = numparts();
    const char* start = p;
    if (p < end && (*p == '+' || *p == '-')) {
        np.neg = *p == '-';
        ++p;
    }
    np.ip = p;
    while (p < end && isdig(*p)) ++p;
    np.ilen = int(p - np.ip);
    np.fp = p;
    if (p < end && *p == '.') {
        np.point = true;
        np.fp = ++p;
        while (p < end && isdig(*p)) ++p;
        np.flen = int(p - np.fp);
    }
    if (np.ilen + np.flen == 0) {
        res = scan_none;
        return start;
    }
    res = scan_ok;
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D' || (signexp && (*p == '+' || *p == '-')))) {
        np.expo = true;
        if (*p != '+' && *p != '-') ++p;
        bool neg = false;
        if (p < end && (*p == '+' || *p == '-')) {
            neg = *p == '-';
            ++p;
        }
        const char* e0 = p;
        long long v = 0;
        while (p < end && isdig(*p)) {
            if (v <= maxexponent) v = v * 10 + (*p - '0');
            ++p;
        }
        if (p == e0 || v > maxexponent) res = scan_expfield;
        np.exp = neg ? -v : v;
    }
    return p;
}

void wlist(stream& s, const item* v, int n)
{
    note(s, dir_writing, "list io");
    for (int k = 0; k < n; ++k) {
        const item& it = v[k];
        char buf[48];
        const char* p = buf;
        long len;
        long count;  // the length the 80-column rule counts
        if (it.kind == 't') {
            p = it.p;
            len = count = it.len;
        } else if (it.kind == 'i') {
            buf[0] = ' ';
            len = long(std::to_chars(buf + 1, buf + sizeof buf, it.i).ptr - buf);
            count = len - 1 - (it.i < 0 ? 1 : 0);
        } else {
            len = count = rendg(buf, it.r);
        }
        if (s.col > 0 && s.col + count >= 80) endrec(s);
        if (it.kind == 't' && s.col == 0) putch(s, ' ');
        putn(s, p, size_t(len));
    }
    endrec(s);
    endwrite(s);
}

void wlist(stream& s, std::initializer_list<item> v) { wlist(s, v.begin(), int(v.size())); }

void rbegin(stream& s)
{
    if (&s == &s.io->in) flushs(s.io->out);
    note(s, dir_reading, "list io");
    s.rdone = false;
    s.rstuck = false;
    s.rcount = 0;
    if (s.ended) failio(s, "read start", "end of file");
}

void rint(stream& s, int& v)
{
    if (!nextitem(s, 'i')) return;
    scanres res;
    numparts np = number(s, res);
    if (np.point || np.expo) failio(s, "invalid integer", "read unexpected character");
    int k = 0;
    while (k < np.ilen && np.ip[k] == '0') ++k;
    long long a = 0;
    for (; k < np.ilen; ++k) {
        a = a * 10 + (np.ip[k] - '0');
        if (a > 2147483648LL) break;
    }
    if (a > (np.neg ? 2147483648LL : 2147483647LL))
        failio(s, "invalid integer", "read unexpected character");
    v = int(np.neg ? -a : a);
}

void rreal(stream& s, double& v)
{
    if (!nextitem(s, 'r')) return;
    scanres res;
    numparts np = number(s, res);
    if (res == scan_expfield) failio(s, "exponent field", incomprehensible);
    std::string t;
    t.reserve(size_t(np.ilen + np.flen) + 24);
    if (np.neg) t += '-';
    if (np.ilen == 0) t += '0';
    t.append(np.ip, size_t(np.ilen));
    t += '.';
    if (np.flen == 0) t += '0';
    t.append(np.fp, size_t(np.flen));
    t += 'e';
    t += std::to_string(np.exp);
    double x = 0;
    if (!ostodouble(t.data(), t.data() + t.size(), x)) {
        if (magnitude(np) >= 0) failio(s, "invalid number", incomprehensible);
        x = np.neg ? -0.0 : 0.0;
    }
    v = x;
}

void rtext(stream& s, char* v, int len)
{
    if (!nextitem(s, 't')) return;
    int n = int(s.rtok.size()) < len ? int(s.rtok.size()) : len;
    for (int k = 0; k < len; ++k) v[k] = k < n ? s.rtok[size_t(k)] : ' ';
}

void rend(stream& s)
{
    s.rcount = 0;
    s.rdone = false;
    s.rstuck = false;
    if (!s.loaded) return;
    if (!s.hasnl) s.ended = true;
    s.loaded = false;
}
