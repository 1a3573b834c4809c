// The picture: one SVG file written element by element through the text
// layer.  Each function below emits one kind of element; numbers are
// rendered with one decimal (pixels) by rendf.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>

#include "maps.h"
#include "textio/textio.h"

namespace {

const double width = 960;       // of the picture, pixels
const double margin = 20;
const double bigside = 420;     // plot box of the site map and of the chart
const double cellwidth = 230;   // one small map, four to a row
const double smallside = 210;
const int columns = 4;
const double titleheight = 18;

// v with d decimals, without leading blanks.
std::string num(double v, int d = 1)
{
    char out[maxwidth];
    rendf(out, 40, d, v);
    int a = 0;
    while (a < 40 && out[a] == ' ') ++a;
    return std::string(out + a, out + 40);
}

// The text with the characters that XML reserves written as references.
std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

}  // namespace

std::string shortest(double v)
{
    char out[40];
    std::to_chars_result r = std::to_chars(out, out + sizeof out, v);
    return std::string(out, r.ptr);
}

namespace {

void record(stream& s, const std::string& text)
{
    putn(s, text.data(), text.size());
    endrec(s);
}

// A disc: black (or the group's fill) when filled, white otherwise.
void disc(stream& s, double x, double y, double r, bool filled)
{
    record(s, "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"" + num(r) + "\"" +
                  (filled ? "/>" : " fill=\"#fff\"/>"));
}

void segment(stream& s, double x1, double y1, double x2, double y2, const char* style = "")
{
    record(s, "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) +
                  "\"" + style + "/>");
}

void label(stream& s, double x, double y, const std::string& text, const char* style = "")
{
    record(s, "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"" + style + ">" + escaped(text) + "</text>");
}

void frame(stream& s, double x, double y, double w, double h)
{
    record(s, "<rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(w) + "\" height=\"" + num(h) +
                  "\" fill=\"none\" stroke=\"#bbb\"/>");
}

// The place of the sites in a plot box: X and Y on one scale, Y upwards.
struct place {
    double x0, y0, scale, ey;
    double x(double u) const { return x0 + u * scale; }
    double y(double v) const { return y0 + (ey - v) * scale; }
};

// Fits extents ex by ey (ranged units) into a box of w by h at (x0, y0).
place fit(double x0, double y0, double w, double h, double ex, double ey)
{
    const double none = std::numeric_limits<double>::infinity();
    double s = std::min(ex > 0 ? w / ex : none, ey > 0 ? h / ey : none);
    if (!std::isfinite(s)) s = 1;
    return place{x0 + (w - ex * s) / 2, y0 + (h - ey * s) / 2, s, ey};
}

// The extents of the ranged coordinates of objects 0..m-1 on X and Y.
void extents(const scene& sc, int m, double& ex, double& ey)
{
    const size_t ld = size_t(sc.s->n + sc.s->nsup);
    ex = ey = 0;
    for (int i = 0; i < m; ++i) {
        ex = std::max(ex, sc.xr[i]);
        if (sc.s->ncoord > 1) ey = std::max(ey, sc.xr[size_t(i) + ld]);
    }
}

double yof(const scene& sc, int i)
{
    return sc.s->ncoord > 1 ? sc.xr[size_t(i) + size_t(sc.s->n + sc.s->nsup)] : 0.0;
}

// The largest disc of a map of m sites in a box of w by h pixels.
double largest(int m, double w, double h)
{
    return std::clamp(0.45 * std::sqrt(w * h / std::max(m, 1)), 0.6, 8.0);
}

// Parts of the tree that the limit cuts apart: returns the number of sites
// outside the largest part.
int unconnected(const scene& sc, int ntot)
{
    std::vector<int> up(static_cast<size_t>(ntot));
    std::iota(up.begin(), up.end(), 0);
    auto root = [&](int a) {
        while (up[size_t(a)] != a) a = up[size_t(a)] = up[size_t(up[size_t(a)])];
        return a;
    };
    for (int i = 1; i < ntot; ++i)
        if (within(sc.len[i], sc.scaled)) up[size_t(root(i))] = root(sc.from[i] - 1);
    std::vector<int> size(size_t(ntot), 0);
    int most = 0;
    for (int i = 0; i < ntot; ++i) most = std::max(most, ++size[size_t(root(i))]);
    return ntot - most;
}

// The site map in a box of bigside at (x0, y0); returns the sites that the
// limit leaves unconnected.
int sitemap(stream& s, const scene& sc, double x0, double y0, double h)
{
    const int ntot = sc.s->n + sc.s->nsup;
    double ex, ey;
    extents(sc, ntot, ex, ey);
    place p = fit(x0, y0 + titleheight, bigside, h, ex, ey);
    label(s, x0, y0 + 12, "Sites: " + std::to_string(sc.s->n) + " main (filled), " + std::to_string(sc.s->nsup) +
                              " supplementary (hollow)" + (sc.s->ncoord == 3 ? "; X and Y of 3 coordinates" : ""));
    record(s, "<g stroke=\"#888\">");
    int cut = 0;
    for (int i = 1; i < ntot; ++i) {
        int j = sc.from[i] - 1;
        bool kept = within(sc.len[i], sc.scaled);
        cut += !kept;
        segment(s, p.x(sc.xr[i]), p.y(yof(sc, i)), p.x(sc.xr[j]), p.y(yof(sc, j)),
                kept ? "" : " stroke=\"#d00\" stroke-dasharray=\"4 3\"");
    }
    record(s, "</g>");
    double r = std::min(3.0, largest(ntot, bigside, h) * 0.6);
    record(s, "<g stroke=\"#000\" stroke-width=\"0.5\">");
    for (int i = 0; i < ntot; ++i) disc(s, p.x(sc.xr[i]), p.y(yof(sc, i)), r, i < sc.s->n);
    record(s, "</g>");
    int left = unconnected(sc, ntot);
    double below = y0 + titleheight + h + 16;
    double bar = std::min(sc.scaled * p.scale, bigside);
    segment(s, x0, below, x0 + bar, below, " stroke=\"#000\" stroke-width=\"2\"");
    label(s, x0, below + 14, "limit " + shortest(sc.limit) + (bar < sc.scaled * p.scale ? " (bar cut)" : ""));
    label(s, x0, below + 28,
          cut == 0 ? "minimum spanning tree: every edge within the limit"
                   : "minimum spanning tree: " + std::to_string(cut) + " edges longer than the limit (red), " +
                         std::to_string(left) + " sites unconnected");
    return left;
}

// The chart of Moran's I against the variable's number.
void chart(stream& s, const scene& sc, double x0, double y0, double h)
{
    const int k = sc.v->k;
    double lo = sc.st[0].e, hi = 0;
    for (int j = 0; j < k; ++j) lo = std::min(lo, sc.st[j].i), hi = std::max(hi, sc.st[j].i);
    double pad = (hi - lo) * 0.05 + 1e-9;
    lo -= pad;
    hi += pad;
    const double top = y0 + titleheight, left = x0 + 40, w = bigside - 40;
    auto px = [&](int j) { return left + (k > 1 ? j * (w - 10) / (k - 1) : w / 2) + 5; };
    auto py = [&](double v) { return top + (hi - v) / (hi - lo) * h; };
    label(s, x0, y0 + 12,
          "Moran's I of each variable" +
              std::string(sc.perms ? " (filled: p <= 0.05 by permutations)" : ""));
    frame(s, left, top, w, h);
    label(s, left - 4, py(hi) + 10, num(hi, 2), " text-anchor=\"end\"");
    label(s, left - 4, py(lo), num(lo, 2), " text-anchor=\"end\"");
    segment(s, left, py(sc.st[0].e), left + w, py(sc.st[0].e), " stroke=\"#00a\" stroke-dasharray=\"5 3\"");
    label(s, left + w - 4, py(sc.st[0].e) - 4, "expectation " + num(sc.st[0].e, 4),
          " text-anchor=\"end\" fill=\"#00a\"");
    label(s, left, top + h + 14, "1");
    label(s, left + w, top + h + 14, std::to_string(k), " text-anchor=\"end\"");
    label(s, left + w / 2, top + h + 14, "variable", " text-anchor=\"middle\"");
    record(s, "<g stroke=\"#000\">");
    for (int j = 0; j < k; ++j) disc(s, px(j), py(sc.st[j].i), 3, !sc.perms || sc.st[j].p <= 0.05);
    record(s, "</g>");
}

// The small map of variable j (from 0): a disc per main object, in order.
void smallmap(stream& s, const scene& sc, int j, double x0, double y0, double h)
{
    const int n = sc.v->n, k = sc.v->k;
    std::string title = sc.v->labels.empty() ? "Variable " + std::to_string(j + 1) : sc.v->labels[size_t(j)];
    label(s, x0, y0 + 12, title + ":  I = " + num(sc.st[j].i, 3));
    double top = 0;
    for (int i = 0; i < n; ++i) top = std::max(top, std::fabs(sc.v->v[size_t(i) * size_t(k) + size_t(j)]));
    double ex, ey;
    extents(sc, sc.s->n + sc.s->nsup, ex, ey);
    auto value = [&](int i) { return sc.v->v[size_t(i) * size_t(k) + size_t(j)]; };
    auto radius = [&](int i, double rmax) { return top > 0 ? rmax * std::sqrt(std::fabs(value(i)) / top) : 0.0; };
    if (sc.s->ncoord == 1) {
        // The values along the transect, zero in the middle.
        double rmax = std::min(4.0, largest(n, smallside, 4));
        place p = fit(x0, y0 + titleheight, smallside, 0, ex, 0);
        double mid = y0 + titleheight + h / 2, amp = h / 2 - rmax;
        segment(s, x0, mid, x0 + smallside, mid, " stroke=\"#bbb\"");
        std::vector<int> along(static_cast<size_t>(n));
        std::iota(along.begin(), along.end(), 0);
        std::stable_sort(along.begin(), along.end(), [&](int a, int b) { return sc.xr[a] < sc.xr[b]; });
        std::string points;
        for (int i : along)
            points += num(p.x(sc.xr[i])) + "," + num(mid - (top > 0 ? value(i) / top * amp : 0)) + " ";
        record(s, "<polyline points=\"" + points + "\" fill=\"none\" stroke=\"#888\"/>");
        record(s, "<g id=\"map-" + std::to_string(j + 1) + "\" stroke=\"#000\" stroke-width=\"0.5\">");
        for (int i = 0; i < n; ++i)
            disc(s, p.x(sc.xr[i]), mid - (top > 0 ? value(i) / top * amp : 0), radius(i, rmax), value(i) > 0);
    } else {
        place p = fit(x0, y0 + titleheight, smallside, h, ex, ey);
        double rmax = largest(n, ex * p.scale + 1, ey * p.scale + 1);
        record(s, "<g id=\"map-" + std::to_string(j + 1) + "\" stroke=\"#000\" stroke-width=\"0.5\">");
        for (int i = 0; i < n; ++i) disc(s, p.x(sc.xr[i]), p.y(yof(sc, i)), radius(i, rmax), value(i) > 0);
    }
    record(s, "</g>");
}

}  // namespace

int picture(stream& s, const scene& sc)
{
    // Heights: the site map keeps the sites' shape; a transect's values
    // take a strip.
    double ex, ey;
    extents(sc, sc.s->n + sc.s->nsup, ex, ey);
    bool line = sc.s->ncoord == 1 || ey == 0;
    double maph = line ? 40 : std::clamp(bigside * ey / ex, 60.0, bigside);
    double toph = std::max(maph + 40, 260.0) + titleheight;
    double smallh = sc.s->ncoord == 1 ? 80 : std::clamp(smallside * ey / ex, 40.0, smallside);
    int rows = (sc.shown + columns - 1) / columns;
    double height = margin + toph + 20 + rows * (smallh + titleheight + 12) + margin;

    note(s, dir_writing, nullptr);
    record(s, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    record(s, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(int(width)) + "\" height=\"" +
                  std::to_string(long(std::ceil(height))) + "\" font-family=\"sans-serif\" font-size=\"11\">");
    record(s, "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>");
    int left = sitemap(s, sc, margin, margin, maph);
    chart(s, sc, margin + cellwidth * 2, margin, 220);
    endwrite(s);
    for (int j = 0; j < sc.shown; ++j) {
        double x0 = margin + (j % columns) * cellwidth;
        double y0 = margin + toph + 20 + (j / columns) * (smallh + titleheight + 12);
        smallmap(s, sc, j, x0, y0, smallh);
        endwrite(s);
    }
    record(s, "</svg>");
    endwrite(s);
    return left;
}
