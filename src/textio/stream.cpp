#include "stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    s.on = 0;
    s.col = 0;
    s.pending = 0;
    s.failed = false;
    s.ipos = s.ilen = 0;
    s.ieof = false;
    s.line.clear();
    s.pos = 0;
    s.loaded = s.hasnl = s.ended = false;
    s.rdone = false;
    s.rstuck = false;
    s.rcount = 0;
}

// Reads more bytes into the input buffer of s; sets ieof at the end of input.
void fill(stream& s)
{
    s.ipos = s.ilen = 0;
    for (;;) {
        ssize_t got = ::read(s.fd, s.ibuf, sizeof s.ibuf);
        if (got > 0) {
            s.ilen = size_t(got);
            return;
        }
        if (got == 0) {
            s.ieof = true;
            return;
        }
        if (errno != EINTR) {
            s.ieof = true;
            failio(s, "list in", std::strerror(errno));
        }
    }
}

// Loads the next input line into s.line, without its line end (a carriage
// return just before the line feed belongs to the line end).  Returns false
// when no character is left.
bool loadline(stream& s)
{
    s.line.clear();
    s.pos = 0;
    bool any = false;
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
    return any;
}

// Writes n bytes to the file of s, whatever its buffer; throws on failure.
void writeall(stream& s, const char* p, size_t n)
{
    while (n > 0) {
        ssize_t put = ::write(s.fd, p, n);
        if (put < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            s.failed = true;
            s.on = 0;
            failio(s, "write", std::strerror(err));
        }
        p += put;
        n -= size_t(put);
    }
}

void putraw(int fd, const std::string& text)
{
    const char* p = text.data();
    size_t n = text.size();
    while (n > 0) {
        ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        p += put;
        n -= size_t(put);
    }
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
    io.err.fd = 2;
    io.in.fd = 0;
    io.out.fd = 1;
    io.err.console = io.in.console = io.out.console = true;
    io.last = dir_none;
    io.lastfmt = nullptr;
}

void opennew(stream& s, const char* name79)
{
    size_t len = setname(s, name79);
    resetstate(s);
    if (len == 0) failio(s, "open", "null file name");
    if (std::memchr(s.name, '\0', len)) failio(s, "open", std::strerror(EINVAL));
    int fd = ::open(s.name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) failio(s, "open", "'new' file exists");
        failio(s, "open", std::strerror(errno));
    }
    s.fd = fd;
}

void openold(stream& s, const char* name79)
{
    size_t len = setname(s, name79);
    resetstate(s);
    if (len == 0) failio(s, "open", "null file name");
    if (std::memchr(s.name, '\0', len)) failio(s, "open", std::strerror(EINVAL));
    // Non-blocking for the open alone, so that a pipe without writer cannot
    // hang the run; reads then block as usual.
    int fd = ::open(s.name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) failio(s, "open", std::strerror(errno));
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        failio(s, "open", std::strerror(EISDIR));
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
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
        ::close(fd);
        s.fd = -1;
        throw;
    }
    s.fd = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        s.failed = true;
        failio(s, "write", std::strerror(errno));
    }
}

void putn(stream& s, const char* p, size_t n)
{
    s.col += long(n);
    if (s.failed || s.fd < 0) return;
    if (s.on + n > sizeof s.obuf) {
        flushs(s);
        if (n > sizeof s.obuf) {
            writeall(s, p, n);
            return;
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
    putch(s, '\n');
    s.col = 0;
}

void flushs(stream& s)
{
    if (s.failed || s.fd < 0 || s.on == 0) {
        s.on = 0;
        return;
    }
    size_t n = s.on;
    s.on = 0;
    writeall(s, s.obuf, n);
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
    text += "\napparent state: unit ";
    text += std::to_string(e.s->unit);
    text += ' ';
    if (e.s->console || e.s->name[0] == '\0') {
        text += "(unnamed)\n";
    } else {
        text += "named ";
        text += e.s->name;
        text += '\n';
    }
    if (io.lastfmt) {
        text += "last format: ";
        text += io.lastfmt;
        text += '\n';
    }
    text += "lately ";
    text += io.last == dir_reading ? "reading" : "writing";
    text += " sequential formatted external IO\n";
    putraw(io.err.fd, text);
}

void errline(units& io, const char* text)
{
    flushconsole(io);
    std::string t(text);
    t += '\n';
    putraw(io.err.fd, t);
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
