// gensites: writes the benchmark's coordinates files and, for each, the
// answers of a run that makes one PCNM attempt (layout 1, design 3).
// Everything comes from fixed seeds through std::mt19937_64, whose output
// sequence the standard fixes, so every machine writes the same files.
//
// Usage: gensites [directory]   (default: the current directory)
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {

// One benchmark case: the file, its objects, how they are placed (at
// random, uniform or clustered, or on a grid of gridx points a row, 1 apart),
// the seed and the truncation limit of the run (in the coordinates' units).
struct sitecase {
    const char* name;
    int n, nsup;
    bool clustered;
    unsigned seed;
    double limit;
    int gridx;
};

// Each limit is the longest edge of the minimum spanning tree of its sites,
// rounded up: the usual PCNM choice, which keeps every site connected (on
// the grid, the spacing).  At
// 1000 sites it keeps 599 (uniform), 381 (clustered) and 594 (supplementary)
// PCNM variables.
const sitecase cases[] = {
    {"uniform250", 250, 0, false, 250, 114},
    {"uniform500", 500, 0, false, 500, 76},
    {"uniform1000", 1000, 0, false, 1000, 52},
    {"clustered250", 250, 0, true, 2250, 336},
    {"clustered500", 500, 0, true, 2500, 302},
    {"clustered1000", 1000, 0, true, 3000, 153},
    {"supplementary1000", 950, 50, false, 4000, 54},
    {"uniform2000", 2000, 0, false, 20000, 37},
    {"uniform4000", 4000, 0, false, 40000, 28},
    {"clustered2000", 2000, 0, true, 5000, 163},
    {"clustered4000", 4000, 0, true, 6000, 50},
    // a 50-hectare plot in quadrats of 20 m: 50 x 25 sites
    {"grid1250", 1250, 0, false, 0, 1, 50},
    {"uniform10000", 10000, 0, false, 100000, 21, 0},
};

const double side = 1000;       // the sites lie in [0, side) x [0, side)
const int clustersize = 25;     // sites per cluster, on average
const double spread = 20;       // standard deviation around a cluster centre

// A uniform double in [0, 1) from the top 53 bits of one draw.
double unit(std::mt19937_64& gen) { return double(gen() >> 11) * 0x1.0p-53; }

bool writecase(const std::string& dir, const sitecase& c)
{
    std::string coords = dir + "/" + c.name + ".txt";
    FILE* f = std::fopen(coords.c_str(), "w");
    if (!f) return false;
    std::mt19937_64 gen(c.seed);
    int ntot = c.n + c.nsup;
    std::fprintf(f, "%d 2 %d\n", c.n, c.nsup);
    int ncl = ntot / clustersize;
    double cx[1000], cy[1000];  // the clusters of the clustered cases
    for (int k = 0; k < ncl; ++k) {
        cx[k] = side * unit(gen);
        cy[k] = side * unit(gen);
    }
    for (int i = 0; i < ntot; ++i) {
        double x, y;
        if (c.gridx > 0) {
            x = 1 + i % c.gridx;
            y = 1 + i / c.gridx;
        } else if (!c.clustered) {
            x = side * unit(gen);
            y = side * unit(gen);
        } else {
            int k = int(unit(gen) * ncl);
            // Box-Muller; the printed precision hides any last-bit
            // difference between mathematical libraries
            double r = spread * std::sqrt(-2 * std::log(1 - unit(gen)));
            double t = 2 * M_PI * unit(gen);
            x = cx[k] + r * std::cos(t);
            y = cy[k] + r * std::sin(t);
        }
        std::fprintf(f, "%.3f %.3f\n", x, y);
    }
    std::fclose(f);

    std::string answers = dir + "/" + c.name + ".answers";
    FILE* a = std::fopen(answers.c_str(), "w");
    if (!a) return false;
    // report file, spatial-variable file, layout 1, design 3, the file,
    // PCNM, the limit, and the closing pause's answer
    std::fprintf(a, "eigenvalues.txt\nvariables.txt\n1\n3\n%s.txt\n1\n%g\ngo\n", c.name,
                 c.limit);
    std::fclose(a);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : ".";
    for (const sitecase& c : cases) {
        if (!writecase(dir, c)) {
            std::fprintf(stderr, "gensites: cannot write %s in %s\n", c.name, dir.c_str());
            return 1;
        }
    }
    return 0;
}
