#include "progress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os.h"

namespace {

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

void progbegin(progress& p, int n, progressfn tell, void* context, bool always)
{
    std::lock_guard<std::mutex> g(p.lock);
    p.tell = tell;
    p.context = context;
    p.always = always;
    p.objects = n;
    p.done = 0;
    p.told = false;
    p.stop.store(false);
    p.owner = std::this_thread::get_id();
    p.start = p.last = std::chrono::steady_clock::now();
}

void progstep(progress& p, const char* what, double add)
{
    if (!p.tell) return;
    std::lock_guard<std::mutex> g(p.lock);
    p.done += add;
    if (std::this_thread::get_id() != p.owner) return;
    auto now = std::chrono::steady_clock::now();
    double elapsed = seconds(now - p.start);
    if (p.told && seconds(now - p.last) < progevery) return;
    // A computation about to end is left in peace.
    if (!p.told && !p.always && (elapsed < progfirst || p.done <= 0 || elapsed / p.done < progworth))
        return;
    p.last = now;
    p.told = true;
    if (p.tell(p.context, what, p.objects, p.done, elapsed) != 0) p.stop.store(true);
}

void progend(progress& p)
{
    if (!p.tell) return;
    std::lock_guard<std::mutex> g(p.lock);
    if (p.told) p.tell(p.context, nullptr, p.objects, p.done, seconds(std::chrono::steady_clock::now() - p.start));
    p.tell = nullptr;
}
