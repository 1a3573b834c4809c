// The pool of threads of the kernels.  One job runs at a time: the calling
// thread publishes it under a new generation number, takes part 0 itself,
// and waits until the workers have done the others.  An idle worker polls
// the generation a little while (kernels call in quick succession, a step
// of the reduction after another) and then sleeps until woken.
#include "threads.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "textio/os.h"

namespace {

// Threads of the pool at most, the calling thread included.
const int maxthreads = 256;

// Polls of the generation, or of the parts still running, before a thread
// sleeps.
const int spins = 1 << 12;

struct pool {
    std::mutex m;
    std::condition_variable wake;   // a new job, or the end
    std::condition_variable done;   // the last part of a job finished
    std::vector<std::thread> crew;  // worker w runs part w + 1

    // The current job, written and read under m with the generation.
    void (*job)(void*, int) = nullptr;
    void* context = nullptr;
    int parts = 0;
    std::atomic<unsigned> generation{0};
    std::atomic<int> pending{0};    // parts of the job not yet finished
    bool stop = false;

    ~pool()
    {
        {
            std::lock_guard<std::mutex> lock(m);
            stop = true;
            generation.fetch_add(1);
        }
        wake.notify_all();
        for (std::thread& t : crew) t.join();
    }

    void work(int w)
    {
        unsigned seen = 0;
        for (;;) {
            for (int k = 0; k < spins && generation.load() == seen; ++k) {
            }
            if (generation.load() == seen) {
                std::unique_lock<std::mutex> lock(m);
                wake.wait(lock, [&] { return generation.load() != seen; });
            }
            // the job of the generation seen, read together with it
            void (*f)(void*, int);
            void* c;
            int n;
            {
                std::lock_guard<std::mutex> lock(m);
                if (stop) return;
                seen = generation.load();
                f = job;
                c = context;
                n = parts;
            }
            if (w + 1 < n) {
                f(c, w + 1);
                if (pending.fetch_sub(1) == 1) {
                    std::lock_guard<std::mutex> lock(m);
                    done.notify_one();
                }
            }
        }
    }

    void run(int n, void (*f)(void*, int), void* c)
    {
        if (int(crew.size()) < n - 1) {
            crew.reserve(maxthreads);
            while (int(crew.size()) < n - 1) {
                int w = int(crew.size());
                crew.emplace_back([this, w] { work(w); });
            }
        }
        {
            std::lock_guard<std::mutex> lock(m);
            job = f;
            context = c;
            parts = n;
            pending.store(n - 1);
            generation.fetch_add(1);
        }
        wake.notify_all();
        f(c, 0);
        for (int k = 0; k < spins && pending.load() != 0; ++k) {
        }
        if (pending.load() != 0) {
            std::unique_lock<std::mutex> lock(m);
            done.wait(lock, [&] { return pending.load() == 0; });
        }
    }
};

pool& thepool()
{
    static pool p;
    return p;
}

// The default count: the processors of the affinity mask, or
// OMP_NUM_THREADS when it is a smaller positive whole number.
int defaultthreads()
{
    int n = oscpus();
    if (const char* v = std::getenv("OMP_NUM_THREADS")) {
        char* end = nullptr;
        long k = std::strtol(v, &end, 10);
        if (end != v && *end == 0 && k >= 1 && k < n) n = int(k);
    }
    return n < maxthreads ? n : maxthreads;
}

int chosen = 0;  // 0: the default, found at the first use

}  // namespace

void setthreads(int k) { chosen = k < maxthreads ? k : maxthreads; }

int threads()
{
    if (chosen <= 0) chosen = defaultthreads();
    return chosen;
}

int shares(int n, int units)
{
    if (n < threadfrom) return 1;
    int t = threads();
    return t < units ? t : units;
}

void share(int parts, void (*job)(void*, int), void* context)
{
    if (parts <= 1) {
        job(context, 0);
        return;
    }
    thepool().run(parts, job, context);
}
