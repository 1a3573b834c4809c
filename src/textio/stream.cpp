#include "stream.h"

#include <cerrno>
#include <cstring>

#include "os.h"

namespace {

// Copies the 79-character answer into s.name without its trailing blanks and
// returns the length.
size_t setname(stream& s, const char* name79)
{
    size_t len = namelen;
    while (len > 0 && name79[len - 1] == ' ') --len;
    std::memcpy(s.name, name79, len);
    s.name[len] = '\0';
    return len;
}

// Forgets all input and output state of s (for a stream being opened).
void resetstate(stream& s)
{
    if (s.holding) osrelease();
    s.holding = false;
    s.on = 0;
    s.done = 0;
    s.col = 0;
    s.pending = 0;
    s.failed = false;
    s.ipos = s.ilen = 0;
    s.ieof = false;
    s.line.clear();
    s.pos = 0;
    s.loaded = s.hasnl = s.ended = false;
    s.lines = 0;
    s.rdone = false;
    s.rstuck = false;
    s.rcount = 0;
}

// Reads more bytes into the input buffer of s; sets ieof at the end of input.
void fill(stream& s)
{
    s.ipos = s.ilen = 0;
    int err = 0;
    long got = osread(s.fd, s.ibuf, sizeof s.ibuf, err);
    if (got > 0) {
        s.ilen = size_t(got);
        return;
    }
    s.ieof = true;
    if (got < 0) failio(s, "list in", oserror(err));
}

// Loads the next input line into s.line, without its line end (a carriage
// return just before the line feed belongs to the line end).  Returns false
// when no character is left.
bool loadline(stream& s)
{
    s.line.clear();
    s.pos = 0;
    bool any = false;
    ++s.lines;
    for (;;) {
        if (s.ipos == s.ilen) {
            if (s.ieof || s.fd < 0) break;
            fill(s);
            if (s.ilen == 0) break;
        }
        const char* p = s.ibuf + s.ipos;
        size_t avail = s.ilen - s.ipos;
        const void* nl = std::memchr(p, '\n', avail);
        any = true;
        if (nl) {
            size_t k = size_t(static_cast<const char*>(nl) - p);
            s.line.append(p, k);
            s.ipos += k + 1;
            if (!s.line.empty() && s.line.back() == '\r') s.line.pop_back();
            s.hasnl = true;
            s.loaded = true;
            return true;
        }
        s.line.append(p, avail);
        s.ipos = s.ilen;
    }
    s.hasnl = false;
    s.loaded = any;
    if (!any) --s.lines;
    return any;
}

// Stops holding the ends of the run for s (see stream::holding).
void unhold(stream& s)
{
    if (!s.holding) return;
    s.holding = false;
    osrelease();
}

// Writes n bytes to the file of s, whatever its buffer; throws on failure.
// On a regular file the ends of the run are held meanwhile, so that the
// bytes arrive whole or not at all.
void writeall(stream& s, const char* p, size_t n)
{
    bool hold = s.regular && !s.holding;
    if (hold) oshold();
    while (n > 0) {
        int err = 0;
        long put = oswrite(s.fd, p, n, err);
        if (put < 0) {
            if (hold) osrelease();
            unhold(s);
            s.failed = true;
            s.on = s.done = 0;
            failio(s, "write", oserror(err));
        }
        p += put;
        n -= size_t(put);
    }
    if (hold) osrelease();
}

// Writes the complete records of the buffer of s; the unfinished record
// after them moves to the front.
void handover(stream& s)
{
    size_t k = s.done, rest = s.on - k;
    if (k == 0) return;
    writeall(s, s.obuf, k);
    std::memmove(s.obuf, s.obuf + k, rest);
    s.on = rest;
    s.done = 0;
    // A record that had to be written in parts has now ended.
    unhold(s);
}

void putraw(stream& s, const std::string& text)
{
    const char* p = text.data();
    size_t n = text.size();
    if (s.regular) oshold();
    while (n > 0) {
        int err = 0;
        long put = oswrite(s.fd, p, n, err);
        if (put <= 0) break;
        p += put;
        n -= size_t(put);
    }
    if (s.regular) osrelease();
}

// Flushes console output before the error stream is written; a failure
// there has nowhere else to be told.
void flushconsole(units& io)
{
    try {
        flushs(io.out);
    } catch (const ioerror&) {
    }
}

}  // namespace

void initunits(units& io)
{
    stream* all[] = {&io.err, &io.coord, &io.in, &io.out, &io.report, &io.grid, &io.vars};
    int numbers[] = {unit_err, unit_coord, unit_in, unit_out, unit_report, unit_grid, unit_vars};
    for (int k = 0; k < 7; ++k) {
        all[k]->io = &io;
        all[k]->unit = numbers[k];
        all[k]->fd = -1;
        all[k]->console = false;
        all[k]->name[0] = '\0';
        resetstate(*all[k]);
    }
    io.err.fd = osstderr;
    io.in.fd = osstdin;
    io.out.fd = osstdout;
    io.err.console = io.in.console = io.out.console = true;
    io.err.regular = osregular(osstderr);
    io.out.regular = osregular(osstdout);
    io.last = dir_none;
    io.lastfmt = nullptr;
}

