// The progress line of a long computation: one line on the error stream,
// rewritten in place, when that stream is a terminal; nothing otherwise.
// It tells what is being done, how far the whole has gone and about how
// long is left, and is erased before anything else is written.
#ifndef LOCIWEAVER_TEXTIO_PROGRESS_H
#define LOCIWEAVER_TEXTIO_PROGRESS_H

#include <chrono>
#include <mutex>

// Seconds of work before the line first shows, the whole's estimated
// seconds below which it never shows (a short computation stays silent),
// and the shortest time between two rewritings.
const double progfirst = 1.0;
const double progworth = 3.0;
const double progevery = 0.25;

struct progress {
    bool on = false;        // the error stream is a terminal
    bool always = false;    // shown from the first step, however short
    int objects = 0;        // the order of the matrix, for the text
    double done = 0;        // the fraction of the whole done, 0 to 1
    int width = 0;          // characters of the line on the screen, 0: none
    std::chrono::steady_clock::time_point start, last;
    std::mutex lock;        // held while done changes or the line is written
};

// progbegin: a computation on a matrix of order n starts now; p is on when
//   `on` (the caller's choice: the error stream is a terminal), and shows
//   the line from the first step, however short the computation, when
//   `always`.
void progbegin(progress& p, int n, bool on, bool always);

// progstep: what (a few words) is being done and the fraction of the whole
//   done by the step just finished, added to p.done; rewrites the line when
//   p is on, the computation has run for progfirst seconds, is estimated to
//   take progworth seconds in all, and the line was not written in the last
//   progevery seconds.  Safe from any thread.
void progstep(progress& p, const char* what, double add);

// progend: erases the line if it is shown; p is off.
void progend(progress& p);

// progtext: the line for `what`, a fraction done of the computation on n
//   objects that has run for `elapsed` seconds, in out (at least 100
//   characters); returns its length.
int progtext(char* out, const char* what, int n, double done, double elapsed);

#endif
