// lociweaver-threshold FILE: the answer to lociweaver's truncation question
// that keeps a minimum spanning tree of the file's objects untruncated.
// The work is threshold() of the helper's module; here, the command line and
// the report of a failure.
#include "cli/cli.h"
#include "textio/os.h"
#include "textio/textio.h"
#include "threshold.h"

namespace {

// The streams of the run: the coordinates file on unit 2, the console.
units io;

}  // namespace

int main(int argc, char** argv)
{
    // A closed pipe is reported as a failed write, never as a signal.
    osstart();
    initunits(io);
    int status = 0;
    try {
        cliline line = cliread(thresholdcli, argc, argv);
        if (line.what != cli_run) {
            status = clireport(io, thresholdcli, line);
        } else {
            std::string why = threshold(io, line.operands[0]);
            if (!why.empty()) status = clierror(io, thresholdcli, line.operands[0] + ": " + why);
        }
    } catch (const ioerror& e) {
        failreport(io, e);
        status = cli_failure;
    }
    return closeall(io, status);
}
