// The clock and the closing pause: the driver's use of the platform.
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "run.h"
#include "textio/textio.h"

float timeofday()
{
    std::time_t now = std::time(nullptr);
    std::tm t;
    localtime_r(&now, &t);
    return float(t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec);
}

namespace {

// One character of the answer: from the terminal device when fd >= 0, else
// from the console input stream (a line end reads as '\n', the end as -1).
int nextchar(units& io, int fd)
{
    if (fd < 0) {
        int c = peekc(io.in);
        skipc(io.in);
        return c;
    }
    char c;
    for (;;) {
        ssize_t got = ::read(fd, &c, 1);
        if (got == 1) return static_cast<unsigned char>(c);
        if (got < 0 && errno == EINTR) continue;
        return -1;
    }
}

}  // namespace

int closingpause(units& io)
{
    // Nothing written waits in a buffer while a person is asked to answer.
    flushs(io.report);
    flushs(io.out);
    errline(io, "PAUSE   -- Press the RETURN key to terminate the program. statement executed");

    // The console input when it is a terminal; otherwise the terminal device,
    // or, without one (a batch job), the console input after all.
    int fd = -1;
    if (!isatty(0)) fd = ::open("/dev/tty", O_RDONLY | O_CLOEXEC);
    errline(io, "To resume execution, type go.  Other input will terminate the job.");
    bool resume = nextchar(io, fd) == 'g' && nextchar(io, fd) == 'o';
    if (resume) {
        int c = nextchar(io, fd);
        if (c == '\r' && fd >= 0) c = nextchar(io, fd);  // CR LF from the device
        resume = c == '\n';
    }
    if (fd >= 0) ::close(fd);
    errline(io, resume ? "Execution resumes after PAUSE." : "STOP");
    return 0;
}
