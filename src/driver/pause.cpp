// The clock and the closing pause: the driver's use of the platform.
#include "run.h"
#include "textio/os.h"
#include "textio/textio.h"

float timeofday() { return float(ossecondofday()); }

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
    int err = 0;
    return osread(fd, &c, 1, err) == 1 ? static_cast<unsigned char>(c) : -1;
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
    if (!osinteractive()) fd = osconsole();
    errline(io, "To resume execution, type go.  Other input will terminate the job.");
    bool resume = nextchar(io, fd) == 'g' && nextchar(io, fd) == 'o';
    if (resume) {
        int c = nextchar(io, fd);
        if (c == '\r' && fd >= 0) c = nextchar(io, fd);  // CR LF from the device
        resume = c == '\n';
    }
    if (fd >= 0) osclose(fd);
    errline(io, resume ? "Execution resumes after PAUSE." : "STOP");
    return 0;
}
