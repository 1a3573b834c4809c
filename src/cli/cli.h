// The command line of a companion program (lociweaver-threshold,
// lociweaver-maps, and the next ones): its usage line and --help text, its
// options and operands, the refusal of a wrong command line, the check that
// a file name fits the text layer, and the one-line error that ends a run
// with exit status 2.  A companion describes its command line in a cliform;
// cliread reads the arguments against it, clireport answers a command line
// that does not run (help, usage, refusal), clierror reports a failed run.
#ifndef LOCIWEAVER_CLI_CLI_H
#define LOCIWEAVER_CLI_CLI_H

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "textio/stream.h"

// The exit status of a wrong command line or a failed run.
const int cli_failure = 2;

// The kinds of option: a flag (--force); an option whose value is the next
// argument, taken as it is written (--limit L, --coords X,Y); an option
// whose value is the next argument read as a whole number from lo to hi
// (--first K); an option whose values are the next two arguments, taken as
// they are written (--new SITES OUTPUT).
enum { opt_flag, opt_text, opt_whole, opt_two };

struct clioption {
    const char* name;               // "--limit"
    int kind;                       // opt_flag, opt_text, opt_whole or opt_two
    unsigned long long lo, hi;      // opt_whole: the values allowed
};

// A companion's command line.
struct cliform {
    const char* program;            // the name before every error line
    const char* usage;              // the usage line
    const char* const* help;        // the lines of the --help text
    size_t nhelp;
    // The options besides --help.  A program with onlyoperands set takes
    // none: every argument is an operand, and --help is the request for the
    // help only when it is the sole argument.  Otherwise --help anywhere
    // asks for the help, and an argument that starts with "--" and names no
    // option is refused.
    const clioption* options;
    size_t noptions;
    bool onlyoperands;
    size_t minoperands, maxoperands;  // the operands a run needs
    const char* longname;           // the refusal of a file name longer than
                                    // namelen characters (see clifits)
    const char* exists;             // the refusal of an output file that
                                    // exists (see clisaid)
    const char* nomemory;           // the failure when memory runs out (see climain)
};

// What a command line asks for.
enum { cli_run, cli_help, cli_usage, cli_refused };

// One option as given: the option, its value as written (empty for a flag)
// and, for opt_whole, the number.
struct cligiven {
    const clioption* option;
    std::string text;
    unsigned long long whole;
    std::string second;             // opt_two: the second value
};

// A command line read against its cliform.  A refused line holds the
// options and operands read before the argument refused.
struct cliline {
    int what = cli_run;
    std::vector<cligiven> given;         // the options, in their order (not --help)
    std::vector<std::string> operands;   // the other arguments, in their order
    std::string name, text;              // cli_refused: the argument refused, and why
};

// cliread: reads the arguments argv[1] to argv[argc - 1] in order.  An
//   option that takes a value takes the next argument, whatever it is (one
//   of two values the next two); the first wrong argument refuses the
//   command line: an option without its value ("needs a value", "needs two
//   values"), a whole number that is none or out of range
//   ("must be a whole number from LO to HI"), or an unknown "--" word ("is
//   no option").  Otherwise --help asks for the help, and a number of
//   operands outside minoperands to maxoperands for the usage.
cliline cliread(const cliform& form, int argc, const char* const* argv);

// cliget: the last of the options of that name given on the line; null when
//   it is not given.
const cligiven* cliget(const cliline& line, const char* name);

// cliusage: the two lines of the usage message: the usage line and the
//   pointer to --help.
std::vector<std::string> cliusage(const cliform& form);

// clierrorline: the one-line error "PROGRAM: TEXT".
std::string clierrorline(const cliform& form, const std::string& text);

// clireport: answers a command line that does not run and returns its exit
//   status: the help on standard output (0), the usage message on the error
//   stream (cli_failure), or the refusal "PROGRAM: NAME: WHY" there
//   (cli_failure).  A failed write throws ioerror.
int clireport(units& io, const cliform& form, const cliline& line);

// clierror: writes the one-line error of a failed run on the error stream
//   (console output flushed first) and returns cli_failure.
int clierror(units& io, const cliform& form, const std::string& text);

// clisaid: the one-line text of the failed open, read or write e, after
//   the program's name: the stream's file ("standard output" for the
//   console), then why: exists (the form's refusal) for a new file that
//   exists, "cannot be opened: " and the system's words, "the file ends
//   before all its values", or the line (when one was read) and "a value
//   is not a number", "a count is not a whole number", or the text layer's
//   context and message.
std::string clisaid(const cliform& form, const ioerror& e);

// A run that cannot be done: the one line that says why, after the
// program's name (a file, its line where it applies, or the work's own
// words).
struct clifailure {
    std::string text;
};

// The run of a command line that cliread let run (cli_run): the work of
//   the companion on io.  Throws clifailure, ioerror and std::bad_alloc.
typedef void (*clibody)(units& io, const cliline& line);

// climain: the life of a companion's command line on io (its units set):
//   reads argv against form, answers a line that does not run
//   (clireport), runs one that does through body, and reports its failure
//   (clierror): the text of a clifailure, clisaid of an ioerror, or
//   form.nomemory.
// Returns the exit status, for closeall.
int climain(units& io, const cliform& form, int argc, const char* const* argv, clibody body);

// clifits: whether the file name fits the namelen characters that the text
//   layer opens; when it does, padded (namelen characters) receives it,
//   padded with blanks.  A companion refuses a longer name with the text of
//   its longname.
bool clifits(const std::string& name, char* padded);

// The progress line of a long computation on the terminal of the error
// stream: rewritten in place, blanks over what is left of a longer line
// before, and erased (blanks over it, the cursor back at the line's start)
// at the end.  A failed write only costs the line.  drawprogress is the
// progress callback (progress.h) whose context is a progressline.
struct progressline {
    int width = 0;  // characters of the line on the screen, 0: none
};
int drawprogress(void* context, const char* what, int n, double done, double elapsed);

// progressshown: whether a program shows the line, for mode, the text of
//   its setting (LOCIWEAVER_PROGRESS; null when unset): not for "never",
//   else when the error stream is a terminal; always (out): "always", the
//   line from the first step on.
bool progressshown(const char* mode, bool& always);

#endif
