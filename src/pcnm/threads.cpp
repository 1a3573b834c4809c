// The pool of threads of the kernels.  One job runs at a time: a caller
// that shares work while another caller's job runs (two analyses on two
// threads of a program) waits until that job is done.  The calling
// thread publishes its job under a new generation number, and then it and the
// workers that wake in time take its parts in turn through one ticket (the
// generation and the next part, claimed together), until none is left; the
// caller then waits only for the parts under way.  So a worker that the
// system does not run for a while (on a busy machine) delays a job by the
// part it has begun at most: the others take the rest.  An idle worker
// polls the generation a little while, kernels calling in quick
// succession, and then sleeps until woken.
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

// Polls of the generation, or of the parts under way, before a thread
// sleeps.
const int spins = 1 << 12;

struct pool {
    std::mutex running;             // held by the caller whose job runs
    std::mutex m;
    std::condition_variable wake;   // a new job, or the end
    std::condition_variable done;   // the last part under way finished
    std::vector<std::thread> crew;

    // The current job, written and read under m with the generation.
    void (*job)(void*, int) = nullptr;
    void* context = nullptr;
    int parts = 0;
    int workers = 0;                // pool threads that may take part
    std::atomic<unsigned> generation{0};
    bool stop = false;

    // The generation (high half) and the next part (low half).
    std::atomic<unsigned long long> ticket{0};
    // Workers inside a job, between their first claim and their last.
    std::atomic<int> busy{0};

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

    // The next part of generation g, or -1 when there is none.
    int claim(unsigned g, int n)
    {
        unsigned long long t = ticket.load();
        for (;;) {
            if (unsigned(t >> 32) != g || int(t & 0xffffffffu) >= n) return -1;
            if (ticket.compare_exchange_weak(t, t + 1)) return int(t & 0xffffffffu);
        }
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
            bool mine;
            {
                std::lock_guard<std::mutex> lock(m);
                if (stop) return;
                seen = generation.load();
                f = job;
                c = context;
                n = parts;
                mine = w < workers;
            }
            if (!mine) continue;
            busy.fetch_add(1);
            for (int part = claim(seen, n); part >= 0; part = claim(seen, n)) f(c, part);
            if (busy.fetch_sub(1) == 1) {
                std::lock_guard<std::mutex> lock(m);
                done.notify_one();
            }
        }
    }

    void run(int t, int n, void (*f)(void*, int), void* c)
    {
        std::lock_guard<std::mutex> mine(running);
        if (int(crew.size()) < t - 1) {
            crew.reserve(maxthreads);
            // The threads start with the ends of the run held, and keep
            // them held for good: a signal that ends the run then reaches
            // the thread that writes the files, which holds it off while
            // a record goes out.
            oshold();
            while (int(crew.size()) < t - 1) {
                int w = int(crew.size());
                crew.emplace_back([this, w] { work(w); });
            }
            osrelease();
        }
        unsigned g;
        {
            std::lock_guard<std::mutex> lock(m);
            job = f;
            context = c;
            parts = n;
            workers = t - 1;
            g = generation.load() + 1;
            ticket.store((unsigned long long)g << 32);
            generation.store(g);
        }
        wake.notify_all();
        for (int part = claim(g, n); part >= 0; part = claim(g, n)) f(c, part);
        for (int k = 0; k < spins && busy.load() != 0; ++k) {
        }
        if (busy.load() != 0) {
            std::unique_lock<std::mutex> lock(m);
            done.wait(lock, [&] { return busy.load() == 0; });
        }
    }
};

pool& thepool()
{
    static pool p;
    return p;
}

// The default count: the processors of the affinity mask.
int defaultthreads()
{
    int n = oscpus();
    return n < maxthreads ? n : maxthreads;
}

// The settings of the calling thread: each thread that calls the kernels
// (one analysis each) has its own.
thread_local int chosen = 0;  // 0: the default, found at the first use
thread_local sharing orders;

}  // namespace

void setthreads(int k) { chosen = k < maxthreads ? k : maxthreads; }

void setsharing(const sharing& s) { orders = s; }

const sharing& sharingnow() { return orders; }

int threadsasked(const char* value)
{
    int n = defaultthreads();
    if (value) {
        char* end = nullptr;
        long k = std::strtol(value, &end, 10);
        if (end != value && *end == 0 && k >= 1 && k < n) n = int(k);
    }
    return n;
}

int threads()
{
    if (chosen <= 0) chosen = defaultthreads();
    return chosen;
}

int shares(int n, int units)
{
    if (n < orders.threadfrom) return 1;
    int t = threads();
    return t < units ? t : units;
}

void share(int t, int parts, void (*job)(void*, int), void* context)
{
    if (t <= 1 || parts <= 1) {
        for (int part = 0; part < parts; ++part) job(context, part);
        return;
    }
    thepool().run(t, parts, job, context);
}
