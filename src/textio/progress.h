// The progress of a long computation, told to the caller's callback: what
// is being done, how far the whole has gone and how long it has run, often
// enough to show but never more than every progevery seconds.  The
// dialogue's callback draws the progress line on a terminal; a library
// caller may show it its own way, or ask the computation to stop.
#ifndef LOCIWEAVER_TEXTIO_PROGRESS_H
#define LOCIWEAVER_TEXTIO_PROGRESS_H

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

// Seconds of work before the progress is first told, the whole's estimated
// seconds below which it is never told (a short computation stays silent),
// and the shortest time between two tellings.
const double progfirst = 1.0;
const double progworth = 3.0;
const double progevery = 0.25;

// The callback: what (a few words; null at the end of a computation whose
// progress was told, so that a line shown can be erased), the order n of
// the matrix, the fraction done (0 to 1) and the seconds since the start.
// It returns nonzero to ask the computation to stop.
typedef int (*progressfn)(void* context, const char* what, int n, double done, double elapsed);

struct progress {
    progressfn tell = nullptr;  // null: nobody is told
    void* context = nullptr;
    bool always = false;        // told from the first step, however short
    int objects = 0;            // the order of the matrix
    double done = 0;            // the fraction of the whole done, 0 to 1
    bool told = false;          // told at least once since progbegin
    std::atomic<bool> stop{false};  // the callback asked to stop
    std::thread::id owner;      // the thread that began it: the only one told
    std::chrono::steady_clock::time_point start, last;
    std::mutex lock;            // held while done changes or tell runs
};

// progbegin: a computation on a matrix of order n starts now, told to tell
//   (with context) when it is not null, from the first step when always.
void progbegin(progress& p, int n, progressfn tell, void* context, bool always);

// progstep: what (a few words) is being done and the fraction of the whole
//   done by the step just finished, added to p.done; tells the callback when
//   the computation has run for progfirst seconds, is estimated to take
//   progworth seconds in all (or always), and was not told in the last
//   progevery seconds.  Safe from any thread; only the thread that called
//   progbegin tells the callback (a caller's callback runs on its own
//   thread).  A nonzero answer sets p.stop.
void progstep(progress& p, const char* what, double add);

// progend: tells the end (what null) if the progress was told; p is off.
void progend(progress& p);

// progtext: the line for `what`, a fraction done of the computation on n
//   objects that has run for `elapsed` seconds, in out (at least 100
//   characters); returns its length.
int progtext(char* out, const char* what, int n, double done, double elapsed);

#endif
