// Boruvka's minimum spanning tree over a k-d tree, and the edge that Prim's
// method from object 1 names as the longest.
//
// The weights are the squared distances as pairsum() computes them.  Every
// pruning bound below is computed with the same operations, in the same
// order of coordinates, on the gaps between a point and a box; rounding is
// monotone, so the bound never exceeds the pairsum of any point in the box
// and the pruning is exact.
//
// Which edge Prim's method names follows from the tree alone, through three
// facts about Prim's method on the complete graph (objects joined one by
// one, the nearest waiting one first, the lowest-numbered among equals):
// (a) for any weight w, once it takes an edge of weight w or more, the tree
//     holds whole parts of the graph of the edges lighter than w;
// (b) so it joins the objects in increasing order of their bottleneck to
//     object 1 (the heaviest edge on their path in a minimum spanning tree);
// (c) inside a part of the edges lighter than w, entered at object e, it
//     runs as on that part alone, from e.
// The longest edge is the first one taken whose root is the longest root L:
// it leaves the part P of object 1 in the edges whose root is below L, to
// the lowest-numbered object t outside P at the least weight m from P, and
// from the object of P at weight m from t that joined first.  That first
// one is found by (b), and among equal bottlenecks b by following the
// joining at weight b exactly across the parts of the edges lighter than b,
// then (c) inside the part reached.
#include "emst.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>
#include <vector>