void opennew(stream& s, const char* name79)
{
    size_t len = setname(s, name79);
    resetstate(s);
    if (len == 0) failio(s, "open", "null file name");
    if (std::memchr(s.name, '\0', len)) failio(s, "open", oserror(EINVAL));
    int err = 0;
    int fd = oscreate(s.name, err);
    if (fd < 0) {
        if (err == EEXIST) failio(s, "open", "'new' file exists");
        failio(s, "open", oserror(err));
    }
    s.fd = fd;
    s.regular = osregular(fd);
}

void openold(stream& s, const char* name79)
{
    size_t len = setname(s, name79);
    resetstate(s);
    if (len == 0) failio(s, "open", "null file name");
    if (std::memchr(s.name, '\0', len)) failio(s, "open", oserror(EINVAL));
    int err = 0;
    int fd = osopen(s.name, err);
    if (fd < 0) failio(s, "open", oserror(err));
    s.fd = fd;
}

void closes(stream& s)
{
    if (s.fd < 0) return;
    if (s.console) {
        flushs(s);
        return;
    }
    int fd = s.fd;
    try {
        flushs(s);
    } catch (const ioerror&) {
        osclose(fd);
        s.fd = -1;
        throw;
    }
    s.fd = -1;
    if (int err = osclose(fd)) {
        s.failed = true;
        failio(s, "write", oserror(err));
    }
}

void putn(stream& s, const char* p, size_t n)
{
    s.col += long(n);
    if (s.failed || s.fd < 0) return;
    if (s.on + n > sizeof s.obuf) {
        // Only complete records go out, unless one record fills the buffer
        // alone: it then goes out in parts, and the ends of the run are held
        // until its line end has gone out too.
        handover(s);
        if (s.on + n > sizeof s.obuf) {
            if (s.regular && !s.holding) {
                oshold();
                s.holding = true;
            }
            size_t k = s.on;
            s.on = 0;
            writeall(s, s.obuf, k);
            if (n > sizeof s.obuf) {
                writeall(s, p, n);
                return;
            }
        }
    }
    std::memcpy(s.obuf + s.on, p, n);
    s.on += n;
}

void putch(stream& s, char c) { putn(s, &c, 1); }

void putpending(stream& s)
{
    static const char blanks[64] = {
        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (s.pending > 0) {
        long k = s.pending < 64 ? s.pending : 64;
        putn(s, blanks, size_t(k));
        s.pending -= k;
    }
}

void endrec(stream& s)
{
    s.pending = 0;
    putn(s, oslineend, oslineendlen);
    s.done = s.on;
    s.col = 0;
    // A record that went out in parts ends in the file at once, and the
    // ends of the run are held no longer (its line end may have had no
    // room left in the buffer).
    if (s.holding) handover(s);
}

void endwrite(stream& s) { handover(s); }

void flushs(stream& s)
{
    if (s.failed || s.fd < 0 || s.on == 0) {
        s.on = s.done = 0;
        unhold(s);
        return;
    }
    size_t n = s.on;
    s.on = s.done = 0;
    writeall(s, s.obuf, n);
    unhold(s);
}

void note(stream& s, direction dir, const char* fmt)
{
    s.io->last = dir;
    s.io->lastfmt = fmt;
}

int peekc(stream& s)
{
    if (!s.loaded && !loadline(s)) return -1;
    if (s.pos < s.line.size()) return static_cast<unsigned char>(s.line[s.pos]);
    return s.hasnl ? '\n' : -1;
}

void skipc(stream& s)
{
    if (!s.loaded) return;
    if (s.pos < s.line.size())
        ++s.pos;
    else if (s.hasnl)
        s.loaded = false;
}

void wrecord(stream& s, const std::string& text)
{
    note(s, dir_writing, nullptr);
    putn(s, text.data(), text.size());
    endrec(s);
    endwrite(s);
}

bool readline(stream& s, std::string& text)
{
    text.clear();
    if (peekc(s) < 0) return false;
    text.assign(s.line, s.pos, std::string::npos);
    s.pos = s.line.size();
    skipc(s);
    return true;
}

void failio(stream& s, const char* context, const std::string& message)
{
    throw ioerror{&s, context, message};
}

void failreport(units& io, const ioerror& e)
{
    flushconsole(io);
    std::string text;
    text += e.context;
    text += ": ";
    text += e.message;
    text += oslineend;
    text += "apparent state: unit ";
    text += std::to_string(e.s->unit);
    text += ' ';
    if (e.s->console || e.s->name[0] == '\0') {
        text += "(unnamed)";
        text += oslineend;
    } else {
        text += "named ";
        text += e.s->name;
        text += oslineend;
    }
    if (io.lastfmt) {
        text += "last format: ";
        text += io.lastfmt;
        text += oslineend;
    }
    text += "lately ";
    text += io.last == dir_reading ? "reading" : "writing";
    text += " sequential formatted external IO";
    text += oslineend;
    putraw(io.err, text);
}

void errline(units& io, const char* text)
{
    flushconsole(io);
    std::string t(text);
    t += oslineend;
    putraw(io.err, t);
}

int closeall(units& io, int status)
{
    stream* files[] = {&io.vars, &io.report, &io.grid, &io.coord, &io.out};
    for (stream* s : files) {
        try {
            closes(*s);
        } catch (const ioerror& e) {
            failreport(io, e);
            status = 2;
        }
    }
    return status;
}
