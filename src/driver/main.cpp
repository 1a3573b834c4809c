// lociweaver: one run of the dialogue, from the banner to the closing pause.
#include <cstdlib>
#include <string>

#include "pcnm/threads.h"
#include "run.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

// The run; its storage is made ready once the number of objects is known.
run r;

}  // namespace

int main()
{
    // A closed pipe is reported as a failed write, never as a signal.
    osstart();
    // The kernels' threads: every processor, or fewer as OMP_NUM_THREADS says.
    setthreads(threadsasked(std::getenv("OMP_NUM_THREADS")));
    initrun(r);
    int status;
    try {
        banner(r);
        namefiles(r);
        asklayout(r);
        askdesign(r);
        askmethod(r);
        ranging(r);
        construct(r);
        writevars(r);
        closing(r);
        status = closingpause(r.io);
    } catch (const ioerror& e) {
        failreport(r.io, e);
        status = 2;
    } catch (const runstop& s) {
        if (s.stop) errline(r.io, (std::string("STOP ") + s.stop + " statement executed").c_str());
        status = s.status;
    }
    return closeall(r.io, status);
}
