// lociweaver-maps [options] SITES VARIABLES PICTURE: the Moran's I of every
// spatial variable of a run, and a picture of the sites and the variables.
// The work is maps() of the module; here, the command line and the report
// of a failure.
#include "cli/cli.h"
#include "maps.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

// The streams: the sites on unit 2, the variables on unit 12, the picture
// on unit 7, the console.
units io;

// The run of a command line that runs: a refusal of an input or an option
// is its one-line failure.
void run(units& io, const cliline& line)
{
    try {
        maps(io, mapsrequestof(line));
    } catch (const namedrefusal& b) {
        throw clifailure{mapsfailure(b)};
    }
}

}  // namespace

int main(int argc, char** argv)
{
    osstart();
    initunits(io);
    return closeall(io, climain(io, mapscli, argc, argv, run));
}
