// Streams of a run: the three console streams and the files, each with its
// unit number, its current output line and its input line, and the run-wide
// memory of the last transfer that failure reports show.  Opening, writing
// characters, flushing, closing, and the failure report that ends a run.
#ifndef LOCIWEAVER_TEXTIO_STREAM_H
#define LOCIWEAVER_TEXTIO_STREAM_H

#include <cstddef>
#include <string>

#include "progress.h"

// Unit numbers, as they appear in failure reports.
enum {
    unit_err = 0,
    unit_coord = 2,
    unit_in = 5,
    unit_out = 6,
    unit_report = 7,
    unit_grid = 9,
    unit_vars = 12
};

// Length of every file name answer of the program.
const int namelen = 79;

struct units;

struct stream {
    units* io = nullptr;   // the run's set of streams
    int unit = 0;
    int fd = -1;           // -1 when not open
    bool console = false;  // unnamed console stream
    bool failed = false;   // a write failed: nothing more is written
    char name[namelen + 1] = {};  // file name, trailing blanks removed

    // output: buffered characters, how many of them are complete records,
    // length of the current line, pending move
    char obuf[1 << 16];
    size_t on = 0;
    size_t done = 0;
    long col = 0;
    long pending = 0;
    bool regular = false;  // a regular file: its writes are held (oshold)
    bool holding = false;  // part of an unfinished record has been written:
                           // the ends of the run are held until its line end

    // input: the current line (line end removed), the position in it,
    // whether it ended with a line feed, and the end-of-input mark
    char ibuf[1 << 16];
    size_t ipos = 0, ilen = 0;
    bool ieof = false;     // no more bytes to read
    std::string line;
    size_t pos = 0;
    bool loaded = false;   // line holds the current line
    bool hasnl = false;    // the current line ended with a line feed
    bool ended = false;    // end of input was met by an earlier read
    long lines = 0;        // input lines loaded so far: the current line's number

    // free-form read statement in progress
    bool rdone = false;        // a slash ended the statement
    bool rstuck = false;       // the last number ended at a character that is
                               // no separator: no further value may follow
    long long rcount = 0;      // repetitions of rtok still to hand out
    char rkind = 0;            // 'n' null, 'v' value, 'q' quoted text
    std::string rtok;          // the repeated value's characters
};

enum direction { dir_none, dir_reading, dir_writing };

struct units {
    stream err, coord, in, out, report, grid, vars;
    direction last = dir_none;     // direction of the last transfer
    const char* lastfmt = nullptr;  // layout of the last statement, or "list io"
    progress prog;                  // the line of a long computation
};

// A failed open, read or write: the stream, the context and the message of
// the failure report.  Thrown by the text layer; the driver reports it.
struct ioerror {
    stream* s;
    const char* context;
    std::string message;
};

// An orderly end decided by the program: exit status, and the message of a
// STOP line on the error stream (none when null).
struct runstop {
    int status;
    const char* stop;
};

// Sets unit numbers and back pointers, and opens the console streams.
void initunits(units& io);

// Opens s for writing under the 79-character name (trailing blanks dropped);
// the file must not exist and is created.  Throws ioerror on failure.
void opennew(stream& s, const char* name79);

// Opens s for reading; the file must exist and not be a directory.
void openold(stream& s, const char* name79);

// Flushes and closes s (no effect when it is not open); throws on a failed write.
void closes(stream& s);

// Appends characters to the output of s; the current line grows.
void putn(stream& s, const char* p, size_t n);
void putch(stream& s, char c);
// Writes a pending move as blanks (before something is written on the line).
void putpending(stream& s);
// Ends the current output line; a pending move is dropped.
void endrec(stream& s);
// Ends a write statement on s: every complete record in its buffer goes to
// the operating system, so that whatever ends the run, even a signal a
// moment later, the file keeps every line written so far.  Throws
// ioerror("write") on failure.
void endwrite(stream& s);
// Writes the buffered output of s; throws ioerror("write") on failure.
void flushs(stream& s);

// Writes text as one record of s, as it stands (no leading blank), as a
// statement of its own: the record is handed over at once.  Throws ioerror
// on a failed write.
void wrecord(stream& s, const std::string& text);

// Marks the start of a statement on s for later failure reports.
void note(stream& s, direction dir, const char* fmt);

// Input characters: the current character of s (a line end reads as '\n',
// the end of input as -1), and moving past it.
int peekc(stream& s);
void skipc(stream& s);

// Reads the rest of the current input line of s into text (line end
// removed) and moves to the next line.  Returns false, text empty, at the
// end of input.  s.lines is then the number of the line read.
bool readline(stream& s, std::string& text);

// Throws the failure of stream s with the given context and message.
[[noreturn]] void failio(stream& s, const char* context, const std::string& message);

// Writes the four lines of the failure report e to the error stream
// (console output flushed first).
void failreport(units& io, const ioerror& e);

// Writes one line to the error stream, console output flushed first.
void errline(units& io, const char* text);

// Ends the run's streams: flushes and closes every open stream.  Returns
// status, or 2 after a failure report when a write fails on the way.
int closeall(units& io, int status);

#endif
