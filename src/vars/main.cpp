// lociweaver-vars [options] SITES OUTPUT: the spatial variables of the sites,
// written to a table or in a layout of lociweaver.  The work is varsrun() of
// the module; here, the command line and the report of the run.
#include <cstdlib>

#include "cli/cli.h"
#include "textio/os.h"
#include "textio/textio.h"
#include "vars.h"

namespace {

// The streams: the coordinates on unit 2, the variables on unit 12, the
// run's record on unit 11, the Moran's I table on unit 7, the console.
units io;

// The progress line of a long decomposition, on a terminal (as
// LOCIWEAVER_PROGRESS says, like the dialogue's).
progressline line;

// The run of a command line that runs, and the lines it has to say.
void run(units& io, const cliline& cl)
{
    varsoptions o = varsoptionsof(cl);
    bool always = false;
    if (progressshown(std::getenv("LOCIWEAVER_PROGRESS"), always)) {
        o.tell = drawprogress;
        o.context = &line;
        o.always = always;
    }
    for (const std::string& said : varsrun(o, io)) wrecord(io.out, said);
}

}  // namespace

int main(int argc, char** argv)
{
    osstart();
    initunits(io);
    return closeall(io, climain(io, varscli, argc, argv, run));
}
