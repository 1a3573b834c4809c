#include "progress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os.h"

namespace {

// Writes the n characters of text to the error stream as they are; a
// failure only costs the line.
void put(const char* text, size_t n)
{
    int err = 0;
    while (n > 0) {
        long k = oswrite(osstderr, text, n, err);
        if (k <= 0) return;
        text += k;
        n -= size_t(k);
    }
}

// Blanks over the line on the screen, the cursor back at its start.
void erase(progress& p)
{
    char blank[256];
    int w = p.width < int(sizeof blank) - 2 ? p.width : int(sizeof blank) - 2;
    blank[0] = '\r';
    std::memset(blank + 1, ' ', size_t(w));
    blank[w + 1] = '\r';
    put(blank, size_t(w) + 2);
    p.width = 0;
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int progtext(char* out, const char* what, int n, double done, double elapsed)
{
    int pct = int(done * 100);
    if (pct > 99) pct = 99;
    if (pct < 0) pct = 0;
    int k = std::snprintf(out, 100, " PCoA of %d objects: %s, %d%% done", n, what, pct);
    if (done > 0.01 && k > 0 && k < 100) {
        long left = long(elapsed * (1 - done) / done + 0.5);
        if (left >= 3600)
            k += std::snprintf(out + k, size_t(100 - k), ", about %ld h %02ld min left", left / 3600,
                               left % 3600 / 60);
        else if (left >= 60)
            k += std::snprintf(out + k, size_t(100 - k), ", about %ld min %02ld s left", left / 60, left % 60);
        else
            k += std::snprintf(out + k, size_t(100 - k), ", about %ld s left", left);
    }
    return k < 100 ? k : 99;
}

void progbegin(progress& p, int n, bool on, bool always)
{
    std::lock_guard<std::mutex> g(p.lock);
    p.always = always;
    p.on = on;
    p.objects = n;
    p.done = 0;
    p.width = 0;
    p.start = p.last = std::chrono::steady_clock::now();
}

void progstep(progress& p, const char* what, double add)
{
    if (!p.on) return;
    std::lock_guard<std::mutex> g(p.lock);
    p.done += add;
    auto now = std::chrono::steady_clock::now();
    double elapsed = seconds(now - p.start);
    if (p.width > 0 && seconds(now - p.last) < progevery) return;
    // A computation about to end is left in peace.
    if (p.width == 0 && !p.always && (elapsed < progfirst || p.done <= 0 || elapsed / p.done < progworth))
        return;
    p.last = now;
    char text[128];
    text[0] = '\r';
    int k = progtext(text + 1, what, p.objects, p.done, elapsed);
    // Blanks over what is left of a longer line before.
    int w = k;
    while (w < p.width && w < 120) text[1 + w++] = ' ';
    put(text, size_t(w) + 1);
    p.width = w;
}

void progend(progress& p)
{
    if (!p.on) return;
    std::lock_guard<std::mutex> g(p.lock);
    if (p.width > 0) erase(p);
    p.on = false;
}
