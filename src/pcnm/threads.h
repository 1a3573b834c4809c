// The threads that share the independent work of the kernels of this module.
// A kernel splits its work into parts that touch disjoint elements, or
// that touch shared ones strictly in turn, each element keeping its own
// sequence of operations, so that every thread count gives the same bits.
//
// The threads form one pool for the process, kept in threads.cpp: started
// by the first kernel whose work is large enough to pay for them, idle
// between kernels, ended when the process ends.  Nothing is allocated once
// they run.  The thread count and the orders below are settings of the
// thread that calls the kernels: two analyses run on two threads each with
// its own, and their jobs take the pool in turn, so that each gives the
// bits it gives alone.
#ifndef LOCIWEAVER_PCNM_THREADS_H
#define LOCIWEAVER_PCNM_THREADS_H

// setthreads: the kernels called on this thread use k threads from now on
//   (k >= 1), the calling thread included; k = 0 restores the default: the
//   processors this process may run on.
void setthreads(int k);

// threadsasked: the count that a setting such as OMP_NUM_THREADS asks for
//   when its text is value: the processors this process may run on, or
//   fewer when value is a smaller positive whole number (null, or any other
//   text: all of them).  The programs read the setting; this only reads it.
int threadsasked(const char* value);

// threads: the number of threads the kernels use (at least 1).
int threads();

// The orders from which the kernels share their work, measured on the
// machines of the README: below them the work is too small to pay for the
// threads.  Every choice gives the same bits; the tests lower them so that
// a build run under an emulator takes every shared path at small orders.
//   threadfrom     shares() splits a kernel's work from this order on
//   reducefrom     the reduction's passes may be shared from this order of
//                  the active block on (see reduce.cpp),
//   reducethreads  the threads from which the measured way tries sharing
//                  them (with fewer they stay with one thread),
//   reduceblock    in blocks of this many rows (a multiple of 8),
//   reduceway      how they are shared: reduce_measured, shared or not as
//                  tred2 finds faster on the machine at hand, timing its
//                  first passes from reducefrom on each way in turn (a
//                  handful of steps out of n; whether a second core pays
//                  for the hand-overs depends on the bandwidth it adds);
//                  reduce_alone, never; reduce_shared, always (with two
//                  threads or more, whatever reducethreads).  The last two
//                  are for the tests and the benchmark.
const int reduce_measured = 0;
const int reduce_alone = 1;
const int reduce_shared = 2;
struct sharing {
    int threadfrom = 200;
    int reducefrom = 1000;
    int reducethreads = 2;
    int reduceblock = 512;
    int reduceway = reduce_measured;
};

// setsharing: the kernels called on this thread use the orders s from now
//   on; sharingnow: those in force on this thread (the defaults above until
//   setsharing).
void setsharing(const sharing& s);
const sharing& sharingnow();

// shares: the parts into which a kernel on a matrix of order n splits its
//   work, when that comes in `units` independent pieces: 1 below order
//   sharingnow().threadfrom, else threads(), or the pieces when they are
//   fewer.
int shares(int n, int units);

// share: job(context, part) for every part in 0..parts-1, taken in turn by
//   the calling thread and by up to t - 1 threads of the pool, each part by
//   one of them; returns when all are done.  t <= 1 runs the parts in
//   order on the calling thread, without the pool.  The job must not
//   throw, and no job may share work itself.  The parts are begun in
//   increasing order, so a part may wait for one of lower number, which is
//   then under way or done (the reduction's pipeline does so).
void share(int t, int parts, void (*job)(void*, int), void* context);

// The same for a callable f(part).
template <typename F>
void share(int t, int parts, F& f)
{
    share(t, parts, [](void* c, int part) { (*static_cast<F*>(c))(part); }, &f);
}

// pieces: the parts into which a kernel run by t threads splits its work:
//   a few per thread, so that the threads that run share out the parts of
//   one that does not.
const int piecesper = 4;
inline int pieces(int t) { return t > 1 ? piecesper * t : 1; }

// split: the start of part t of `parts` over the range [0, n), in units of
//   `grain` (the parts differ by at most one grain; part `parts` starts at
//   n).
inline int split(int n, int parts, int t, int grain)
{
    long long units = (n + grain - 1) / grain;
    int start = int(units * t / parts) * grain;
    return start < n ? start : n;
}

#endif
