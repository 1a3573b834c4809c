#include "common.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

int bytesfile(const uint8_t* p, size_t n)
{
    int fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0) broken();
    size_t done = 0;
    while (done < n) {
        ssize_t put = ::write(fd, p + done, n - done);
        if (put <= 0) broken();
        done += size_t(put);
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) broken();
    return fd;
}

void feed(stream& s, const uint8_t* p, size_t n)
{
    release(s);
    s.fd = bytesfile(p, n);
    s.ipos = s.ilen = 0;
    s.ieof = false;
    s.line.clear();
    s.pos = 0;
    s.loaded = s.hasnl = s.ended = false;
    s.rdone = s.rstuck = false;
    s.rcount = 0;
}

void quietunits(units& io)
{
    static int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devnull < 0) broken();
    initunits(io);
    stream* outs[] = {&io.err, &io.out, &io.report, &io.grid, &io.vars};
    for (stream* s : outs) s->fd = devnull;
    io.in.fd = -1;
    io.report.name[0] = 'r';
    io.report.name[1] = '\0';
}

void release(stream& s)
{
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
}