namespace {

const int leafsize = 8;  // points in a leaf of the k-d tree, at most
const double infinity = std::numeric_limits<double>::infinity();

// The k-d tree: the points in tree order, three coordinates a point, and
// nodes that each hold a range of positions and their bounding box.
// Children follow their parent in the node order.
struct kdtree {
    int n = 0, ncoord = 0;
    std::vector<double> p;             // p[3q + k]: coordinate k of position q
    std::vector<int> id;               // id[q]: the object (from 0) at q
    std::vector<int> first, last;      // node's positions: first..last - 1
    std::vector<int> left, right, up;  // children (-1 for a leaf), parent
    std::vector<double> lo, hi;        // box: lo[3v + k] .. hi[3v + k]
    std::vector<int> leaf;             // leaf[q]: the leaf holding q
};

// Builds the tree of the n objects of x: each node of more than leafsize
// points splits at the median of its widest coordinate (the first among
// equal widths).
void build(kdtree& t, int n, int ncoord, size_t ld, const double* x)
{
    t.n = n;
    t.ncoord = ncoord;
    // The points with their objects, packed, reordered as the nodes split.
    struct point {
        double c[3];
        int id;
    };
    std::vector<point> pt(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        point& q = pt[size_t(i)];
        q.id = i;
        for (int k = 0; k < 3; ++k) q.c[k] = k < ncoord ? x[size_t(i) + size_t(k) * ld] : 0;
    }
    auto node = [&](int a, int b, int parent) {
        t.first.push_back(a);
        t.last.push_back(b);
        t.left.push_back(-1);
        t.right.push_back(-1);
        t.up.push_back(parent);
        double l[3] = {infinity, infinity, infinity}, h[3] = {-infinity, -infinity, -infinity};
        for (int q = a; q < b; ++q)
            for (int k = 0; k < 3; ++k) {
                l[k] = std::min(l[k], pt[size_t(q)].c[k]);
                h[k] = std::max(h[k], pt[size_t(q)].c[k]);
            }
        t.lo.insert(t.lo.end(), l, l + 3);
        t.hi.insert(t.hi.end(), h, h + 3);
        return int(t.first.size()) - 1;
    };
    node(0, n, -1);
    for (size_t v = 0; v < t.first.size(); ++v) {
        int a = t.first[v], b = t.last[v];
        if (b - a <= leafsize) continue;
        int k = 0;
        for (int j = 1; j < ncoord; ++j)
            if (t.hi[3 * v + size_t(j)] - t.lo[3 * v + size_t(j)] > t.hi[3 * v + size_t(k)] - t.lo[3 * v + size_t(k)])
                k = j;
        int mid = a + (b - a) / 2;
        std::nth_element(pt.begin() + a, pt.begin() + mid, pt.begin() + b,
                         [k](const point& i, const point& j) { return i.c[k] < j.c[k]; });
        int l = node(a, mid, int(v));
        int r = node(mid, b, int(v));
        t.left[v] = l;
        t.right[v] = r;
    }
    t.p.resize(3 * size_t(n));
    t.id.resize(size_t(n));
    t.leaf.resize(size_t(n));
    for (int q = 0; q < n; ++q) {
        t.id[size_t(q)] = pt[size_t(q)].id;
        for (int k = 0; k < 3; ++k) t.p[3 * size_t(q) + size_t(k)] = pt[size_t(q)].c[k];
    }
    for (size_t v = 0; v < t.first.size(); ++v)
        if (t.left[v] < 0)
            for (int q = t.first[v]; q < t.last[v]; ++q) t.leaf[size_t(q)] = int(v);
}

// The pairsum of the points at positions a and b.
double sum2(const kdtree& t, int a, int b)
{
    double sum = 0;
    for (int k = 0; k < t.ncoord; ++k) {
        double d = t.p[3 * size_t(a) + size_t(k)] - t.p[3 * size_t(b) + size_t(k)];
        sum = sum + d * d;
    }
    return sum;
}

// A bound, never above it, on the pairsum of the point at position a and
// any point in the box of node v.
double bound(const kdtree& t, int a, int v)
{
    double sum = 0;
    for (int k = 0; k < t.ncoord; ++k) {
        double c = t.p[3 * size_t(a) + size_t(k)], g = 0;
        if (c < t.lo[3 * size_t(v) + size_t(k)])
            g = t.lo[3 * size_t(v) + size_t(k)] - c;
        else if (c > t.hi[3 * size_t(v) + size_t(k)])
            g = c - t.hi[3 * size_t(v) + size_t(k)];
        sum = sum + g * g;
    }
    return sum;
}

// Visits the points within pairsum r of position a (below r when open):
// skip(v) prunes a node besides the bound, each point b of a kept leaf goes
// to see(b, pairsum), nearer child first.  r is read again at every node, so
// see() may lower it.
template <bool open = false, class Skip, class See>
void search(const kdtree& t, int a, const double& r, Skip skip, See see)
{
    int stack[128];
    int depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        int v = stack[--depth];
        const double d = bound(t, a, v);
        if (skip(v) || d > r || (open && d == r)) continue;
        if (t.left[size_t(v)] < 0) {
            for (int b = t.first[size_t(v)]; b < t.last[size_t(v)]; ++b) see(b, sum2(t, a, b));
            continue;
        }
        int l = t.left[size_t(v)], h = t.right[size_t(v)];
        if (bound(t, a, l) < bound(t, a, h)) std::swap(l, h);
        stack[depth++] = l;
        stack[depth++] = h;
    }
}

int find(std::vector<int>& parent, int i)
{
    while (parent[size_t(i)] != i) {
        parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
        i = parent[size_t(i)];
    }
    return i;
}

// An edge of the tree between objects u and v (from 0), of pairsum w.
struct edge {
    int u, v;
    double w;
};

