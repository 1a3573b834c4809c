// Everything of the programs that differs between operating systems, or
// between standard libraries: files and the console through descriptors,
// the line end, the clock, the processors the process may use, and the
// exact reading of a decimal number.  No other file asks which system it is
// built for.
#ifndef LOCIWEAVER_TEXTIO_OS_H
#define LOCIWEAVER_TEXTIO_OS_H

#include <cstddef>
#include <string>

// The line end of every record written: CR LF on Windows, LF elsewhere.
extern const char oslineend[];
extern const size_t oslineendlen;

// The name of the null device ("/dev/null", or "NUL" on Windows).
extern const char osnull[];

// Descriptors of the three console streams.
const int osstdin = 0;
const int osstdout = 1;
const int osstderr = 2;

// Prepares the process before any transfer: the console streams carry bytes
// unchanged (binary mode on Windows, where a Ctrl-Z is then an ordinary
// character), and a write to a closed pipe fails with an error number
// instead of ending the process.  The signals that end a run (SIGINT,
// SIGTERM, SIGHUP) keep the action the process was started with: by
// default they end it at once, and the parent sees it killed by that
// signal.  On Windows, Ctrl-C, Ctrl-Break and the closing of the console
// window end the process at once likewise, unless a write is held (below).
void osstart();

// Whether fd is a regular file (a disk file on Windows): a write there
// never waits for another process.
bool osregular(int fd);

// Holds back the signals and console events that end a run (those named
// for osstart) until the matching osrelease, so that none of them cuts a
// write in two; one that comes meanwhile ends the process at osrelease.
// Holds nest.  Only around writes to regular files, which never wait for
// long: a run must still end at once.
void oshold();
void osrelease();

// Creates the file name for writing, atomically refused when it exists
// (err = EEXIST); the descriptor is never inherited.  Returns the
// descriptor, or -1 with err set.
int oscreate(const char* name, int& err);

// Opens the existing file name for reading; a directory is refused with
// err = EISDIR, and the open never waits for a pipe's writer.  Returns the
// descriptor, or -1 with err set.
int osopen(const char* name, int& err);

// Reads up to n bytes into p: the count, 0 at the end of input, or -1 with
// err set.  An interrupted call is resumed.
long osread(int fd, char* p, size_t n, int& err);

// Writes up to n bytes of p: the count written, or -1 with err set.  An
// interrupted call is resumed.
long oswrite(int fd, const char* p, size_t n, int& err);

// Closes fd: 0, or the error number.
int osclose(int fd);

// Whether standard input is an interactive terminal (a console).
bool osinteractive();

// Opens the console device for reading (/dev/tty, or CONIN$ on Windows):
// the descriptor, or -1 when the process has none.
int osconsole();

// The local time of day, in whole seconds since midnight.
long ossecondofday();

// The system's description of the error number err.
std::string oserror(int err);

// Whether fd is a terminal (a console window on Windows).
bool osterminal(int fd);

// The physical memory of the machine, in bytes, and how much of it the
// system could give now without swapping (free, or held by caches it can
// drop); 0 for a figure the system does not tell.
void osmemory(unsigned long long& total, unsigned long long& avail);

// The number of processors this process may run on (at least 1).
int oscpus();

// Converts the decimal text [first, last) (an optional minus sign, digits,
// a point, digits, an exponent) to the nearest double in v, whatever the
// locale.  Returns false, v unchanged, when the text is not such a number
// or its value is beyond the range of doubles (infinite, or zero from
// digits that are not all zero).
bool ostodouble(const char* first, const char* last, double& v);

#endif
