// lociweaver-maps [options] SITES VARIABLES PICTURE: the Moran's I of every
// spatial variable of a run, and a picture of the sites and the variables.
// The work is maps() of the module; here, the command line and the report
// of a failure.
#include <new>
#include <string>

#include "cli/cli.h"
#include "maps.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

// The streams: the sites on unit 2, the variables on unit 12, the picture
// on unit 7, the console.
units io;

}  // namespace

int main(int argc, char** argv)
{
    osstart();
    initunits(io);
    int status = 0;
    std::string fail;
    try {
        cliline line = cliread(mapscli, argc, argv);
        if (line.what != cli_run)
            status = clireport(io, mapscli, line);
        else
            maps(io, mapsrequestof(line));
    } catch (const ioerror& e) {
        fail = mapsfailure(e);
    } catch (const namedrefusal& b) {
        fail = mapsfailure(b);
    } catch (const std::bad_alloc& e) {
        fail = mapsfailure(e);
    }
    if (!fail.empty()) status = clierror(io, mapscli, fail);
    return closeall(io, status);
}