// Boruvka's method: in each round every part of the tree takes a lightest
// edge to another part.  Among equal weights the choices may close a cycle
// of parts; all its edges then weigh the same and the last one of the cycle
// to be merged is left out, which leaves a minimum spanning tree (the
// weights raised by tiny amounts along the chosen edges would make these
// choices the only lightest ones).  Only the weights of the tree and the
// parts of its lighter edges matter below, and those are the same for every
// minimum spanning tree.  A point keeps its nearest point of another
// part from round to round while that point stays in another part: the
// other parts only shrink.  Returns the ntot - 1 edges.
std::vector<edge> boruvka(const kdtree& t)
{
    const int n = t.n;
    const size_t nodes = t.first.size(), count = size_t(n);
    std::vector<int> parent(count), part(count), nodepart(nodes), near(count, -1);
    // nearw[q]: the weight of near[q] while it holds one, else a bound, never
    // above it, on the weight of q's nearest point of another part.
    std::vector<double> nearw(count, 0.0), bestw(count);
    std::vector<int> besta(count), bestb(count);
    for (int q = 0; q < n; ++q) parent[size_t(q)] = q;
    std::vector<edge> tree;
    tree.reserve(size_t(n > 0 ? n - 1 : 0));

    auto offer = [&](int c, double w, int a, int b) {
        if (w < bestw[size_t(c)]) {
            bestw[size_t(c)] = w;
            besta[size_t(c)] = a;
            bestb[size_t(c)] = b;
        }
    };

    while (int(tree.size()) < n - 1) {
        // The parts, of the points and of the nodes (-1: several).
        for (int q = 0; q < n; ++q) part[size_t(q)] = find(parent, q);
        for (size_t v = nodes; v-- > 0;) {
            if (t.left[v] >= 0) {
                int l = nodepart[size_t(t.left[v])], r = nodepart[size_t(t.right[v])];
                nodepart[v] = l == r ? l : -1;
                continue;
            }
            int c = part[size_t(t.first[v])];
            for (int q = t.first[v] + 1; q < t.last[v] && c >= 0; ++q)
                if (part[size_t(q)] != c) c = -1;
            nodepart[v] = c;
        }
        for (int q = 0; q < n; ++q) {
            bestw[size_t(q)] = infinity;
            besta[size_t(q)] = bestb[size_t(q)] = -1;
        }
        // The nearest points kept from the last round, then the others.
        for (int q = 0; q < n; ++q)
            if (near[size_t(q)] >= 0 && part[size_t(near[size_t(q)])] != part[size_t(q)])
                offer(part[size_t(q)], nearw[size_t(q)], q, near[size_t(q)]);
            else
                near[size_t(q)] = -1;
        for (int q = 0; q < n; ++q) {
            if (near[size_t(q)] >= 0) continue;
            const int c = part[size_t(q)];
            if (nearw[size_t(q)] >= bestw[size_t(c)]) continue;
            double w = bestw[size_t(c)];
            int b = -1;
            search<true>(t, q, w, [&](int v) { return nodepart[size_t(v)] == c; },
                         [&](int r, double s) {
                             if (part[size_t(r)] != c && s < w) {
                                 w = s;
                                 b = r;
                             }
                         });
            if (b < 0) {
                nearw[size_t(q)] = w;  // none nearer than the part's best
                continue;
            }
            // Better than the part's best so far: the point's own nearest.
            near[size_t(q)] = b;
            nearw[size_t(q)] = w;
            offer(c, w, q, b);
        }
        for (int c = 0; c < n; ++c) {
            if (part[size_t(c)] != c || besta[size_t(c)] < 0) continue;
            int ra = find(parent, besta[size_t(c)]), rb = find(parent, bestb[size_t(c)]);
            if (ra == rb) continue;
            parent[size_t(ra)] = rb;
            tree.push_back({t.id[size_t(besta[size_t(c)])], t.id[size_t(bestb[size_t(c)])], bestw[size_t(c)]});
        }
    }
    return tree;
}

// The parts of the tree's edges that pass keep(w): part[i] is the root of
// object i's part, objects from 0.
template <class Keep>
std::vector<int> parts(int n, const std::vector<edge>& tree, Keep keep)
{
    std::vector<int> parent(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) parent[size_t(i)] = i;
    for (const edge& e : tree)
        if (keep(e.w)) parent[size_t(find(parent, e.u))] = find(parent, e.v);
    for (int i = 0; i < n; ++i) parent[size_t(i)] = find(parent, i);
    return parent;
}

