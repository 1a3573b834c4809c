#include "render.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Fills w characters with asterisks.
void stars(char* out, int w) { std::memset(out, '*', size_t(w)); }

// Right-aligns the len characters of s in a field of w (len <= w).
void right(char* out, int w, const char* s, int len)
{
    std::memset(out, ' ', size_t(w - len));
    std::memcpy(out + (w - len), s, size_t(len));
}

// Non-finite values in a data field: NaN, Infinity or Inf when they fit.
void nonfinite(char* out, int w, double v)
{
    const char* s = std::isnan(v) ? "NaN" : (v < 0 ? "-Infinity" : "Infinity");
    int len = int(std::strlen(s));
    if (len > w && !std::isnan(v)) {
        s = v < 0 ? "-Inf" : "Inf";
        len = int(std::strlen(s));
    }
    if (len > w)
        stars(out, w);
    else
        right(out, w, s, len);
}

}  // namespace

void rendi(char* out, int w, long long v)
{
    char buf[24];
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
    int len = int(r.ptr - buf);
    if (len > w)
        stars(out, w);
    else
        right(out, w, buf, len);
}

void rendf(char* out, int w, int d, double v)
{
    if (!std::isfinite(v)) {
        nonfinite(out, w, v);
        return;
    }
    // Fixed notation of the largest double with the most decimals fits here.
    char buf[330 + maxwidth];
    std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d);
    char* s = buf;
    int len = int(r.ptr - buf);
    if (d == 0) s[len++] = '.';
    if (s[0] == '-') {
        bool zero = true;
        for (int k = 1; k < len; ++k)
            if (s[k] >= '1' && s[k] <= '9') zero = false;
        if (zero) {
            ++s;
            --len;
        }
    }
    if (len <= w) {
        right(out, w, s, len);
        return;
    }
    // Too long: drop the zero before the point when that alone makes it fit.
    int z = s[0] == '-' ? 1 : 0;
    if (len == w + 1 && s[z] == '0' && s[z + 1] == '.') {
        std::memmove(s + z, s + z + 1, size_t(len - z - 1));
        std::memcpy(out, s, size_t(w));
        return;
    }
    stars(out, w);
}

void renda(char* out, int w, const char* p, int len)
{
    if (len >= w)
        std::memcpy(out, p, size_t(w));
    else
        right(out, w, p, len);
}

int rendg(char* out, double v)
{
    int n = 0;
    out[n++] = ' ';
    out[n++] = std::signbit(v) && v != 0 ? '-' : ' ';
    double a = std::fabs(v);
    if (!std::isfinite(v)) {
        const char* s = std::isnan(v) ? "NaN" : "Infinity";
        std::memcpy(out + n, s, std::strlen(s));
        return n + int(std::strlen(s));
    }
    if (a == 0) {
        out[n++] = '0';
        out[n++] = '.';
        return n;
    }
    // Nine significant digits, correctly rounded: d.dddddddde[+-]x
    char sci[40];
    std::to_chars_result r =
        std::to_chars(sci, sci + sizeof sci, a, std::chars_format::scientific, 8);
    *r.ptr = '\0';
    char digits[9];
    digits[0] = sci[0];
    std::memcpy(digits + 1, sci + 2, 8);
    int exp = std::atoi(sci + 11);
    int nd = 9;
    while (nd > 1 && digits[nd - 1] == '0') --nd;

    if (exp < -4 || exp >= 9) {
        out[n++] = digits[0];
        out[n++] = '.';
        for (int k = 1; k < nd; ++k) out[n++] = digits[k];
        out[n++] = 'E';
        out[n++] = exp < 0 ? '-' : '+';
        int e = std::abs(exp);
        if (e < 10) out[n++] = '0';
        std::to_chars_result q = std::to_chars(out + n, out + n + 4, e);
        return int(q.ptr - out);
    }
    if (exp >= 0) {
        for (int k = 0; k <= exp; ++k) out[n++] = k < nd ? digits[k] : '0';
        out[n++] = '.';
        for (int k = exp + 1; k < nd; ++k) out[n++] = digits[k];
    } else {
        out[n++] = '0';
        out[n++] = '.';
        for (int k = 1; k < -exp; ++k) out[n++] = '0';
        for (int k = 0; k < nd; ++k) out[n++] = digits[k];
    }
    return n;
}
