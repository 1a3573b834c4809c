// lociweaver: one run of the dialogue, from the banner to the closing pause.
#include <string>

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
