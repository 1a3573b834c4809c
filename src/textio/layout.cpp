#include "layout.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "render.h"

namespace {

const int maxdepth = 16;
const int maxrepeat = 9999;

// Reads an unsigned count of at most four digits at p; returns -1 when there
// is no digit or the count is too large.
int count(const char*& p)
{
    if (!std::isdigit(static_cast<unsigned char>(*p))) return -1;
    long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + (*p++ - '0');
        if (v > maxrepeat) return -1;
    }
    return int(v);
}

void skipblanks(const char*& p)
{
    while (*p == ' ') ++p;
}

bool add(layout& L, const edit& e)
{
    if (L.n == maxedits) return false;
    L.e[L.n++] = e;
    return true;
}

}  // namespace

bool parsefmt(const char* src, layout& L)
{
    L.src = src;
    L.n = 0;
    L.revert = 0;
    int ntext = 0;
    int open[maxdepth];
    int depth = 0;
    const char* p = src;
    skipblanks(p);
    if (*p++ != '(') return false;
    add(L, edit{'(', 1, 0, 0, 0, 0, 0});
    open[depth++] = 0;
    while (depth > 0) {
        skipblanks(p);
        char c = *p;
        if (c == ',') {
            ++p;
        } else if (c == ')') {
            ++p;
            int o = open[--depth];
            if (!add(L, edit{')', 0, 0, 0, 0, 0, o})) return false;
            L.e[o].match = L.n - 1;
        } else if (c == '\'' || c == '"') {
            int start = ntext;
            for (++p;; ++p) {
                if (*p == '\0') return false;
                if (*p == c) {
                    if (p[1] != c) break;
                    ++p;
                }
                if (ntext == maxtexts) return false;
                L.texts[ntext++] = *p;
            }
            ++p;
            if (!add(L, edit{'t', 0, 0, 0, start, ntext - start, 0})) return false;
        } else if (c == '/' || c == ':') {
            ++p;
            if (!add(L, edit{c, 0, 0, 0, 0, 0, 0})) return false;
        } else {
            int r = 1;
            if (std::isdigit(static_cast<unsigned char>(c))) {
                r = count(p);
                if (r < 1) return false;
            }
            char k = char(std::toupper(static_cast<unsigned char>(*p)));
            if (k == 'X') {
                ++p;
                if (!add(L, edit{'X', r, 0, 0, 0, 0, 0})) return false;
            } else if (k == '(') {
                ++p;
                if (depth == maxdepth) return false;
                if (depth == 1) L.revert = L.n;
                open[depth++] = L.n;
                if (!add(L, edit{'(', r, 0, 0, 0, 0, 0})) return false;
            } else if (k == 'I' || k == 'F' || k == 'A') {
                ++p;
                int w = count(p);
                int d = 0;
                if (w < 1 || w > maxwidth) return false;
                if (k == 'F') {
                    if (*p++ != '.') return false;
                    d = count(p);
                    if (d < 0 || d > maxwidth) return false;
                }
                if (!add(L, edit{k, r, w, d, 0, 0, 0})) return false;
            } else {
                return false;
            }
        }
    }
    skipblanks(p);
    return *p == '\0';
}

layout fmt(const char* src)
{
    layout L;
    if (!parsefmt(src, L)) throw std::logic_error(std::string("bad field layout ") + src);
    return L;
}

namespace {

// Renders one item in the data field e and writes it, after any pending move.
void field(stream& s, const edit& e, const item& v)
{
    char buf[maxwidth];
    if (v.kind == 't') {
        renda(buf, e.w, v.p, v.len);
    } else if (e.kind == 'F') {
        rendf(buf, e.w, e.d, v.kind == 'r' ? v.r : double(v.i));
    } else if (e.kind == 'I') {
        if (v.kind == 'i')
            rendi(buf, e.w, v.i);
        else if (std::fabs(v.r) < 9.0e18)
            rendi(buf, e.w, static_cast<long long>(v.r));
        else
            std::memset(buf, '*', size_t(e.w));
    } else {
        renda(buf, e.w, "", 0);
    }
    putpending(s);
    putn(s, buf, size_t(e.w));
}

}  // namespace

void wfmt(stream& s, const layout& L, const item* v, int n)
{
    note(s, dir_writing, L.src);
    int k = 0;        // next item
    int lastk = -1;   // items used when the outer parenthesis was last met
    int left[maxdepth];  // repetitions left of the open groups
    int depth = 0;
    int ip = 1;
    for (;;) {
        const edit& e = L.e[ip];
        switch (e.kind) {
        case 't':
            putpending(s);
            putn(s, L.texts + e.text, size_t(e.len));
            ++ip;
            break;
        case '/':
            endrec(s);
            ++ip;
            break;
        case 'X':
            s.pending += e.r;
            ++ip;
            break;
        case ':':
            if (k == n) goto done;
            ++ip;
            break;
        case '(':
            left[depth++] = e.r;
            ++ip;
            break;
        case ')':
            if (e.match != 0) {
                if (--left[depth - 1] > 0) {
                    ip = e.match + 1;
                } else {
                    --depth;
                    ++ip;
                }
                break;
            }
            // The outer parenthesis: end, or a new line and reversion.  A
            // pass that used no item would loop for ever, so it ends too.
            if (k == n || k == lastk) goto done;
            lastk = k;
            endrec(s);
            depth = 0;
            ip = L.revert ? L.revert : 1;
            break;
        default:  // data field
            for (int rep = 0; rep < e.r; ++rep) {
                if (k == n) goto done;
                field(s, e, v[k++]);
            }
            ++ip;
            break;
        }
    }
done:
    endrec(s);
    endwrite(s);
}

void wfmt(stream& s, const layout& L, std::initializer_list<item> v)
{
    wfmt(s, L, v.begin(), int(v.size()));
}