// The tree as lists of neighbours: objects adj[at[i]..at[i + 1] - 1] with
// weights adjw, for object i.
struct adjacency {
    std::vector<int> at, adj;
    std::vector<double> adjw;
};

adjacency neighbours(int n, const std::vector<edge>& tree)
{
    adjacency g;
    g.at.assign(size_t(n) + 1, 0);
    for (const edge& e : tree) {
        ++g.at[size_t(e.u) + 1];
        ++g.at[size_t(e.v) + 1];
    }
    for (int i = 0; i < n; ++i) g.at[size_t(i) + 1] += g.at[size_t(i)];
    g.adj.resize(2 * tree.size());
    g.adjw.resize(2 * tree.size());
    std::vector<int> fill(g.at.begin(), g.at.end() - 1);
    for (const edge& e : tree) {
        g.adj[size_t(fill[size_t(e.u)])] = e.v;
        g.adjw[size_t(fill[size_t(e.u)]++)] = e.w;
        g.adj[size_t(fill[size_t(e.v)])] = e.u;
        g.adjw[size_t(fill[size_t(e.v)]++)] = e.w;
    }
    return g;
}

// The bottleneck from object e to every object: the heaviest pairsum on
// the tree's path, -1 for e itself.
std::vector<double> bottlenecks(int n, const adjacency& g, int e)
{
    std::vector<double> b(size_t(n), infinity);
    std::vector<int> stack{e};
    b[size_t(e)] = -1;
    while (!stack.empty()) {
        int i = stack.back();
        stack.pop_back();
        for (int k = g.at[size_t(i)]; k < g.at[size_t(i) + 1]; ++k) {
            int j = g.adj[size_t(k)];
            if (b[size_t(j)] != infinity) continue;
            b[size_t(j)] = std::max(b[size_t(i)], g.adjw[size_t(k)]);
            stack.push_back(j);
        }
    }
    return b;
}

// Of the objects cand, all in one part of the graph of the edges lighter
// than some weight, the one that Prim's method joins first when it enters
// that part at object e.
int firstjoined(const kdtree& t, const std::vector<edge>& tree, const adjacency& g, int e,
                std::vector<int> cand)
{
    const int n = t.n;
    std::vector<int> pos(static_cast<size_t>(n));
    for (int q = 0; q < n; ++q) pos[size_t(t.id[size_t(q)])] = q;
    for (;;) {
        if (std::find(cand.begin(), cand.end(), e) != cand.end()) return e;
        // The least bottleneck from e first.
        std::vector<double> b = bottlenecks(n, g, e);
        double w = infinity;
        for (int c : cand) w = std::min(w, b[size_t(c)]);
        cand.erase(std::remove_if(cand.begin(), cand.end(), [&](int c) { return b[size_t(c)] != w; }),
                   cand.end());
        if (cand.size() == 1) return cand[0];

        // Among equal ones, the parts of the edges lighter than w, each
        // entered at the lowest-numbered object at weight w from those
        // joined, until one holds a candidate.
        std::vector<int> part = parts(n, tree, [&](double x) { return x < w; });
        std::vector<int> at(size_t(n) + 1, 0), members(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) ++at[size_t(part[size_t(i)]) + 1];
        for (int i = 0; i < n; ++i) at[size_t(i) + 1] += at[size_t(i)];
        std::vector<int> fill(at.begin(), at.end() - 1);
        for (int i = 0; i < n; ++i) members[size_t(fill[size_t(part[size_t(i)])]++)] = i;
        std::vector<char> joined(size_t(n), 0), held(size_t(n), 0);
        for (int c : cand) held[size_t(part[size_t(c)])] = 1;
        // The points of each node not yet joined.
        std::vector<int> waiting(t.first.size());
        for (size_t v = 0; v < waiting.size(); ++v) waiting[v] = t.last[v] - t.first[v];
        std::priority_queue<int, std::vector<int>, std::greater<int>> next;
        int r = e;
        while (!held[size_t(part[size_t(r)])]) {
            const int c = part[size_t(r)];
            joined[size_t(c)] = 1;
            for (int k = at[size_t(c)]; k < at[size_t(c) + 1]; ++k)
                for (int v = t.leaf[size_t(pos[size_t(members[size_t(k)])])]; v >= 0; v = t.up[size_t(v)])
                    --waiting[size_t(v)];
            for (int k = at[size_t(c)]; k < at[size_t(c) + 1]; ++k)
                search(t, pos[size_t(members[size_t(k)])], w, [&](int v) { return waiting[size_t(v)] == 0; },
                       [&](int q, double s) {
                           int o = t.id[size_t(q)];
                           if (s == w && !joined[size_t(part[size_t(o)])]) next.push(o);
                       });
            while (!next.empty() && joined[size_t(part[size_t(next.top())])]) next.pop();
            if (next.empty()) return cand[0];  // not reached: the part holds them all
            r = next.top();
        }
        const int c = part[size_t(r)];
        cand.erase(std::remove_if(cand.begin(), cand.end(), [&](int x) { return part[size_t(x)] != c; }),
                   cand.end());
        if (cand.size() == 1) return cand[0];
        e = r;
    }
}

}  // namespace

