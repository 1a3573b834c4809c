#include "output.h"

#include <vector>

#include "textio/textio.h"

namespace {

// Stored columns of the two-coordinate monomials of orders 2 to 5, in the
// order in which they are written: degree 1, 2, ... up to the order, and
// within one degree by decreasing power of x (x, y, x^2, xy, y^2, x^3, ...).
const int graded2[5] = {3, 1, 5, 4, 2};
const int graded3[9] = {4, 1, 7, 5, 2, 9, 8, 6, 3};
const int graded4[14] = {5, 1, 9, 6, 2, 12, 10, 7, 3, 14, 13, 11, 8, 4};
const int graded5[20] = {6, 1, 11, 7, 2, 15, 12, 8, 3, 18, 16, 13, 9, 4, 20, 19, 17, 14, 10, 5};
const int* const graded[4] = {graded2, graded3, graded4, graded5};
const int ngraded[4] = {5, 9, 14, 20};

// The three fields of the values.
enum { f10_5, f11_6, f12_7 };

// field: the field of the values, from the construction method (1 PCNM,
//   otherwise monomials) and the polynomial order (monomials only): F11.6
//   for PCNM, and F10.5, F11.6, F12.7 for orders 2, 3, 4 and 5.  An order
//   outside 2 to 5 is taken as the nearest of them.
int field(int method, int order)
{
    if (method == 1) return f11_6;
    if (order <= 2) return f10_5;
    if (order == 3) return f11_6;
    return f12_7;
}

// values: the field layout of the value blocks for the field f: one line per
//   object when oneline is set, otherwise 12, 11 or 10 values a line.
const layout& values(int f, bool oneline)
{
    static const layout one[3] = {fmt("(2000F10.5)"), fmt("(2000F11.6)"), fmt("(2000F12.7)")};
    static const layout folded[3] = {fmt("(12F10.5)"), fmt("(11F11.6)"), fmt("(10F12.7)")};
    return oneline ? one[f] : folded[f];
}

// blocks: writes one value block of rows 1..n of x (leading dimension ld)
//   under the layout L, each block from a new line.  PCNM variables and
//   one-coordinate monomials (ncoord 1) are columns 1..nvar; two-coordinate
//   monomials are the graded column list of the order, whatever nvar says.
void blocks(int n, int ncoord, int nvar, int ld, const double* x, int method, int order,
            const layout& L, stream& out)
{
    const int* seq = nullptr;
    int k = nvar;
    if (method != 1 && ncoord != 1) {
        int o = order < 2 ? 2 : order > 5 ? 5 : order;
        seq = graded[o - 2];
        k = ngraded[o - 2];
    }
    if (k < 0) k = 0;
    std::vector<item> v;
    v.reserve(size_t(k));
    for (int i = 1; i <= n; ++i) {
        v.clear();
        for (int j = 1; j <= k; ++j) {
            int col = seq ? seq[j - 1] : j;
            v.emplace_back(x[(i - 1) + (col - 1) * ld]);
        }
        wfmt(out, L, v.data(), k);
    }
}

// Label layouts by prefix and number width (I2 with two blanks, I3 with
// one, I4); ten labels a line, nothing after the last one.
enum { prefix_pcnm, prefix_mono, prefix_site };

const layout& labellayout(int prefix, int width)
{
    static const layout L[3][3] = {
        {fmt("(10('PCNM',I2,2X,:))"), fmt("(10('PCNM',I3,1X,:))"), fmt("(10('PCNM',I4,:))")},
        {fmt("(10('Mono',I2,2X,:))"), fmt("(10('Mono',I3,1X,:))"), fmt("(10('Mono',I4,:))")},
        {fmt("(10('Site',I2,2X,:))"), fmt("(10('Site',I3,1X,:))"), fmt("(10('Site',I4,:))")}};
    return L[prefix][width];
}

// labels: writes the label block of the numbers 1..m with the prefix, in
//   the number width chosen from m: 2 up to 99, 3 up to 999, 4 beyond.
//   With m = 0 the block is the prefix alone on one line.
void labels(int prefix, int m, stream& out)
{
    int width = m <= 99 ? 0 : m <= 999 ? 1 : 2;
    std::vector<item> v;
    v.reserve(size_t(m > 0 ? m : 0));
    for (int j = 1; j <= m; ++j) v.emplace_back(j);
    wfmt(out, labellayout(prefix, width), v.data(), int(v.size()));
}

}  // namespace

void writeout(int n, int ncoord, int nvar, int ld, const double* x, int layout, int method,
              int order, stream& out)
{
    wlist(out, {n, nvar});
    blocks(n, ncoord, nvar, ld, x, method, order, values(field(method, order), layout == 1),
           out);
}

void canocofree(int n, int ncoord, int nvar, int ld, const double* x, int method, int order,
                stream& out)
{
    static const layout pcnmtitle = fmt("('File of PCNM variables')");
    static const layout monotitle = fmt("('File of monomials')");
    static const layout freerec = fmt("('FREE')");

    wfmt(out, method == 1 ? pcnmtitle : monotitle, nullptr, 0);
    wfmt(out, freerec, nullptr, 0);
    wlist(out, {nvar, n});
    blocks(n, ncoord, nvar, ld, x, method, order, values(field(method, order), false), out);
    labels(method == 1 ? prefix_pcnm : prefix_mono, nvar, out);
    labels(prefix_site, n, out);
}