int longest(int ntot, int ncoord, size_t ld, const double* x, int& from, double& len)
{
    from = 0;
    len = 0;
    if (ntot < 2) return 1;
    kdtree t;
    build(t, ntot, ncoord, ld, x);
    std::vector<edge> tree = boruvka(t);
    double top = 0;
    for (const edge& e : tree) top = std::max(top, e.w);
    if (top == 0) return 1;  // no edge longer than object 1's own 0
    const double root = std::sqrt(top);

    // The part of object 1 in the edges whose root is below the longest,
    // and the least weight of an edge leaving it.
    std::vector<int> part = parts(ntot, tree, [&](double w) { return std::sqrt(w) < root; });
    const int one = part[0];
    double m = infinity;
    for (const edge& e : tree)
        if ((part[size_t(e.u)] == one) != (part[size_t(e.v)] == one)) m = std::min(m, e.w);

    // The lowest-numbered object outside at weight m from the part.
    std::vector<int> inside(t.first.size(), 0);
    for (size_t v = t.first.size(); v-- > 0;)
        if (t.left[v] >= 0)
            inside[v] = inside[size_t(t.left[v])] + inside[size_t(t.right[v])];
        else
            for (int q = t.first[v]; q < t.last[v]; ++q) inside[v] += part[size_t(t.id[size_t(q)])] == one;
    std::vector<int> pos(static_cast<size_t>(ntot));
    for (int q = 0; q < ntot; ++q) pos[size_t(t.id[size_t(q)])] = q;
    auto none = [&](int v) { return inside[size_t(v)] == 0; };
    int out = -1;
    for (int i = 0; i < ntot && out < 0; ++i) {
        if (part[size_t(i)] == one) continue;
        bool found = false;
        search(t, pos[size_t(i)], m, none, [&](int q, double s) {
            if (s <= m && part[size_t(t.id[size_t(q)])] == one) found = true;
        });
        if (found) out = i;
    }

    // The objects of the part at weight m from it, and the first joined.
    std::vector<int> cand;
    search(t, pos[size_t(out)], m, none, [&](int q, double s) {
        if (s <= m && part[size_t(t.id[size_t(q)])] == one) cand.push_back(t.id[size_t(q)]);
    });
    std::sort(cand.begin(), cand.end());
    int f = cand.size() == 1 ? cand[0] : firstjoined(t, tree, neighbours(ntot, tree), 0, cand);
    from = f + 1;
    len = std::sqrt(m);
    return out + 1;
}
