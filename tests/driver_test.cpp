// End-to-end runs of the programs, one per case directory under tests/e2e:
//   answers          the console input
//   program          optional: the program to run (default lociweaver)
//   args             optional: its command-line arguments, one a line
//   in/              optional: files placed in the working directory first
//   beside/          optional: files placed beside the working directory (in
//                    its parent), for answers that name ../something; they
//                    are not checked afterwards
//   out/stdout, out/stderr, out/status   what the run must print and return
//   out/files/       every file the run must leave besides those of in/
//   out/unchecked    optional: names of files that must exist but whose
//                    content is not compared (one per line)
// Each run starts in a fresh temporary directory, in a new session (no
// controlling terminal).  Files of in/ must be left byte for byte as they
// were.  A "Computation time:" line matches any such line, since its value
// is the clock's.
// After the transcripts come runs made from them that are too many or too
// big to store: each complete run cut after every answer line, answers and
// coordinates files of 10^5 and 10^6 characters, writes that fail, and
// runs ended by signals at each question and during a large computation.
//
// The same runs check the programs of a cross build, started through an
// emulator, when the environment names them:
//   LW_TARGET         the target: "windows" (programs NAME.exe, records
//                     ended by CR LF) or any other name (LF)
//   LW_TARGET_BIN     the directory of its programs
//   LW_TARGET_RUNNER  the command that runs them, words separated by blanks
//                     (for example "wine", or "qemu-aarch64 -L /usr/aarch64-linux-gnu")
// A case may then hold out/stderr.TARGET, the error stream of that target
// where the system's description of an error differs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/os.h"
#include "textio/stream.h"

namespace {

namespace fs = std::filesystem;

// The guard against a hang: a run still going after this many seconds is
// killed and reported as hung.  It is no test of speed: the longest run of
// this file takes some two seconds on the machine of the README, and under
// an emulator 50 times slower on a machine twice as busy it stays some ten
// times below the guard.
const int hangguard = 1800;

// Whether the guard has passed since start.
bool pastguard(std::chrono::steady_clock::time_point start)
{
    return std::chrono::steady_clock::now() - start >= std::chrono::seconds(hangguard);
}

// The report of a hang of the run of program with args.
std::string hangreport(const std::string& program, const std::vector<std::string>& args = {})
{
    std::string what = program;
    for (const std::string& a : args) what += " " + a.substr(0, 40);
    return "hang: the run of " + what + " was still going after " + std::to_string(hangguard) +
           " s, the guard against a hang (no correct run comes near it), and was killed";
}
const int all = 1 << 30;  // every line of a file

// The environment variable name, or "" when it is not set.
std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The programs under test, as the environment names them (see above).
struct targetprograms {
    std::string name = env("LW_TARGET");
    std::string bin = env("LW_TARGET").empty() ? LW_BIN_DIR : env("LW_TARGET_BIN");
    std::vector<std::string> runner;
    bool windows = name == "windows";
    targetprograms()
    {
        std::istringstream words(env("LW_TARGET_RUNNER"));
        for (std::string w; words >> w;) runner.push_back(w);
    }
} const target;

// The command line that starts the target's program with the arguments
// args: the runner's words, the program, the arguments; argv is ready for
// execvp (built before a fork, so that the child allocates nothing).
struct commandline {
    std::vector<std::string> words;
    std::vector<char*> argv;
    explicit commandline(const std::string& program, const std::vector<std::string>& args = {})
        : words(target.runner)
    {
        words.push_back(target.bin + "/" + program + (target.windows ? ".exe" : ""));
        words.insert(words.end(), args.begin(), args.end());
        for (std::string& w : words) argv.push_back(&w[0]);
        argv.push_back(nullptr);
    }
};

// The text with every line feed ended as the target's records are.
std::string targetlines(const std::string& text)
{
    if (!target.windows) return text;
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The lines of text, each with its line end when withends.
std::vector<std::string> splitlines(const std::string& text, bool withends = true)
{
    std::vector<std::string> lines;
    for (size_t a = 0, e; a < text.size(); a = e) {
        e = text.find('\n', a);
        e = e == std::string::npos ? text.size() : e + 1;
        lines.push_back(text.substr(a, e - a - (!withends && text[e - 1] == '\n' ? 1 : 0)));
    }
    return lines;
}

// The first n lines of text.
std::string firstlines(const std::string& text, int n)
{
    std::string out;
    std::vector<std::string> lines = splitlines(text);
    for (int k = 0; k < n && k < int(lines.size()); ++k) out += lines[size_t(k)];
    return out;
}

// Every regular file below dir, by path relative to it.
std::map<std::string, std::string> files(const std::string& dir)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) out[fs::relative(it->path(), dir).string()] = slurp(it->path().string());
    return out;
}

// Empty when the texts agree line for line, a computation-time line matching
// any other of the same length; otherwise where they first differ.
std::string compare(const std::string& want, const std::string& got)
{
    static const std::regex timeline(R"( Computation time: *[0-9]+\.[0-9][0-9] sec\.\r?\n?)");
    auto show = [](const std::string& l) {
        if (l.empty()) return std::string("(no line)");
        return l.back() == '\n' ? "[" + l.substr(0, l.size() - 1) + "]" : "[" + l + "] (no line end)";
    };
    std::vector<std::string> a = splitlines(want), b = splitlines(got);
    for (size_t k = 0; k < a.size() || k < b.size(); ++k) {
        std::string la = k < a.size() ? a[k] : "", lb = k < b.size() ? b[k] : "";
        if (la == lb || (la.size() == lb.size() && la.back() == lb.back() && std::regex_match(la, timeline) &&
                         std::regex_match(lb, timeline)))
            continue;
        return "line " + std::to_string(k + 1) + ":\n  expected " + show(la) + "\n  actual   " + show(lb);
    }
    return "";
}

// A fresh temporary directory root, with the working directory work in it.
struct scratch {
    std::string root, work;
    scratch()
    {
        char t[] = "/tmp/lw-e2e-XXXXXX";
        if (!::mkdtemp(t)) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
        root = t;
        work = root + "/work";
        fs::create_directory(work);
    }
    ~scratch()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

struct outcome {
    std::string out, err;
    bool captured = true;  // stdout was captured, not sent to a device
    int status = -1;
    bool signalled = false, hung = false;
    std::string hang;  // the report of a hang
};

// Runs the program of the build with the arguments args in s.work, in a new
// session, with the console input answers; stdout goes to the device outdev
// instead of the capture when one is named.  inchild(context), when given,
// runs in the child just before the program starts.
outcome runprogram(const scratch& s, const std::string& program, const std::vector<std::string>& args,
                   const std::string& answers, const char* outdev = nullptr,
                   void (*inchild)(void*) = nullptr, void* context = nullptr)
{
    const std::string in = s.root + "/answers", out = outdev ? outdev : s.root + "/stdout",
                      err = s.root + "/stderr";
    spit(in, answers);
    const commandline cmd(program, args);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        int i = ::open(in.c_str(), O_RDONLY), o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
            e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::chdir(s.work.c_str()) != 0 || i < 0 || o < 0 || e < 0) ::_exit(127);
        ::dup2(i, 0);
        ::dup2(o, 1);
        ::dup2(e, 2);
        if (inchild) inchild(context);
        ::execvp(cmd.argv[0], cmd.argv.data());
        ::_exit(127);
    }
    outcome r;
    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    while (::waitpid(pid, &status, WNOHANG) != pid) {
        if (pastguard(start)) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            r.hung = true;
            r.hang = hangreport(program, args);
            break;
        }
        ::usleep(10000);
    }
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    r.signalled = WIFSIGNALED(status);
    r.captured = !outdev;
    r.out = outdev ? "" : slurp(out);
    r.err = slurp(err);
    return r;
}

// What a run must leave.
struct want {
    std::string out, err;
    int status = 0;
    std::map<std::string, std::string> files;  // every file of the working directory
    std::vector<std::string> unchecked;         // more files, whose content is not compared
    std::set<std::string> inputs = {};          // files of the working directory that the
                                                // run must leave as they were
};

std::string casedir(const std::string& name) { return std::string(LW_CASES) + "/" + name; }

// Copies the in/ files of the case into work and returns what its run must
// leave, as its directory tells.
want prepare(const std::string& name, const std::string& work)
{
    const std::string dir = casedir(name);
    std::string err = dir + "/out/stderr";
    if (!target.name.empty() && fs::exists(err + "." + target.name)) err += "." + target.name;
    want w{slurp(dir + "/out/stdout"), slurp(err), std::atoi(slurp(dir + "/out/status").c_str()),
           files(dir + "/in"), splitlines(slurp(dir + "/out/unchecked"), false)};
    for (const auto& f : w.files) w.inputs.insert(f.first);
    if (fs::is_directory(dir + "/in")) fs::copy(dir + "/in", work, fs::copy_options::recursive);
    if (fs::is_directory(dir + "/beside"))
        fs::copy(dir + "/beside", fs::path(work).parent_path(), fs::copy_options::recursive);
    for (const auto& f : files(dir + "/out/files")) w.files[f.first] = f.second;
    return w;
}

// A file name cut to a readable length (some are 10^5 characters).
std::string shown(const std::string& name) { return name.substr(0, 100); }

// Checks the run o, and the files it left in work, against w.
void check(const outcome& o, const want& w, const std::string& work)
{
    EXPECT_FALSE(o.hung) << o.hang;
    EXPECT_FALSE(o.signalled) << "the run ended by a signal";
    EXPECT_EQ(o.status, w.status);
    std::string diff = o.captured ? compare(targetlines(w.out), o.out) : "";
    EXPECT_EQ(diff, "") << "stdout differs at " << diff;
    diff = compare(targetlines(w.err), o.err);
    EXPECT_EQ(diff, "") << "stderr differs at " << diff;
    std::map<std::string, std::string> got = files(work);
    for (const std::string& name : w.unchecked)
        if (!got.erase(name)) ADD_FAILURE() << "missing file " << name;
    for (const auto& f : w.files) {
        auto g = got.find(f.first);
        if (g == got.end()) {
            ADD_FAILURE() << "missing file " << shown(f.first);
            continue;
        }
        diff = compare(w.inputs.count(f.first) ? f.second : targetlines(f.second), g->second);
        EXPECT_EQ(diff, "") << shown(f.first) << " differs at " << diff;
    }
    for (const auto& g : got)
        if (!w.files.count(g.first)) ADD_FAILURE() << "unexpected file " << shown(g.first);
}

// The four lines of a failure report.
std::string failurereport(const std::string& what, const std::string& unit, const std::string& fmt,
                          const char* direction)
{
    return what + "\napparent state: unit " + unit + "\nlast format: " + fmt + "\nlately " + direction +
           " sequential formatted external IO\n";
}

// ---------------------------------------------------------------- the transcripts

std::vector<std::string> cases()
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(LW_CASES))
        if (e.is_directory()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class transcript : public ::testing::TestWithParam<std::string> {};

TEST_P(transcript, matches)
{
    const std::string dir = casedir(GetParam());
    std::vector<std::string> program = splitlines(slurp(dir + "/program"), false);
    scratch s;
    want w = prepare(GetParam(), s.work);
    check(runprogram(s, program.empty() ? "lociweaver" : program[0], splitlines(slurp(dir + "/args"), false),
                     slurp(dir + "/answers")),
          w, s.work);
}

INSTANTIATE_TEST_SUITE_P(e2e, transcript, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                             std::string n = p.param;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

// The case example_shipped is the run of the shipped example, started as the
// README and the guide show it (from a directory beside examples/); it must
// hold the example's own answers and coordinates.
TEST(example, transcriptrunstheshippedexample)
{
    const std::string examples = std::string(LW_CASES) + "/../../examples";
    EXPECT_EQ(slurp(casedir("example_shipped") + "/answers"), slurp(examples + "/answers.txt"));
    EXPECT_EQ(slurp(casedir("example_shipped") + "/beside/examples/sites.txt"), slurp(examples + "/sites.txt"));
    EXPECT_NE(slurp(examples + "/sites.txt"), "");
}

// ---------------------------------------------------------------- end of input after every answer line

// The console lines that end each question of the dialogue: the answer is
// read right after them.
const char* const questionends[] = {
    " Name of output file containing the PCoA eigenvalues?",
    " variables (PCNM or monomials)?",
    " (3) Canoco input file, FREE format",
    " (3) File containing X or X-Y coordinates",
    " Number of objects?",
    " number of rows and columns of points (two integers)",
    " (0) No, (1) Yes",
    " File containing the coordinates?",
    " (2) a file containing a polynomial of the coordinates?",
    " Use the SAME measurement units as the site coordinates.",
    " Order of the polynomial? 2 to 5",
};

// The console output up to the end of the question that reads answer k
// (counted from 0).
std::string uptoquestion(const std::string& out, int k)
{
    std::string got;
    int seen = 0;
    for (const std::string& line : splitlines(out)) {
        got += line;
        for (const char* q : questionends)
            if (line == std::string(q) + "\n" && seen++ == k) return got;
    }
    return "(no question " + std::to_string(k) + ")";
}

// A complete run whose answers are cut after each line in turn.  For each
// file, its length in lines at each cut (-1: the file does not exist yet;
// -2: it exists, its content is one the full case leaves unchecked); the
// last cut leaves only the closing pause unanswered, a normal end.
struct cutfile {
    const char* name;
    std::vector<int> lines;
};
struct cutpath {
    const char* base;  // a case of tests/e2e holding the complete run
    std::vector<cutfile> files;
};

const cutpath cutpaths[] = {
    // transect, PCNM refused once then accepted
    {"pcnm_refused_then_accepted",
     {{"r.txt", {-1, 8, 8, 8, 8, 9, 13, 27, 45}}, {"v.txt", {-1, -1, 0, 0, 0, 0, 0, 0, 12}}}},
    // grid saved to Grid.txt, polynomial
    {"grid_saved_polynomial",
     {{"r.txt", {-1, 8, 8, 8, 8, 12, 12, 14, 18}},
      {"v.txt", {-1, -1, 0, 0, 0, 0, 0, 0, 10}},
      {"Grid.txt", {-1, -1, -1, -1, -1, -1, 9, 9, 9}}}},
    // coordinates file with a supplementary object, PCNM and correlation check
    {"pcnm_supplementary_correlation",
     {{"r.txt", {-1, 8, 8, 8, 8, 14, 18, 37}}, {"v.txt", {-1, -1, 0, 0, 0, 0, 0, -2}}}},
    // grid, polynomial with every kind of order refusal
    {"poly_order_refusals",
     {{"r.txt", {-1, 8, 8, 8, 8, 12, 12, 14, 14, 14, 14, 14, 14, 18}},
      {"v.txt", {-1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10}}}},
};

TEST(endofinput, aftereveryanswerline)
{
    for (const cutpath& path : cutpaths) {
        const std::string dir = casedir(path.base), fullout = slurp(dir + "/out/stdout");
        const std::vector<std::string> answers = splitlines(slurp(dir + "/answers"));
        const size_t last = answers.size() - 1;
        for (const cutfile& f : path.files) ASSERT_EQ(f.lines.size(), answers.size()) << path.base << " " << f.name;
        for (size_t k = 0; k <= last; ++k)
            // The last answer kept with its line end, or without it: the next
            // read then meets the end at its start.
            for (int noend = 0; noend < (k == 0 ? 1 : 2); ++noend) {
                SCOPED_TRACE(std::string(path.base) + ", answers cut after line " + std::to_string(k) +
                             (noend ? " without its line end" : ""));
                std::string input;
                for (size_t j = 0; j < k; ++j) input += answers[j];
                if (noend) input.pop_back();
                scratch s;
                want w = prepare(path.base, s.work);
                w.unchecked.clear();
                for (const cutfile& f : path.files) {
                    int n = f.lines[k];
                    w.files.erase(f.name);
                    if (n >= 0) w.files[f.name] = firstlines(slurp(dir + "/out/files/" + f.name), n);
                    if (n == -2) w.unchecked.push_back(f.name);
                }
                if (k < last) {
                    w.out = uptoquestion(fullout, int(k));
                    w.err = failurereport(noend ? "read start: end of file" : "list in: end of file",
                                          "5 (unnamed)", "list io", "reading");
                    w.status = 2;
                } else {
                    w.out = fullout;
                    w.err = "PAUSE   -- Press the RETURN key to terminate the program. statement executed\n"
                            "To resume execution, type go.  Other input will terminate the job.\n"
                            "STOP\n";
                    w.status = 0;
                }
                check(runprogram(s, "lociweaver", {}, input), w, s.work);
            }
    }
}

// ---------------------------------------------------------------- hostile inputs too big to store

// A case of tests/e2e run again with one answer line or the coordinates file
// replaced.  What the run must leave is told from the base case: the same as
// it, or with err the failure report that ends the run (status 2), the first
// outlines lines of its stdout and the first lines of the files listed (-1:
// the file must not exist).
struct hostile {
    std::string name, base;
    int line;                 // the answer line replaced (-1: none)
    std::string answer;                   // its replacement
    std::string content = "";             // when not empty: the content of c.txt
    std::string err = "";
    int outlines = all;
    std::vector<std::pair<std::string, int>> files = {};
    std::string newname = "";             // when not empty: the base's r.txt is left under this name
    bool unreadable = false;              // c.txt made unreadable
    const char* outdev = nullptr;
};

// Runs h in s and checks what it leaves.
void runhostile(const hostile& h, const scratch& s)
{
    SCOPED_TRACE(h.name);
    const std::string dir = casedir(h.base), c = s.work + "/c.txt";
    want w = prepare(h.base, s.work);
    if (!h.content.empty()) {
        spit(c, h.content);
        w.files["c.txt"] = h.content;
        w.inputs.insert("c.txt");
        if (h.unreadable) ::chmod(c.c_str(), 0);
    }
    std::vector<std::string> answers = splitlines(slurp(dir + "/answers"));
    if (h.line >= 0) answers[size_t(h.line)] = h.answer + "\n";
    std::string input;
    for (const std::string& a : answers) input += a;
    if (!h.err.empty()) {
        w.out = firstlines(w.out, h.outlines);
        w.err = h.err;
        w.status = 2;
    }
    for (const auto& f : h.files) {
        w.files.erase(f.first);
        if (f.second >= 0) w.files[f.first] = firstlines(slurp(dir + "/out/files/" + f.first), f.second);
    }
    if (!h.newname.empty()) {
        w.files[h.newname] = w.files["r.txt"];
        w.files.erase("r.txt");
    }
    outcome o = runprogram(s, "lociweaver", {}, input, h.outdev);
    if (h.unreadable) ::chmod(c.c_str(), 0644);
    check(o, w, s.work);
}

TEST(hostile, inputstoobigtostore)
{
    const std::string eof = failurereport("list in: end of file", "2 named c.txt", "list io", "reading");
    std::string blanklines;
    for (int k = 0; k < 1000; ++k) blanklines += std::string(999, ' ') + "\n";
    const std::string oneline = "3 1 0 1 2 3" + std::string(1000000 - 11, ' ');
    const hostile cases[] = {
        // Answers of 10^5 characters, on a whole PCNM run of an 11-point
        // transect whose limit is 0: a name is cut to 79 characters, trailing
        // blanks dropped; numbers of 10^5 digits.
        {"report name of 10^5 characters is cut to 79", "pcnm_limit_zero", 0, std::string(100000, 'a'), "", "",
         all, {}, std::string(79, 'a')},
        {"quoted name of 10^5 characters, blanks after the name", "pcnm_limit_zero", 1,
         "'v.txt" + std::string(99993, ' ') + "'"},
        {"layout answer of 10^5 digits, leading zeros", "pcnm_limit_zero", 2, std::string(99999, '0') + "2"},
        {"object count followed by 10^5 characters of junk", "pcnm_limit_zero", 4, "11 " + std::string(99997, 'x')},
        {"limit of 10^5 zero digits", "pcnm_limit_zero", 6, std::string(100000, '0')},
        {"limit of 10^5 digits that underflows to 0", "pcnm_limit_zero", 6, "0." + std::string(99997, '0') + "1"},
        {"layout answer of 10^5 nines", "pcnm_limit_zero", 2, std::string(100000, '9'), "",
         failurereport("invalid integer: read unexpected character", "5 (unnamed)", "list io", "reading"), 18,
         {{"r.txt", 8}, {"v.txt", 0}}},
        {"limit of 10^5 ones, beyond the largest double", "pcnm_limit_zero", 6, std::string(100000, '1'), "",
         failurereport("invalid number: incomprehensible list input", "5 (unnamed)", "list io", "reading"), 37,
         {{"r.txt", 13}, {"v.txt", 0}}},
        // Coordinates files and names, on the trace-mode read of three sites
        // 1, 2, 3 that ends at the method question (coords_one_coordinate).
        {"coordinates file name of 10^5 characters", "coords_one_coordinate", 4, std::string(100000, 'c'), "",
         failurereport("open: No such file or directory", "2 named " + std::string(79, 'c'), "list io", "reading"),
         25, {{"r.txt", 8}, {"v.txt", 0}}},
        {"a label of 10^6 characters after a coordinate", "coords_one_coordinate", -1, "",
         "3 1 0\n1 " + std::string(1000000, 'x') + "\n2\n3\n"},
        {"10^6 blanks and line ends before the header", "coords_one_coordinate", -1, "",
         blanklines + "3 1 0\n1\n2\n3\n"},
        {"the whole file one line of 10^6 characters, no line end", "coords_one_coordinate", -1, "", oneline,
         failurereport("read start: end of file", "2 named c.txt", "list io", "reading"), 26,
         {{"r.txt", 14}, {"v.txt", 0}}},
        {"the whole file one line of 10^6 characters and its line end", "coords_one_coordinate", -1, "",
         oneline.substr(0, oneline.size() - 1) + "\n", eof, 26, {{"r.txt", 14}, {"v.txt", 0}}},
    };
    for (const hostile& h : cases) runhostile(h, scratch());
}

TEST(hostile, unreadablecoordinatesfile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, whom file permissions do not stop from reading: the "
                        "unreadable coordinates file cannot be tested here (coords_not_a_directory "
                        "covers a coordinates file whose opening fails)";
    runhostile({"coordinates file without read permission", "coords_one_coordinate", -1, "", "3 1 0\n1\n2\n3\n",
                failurereport("open: Permission denied", "2 named c.txt", "list io", "reading"), 25,
                {{"r.txt", 8}, {"v.txt", 0}}, "", true},
               scratch());
}

// ---------------------------------------------------------------- writes that fail

// The layout of the banner, the first statement of a run.
const char* const bannerlayout =
    "(' Program \"Lociweaver\" creates a file of PCNM',/,' or polynomial spatial variables.',/,/,"
    "' Lociweaver 1.0 -- spatial variables for regression and canonical analysis',/,"
    "' Written by the Lociweaver developers.',/,"
    "' Free software: see the README file for the terms of use.',/,"
    "' Report problems through the project''s issue tracker.',/)";

TEST(failedwrites, consoleoutputonafulldevice)
{
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "this machine has no /dev/full";
    // Each statement hands its lines over as it ends: the banner, the first
    // statement of the run, fails.
    runhostile({"stdout on /dev/full", "pcnm_limit_zero", -1, "", "",
                failurereport("write: No space left on device", "6 (unnamed)", bannerlayout, "writing"), all,
                {{"r.txt", -1}, {"v.txt", -1}}, "", false, "/dev/full"},
               scratch());
}

TEST(failedwrites, filesonafullfilesystem)
{
    const std::string full = "write: No space left on device";
    // Each statement hands its lines over as it ends, so the first file
    // written takes the only page and the failure comes at the first
    // statement on another file.
    const hostile cases[] = {
        // A coordinates file of one byte takes the page: the banner, the
        // first statement on the report file, finds no room.
        {"report file on a full file system", "pcnm_limit_zero", -1, "", "1",
         failurereport(full, "7 named r.txt", bannerlayout, "writing"), 10, {{"r.txt", 0}, {"v.txt", -1}}},
        // The report file takes the page: the spatial-variable file fails at
        // its first statement, the counts, after the truncation verdict.
        {"spatial-variable file on a full file system", "pcnm_limit_zero", -1, "", "",
         failurereport(full, "12 named v.txt", "list io", "writing"), 40, {{"r.txt", 27}, {"v.txt", 0}}},
        // The report file takes the page: Grid.txt fails at its first record,
        // after the answer to the save question.
        {"Grid.txt on a full file system", "grid_saved_polynomial", -1, "", "",
         failurereport(full, "9 named Grid.txt", "(1X,3F5.0)", "writing"), 29,
         {{"r.txt", 12}, {"v.txt", 0}, {"Grid.txt", 0}}},
    };
    for (const hostile& h : cases) {
        scratch s;
        // A file system of one 4096-byte page on the working directory.
        if (::mount("tmpfs", s.work.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=4k,mode=0755") != 0)
            GTEST_SKIP() << "a small file system cannot be mounted here (" << std::strerror(errno)
                         << "): the full-disk cases are not run";
        runhostile(h, s);
        ::umount2(s.work.c_str(), MNT_DETACH);
    }
}

// ---------------------------------------------------------------- runs ended by a signal

// A run of a program of the build in a working directory, in a new session
// (its own process group, as a terminal's foreground job), its console
// input a pipe that the test writes answers to.
struct liverun {
    std::string program;
    pid_t pid = -1;
    int in = -1;           // the write end of the console input
    std::string out, err;  // the files that receive stdout and stderr
    int status = 0;
    bool ended = false;
};

liverun startrun(const scratch& s, const std::string& program)
{
    liverun r;
    r.program = program;
    r.out = s.root + "/stdout";
    r.err = s.root + "/stderr";
    const commandline cmd(program);
    int p[2];
    if (::pipe(p) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    // A write after the run has ended must fail, not end the test.
    ::signal(SIGPIPE, SIG_IGN);
    r.pid = ::fork();
    if (r.pid == 0) {
        ::setsid();
        int o = ::open(r.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
            e = ::open(r.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::chdir(s.work.c_str()) != 0 || o < 0 || e < 0) ::_exit(127);
        ::dup2(p[0], 0);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::close(p[1]);
        // The run meets the signals as a user's run does, whatever the
        // test was started with: their default actions, none blocked.
        sigset_t ends;
        sigemptyset(&ends);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            ::signal(sig, SIG_DFL);
            sigaddset(&ends, sig);
        }
        ::sigprocmask(SIG_UNBLOCK, &ends, nullptr);
        ::execvp(cmd.argv[0], cmd.argv.data());
        ::_exit(127);
    }
    ::close(p[0]);
    r.in = p[1];
    return r;
}

// Whether the run has ended, without waiting for it.
bool over(liverun& r)
{
    int status = 0;
    if (!r.ended && ::waitpid(r.pid, &status, WNOHANG) == r.pid) {
        r.ended = true;
        r.status = status;
    }
    return r.ended;
}

// Waits until cond holds, polling every millisecond; false when the run
// ended first without it, or the guard against a hang passed (which is
// then reported).
bool waituntil(liverun& r, const std::function<bool()>& cond)
{
    const auto start = std::chrono::steady_clock::now();
    while (!pastguard(start)) {
        if (cond()) return true;
        if (over(r)) return cond();
        ::usleep(1000);
    }
    ADD_FAILURE() << hangreport(r.program);
    return false;
}

// Sends the signals sigs to the run's process group, as a terminal or a
// batch system does, and waits for its end; false when it hangs (it is then
// killed).
bool endrun(liverun& r, std::initializer_list<int> sigs)
{
    for (int sig : sigs) ::kill(-r.pid, sig);
    bool ended = waituntil(r, [&] { return over(r); });
    if (!ended) {
        ::kill(-r.pid, SIGKILL);
        ::waitpid(r.pid, &r.status, 0);
        r.ended = true;
    }
    ::close(r.in);
    return ended;
}

void answer(liverun& r, const std::string& line)
{
    ASSERT_EQ(::write(r.in, line.data(), line.size()), ssize_t(line.size())) << std::strerror(errno);
}

// The number of questions the console output shows (see questionends).
int questionsshown(const std::string& out)
{
    int n = 0;
    for (const std::string& line : splitlines(out))
        for (const char* q : questionends)
            if (line == std::string(q) + "\n") ++n;
    return n;
}

// The lines of the closing pause written before its answer is read.
const char* const pauselines = "PAUSE   -- Press the RETURN key to terminate the program. statement executed\n"
                               "To resume execution, type go.  Other input will terminate the job.\n";

// Checks that every file left in work is the file that the uninterrupted
// run left under its name, cut after a whole line: the same lines, byte for
// byte, with a line end after the last (a computation-time line may differ
// in its value).
void checkprefixes(const std::map<std::string, std::string>& full, const std::string& work)
{
    for (const auto& g : files(work)) {
        auto f = full.find(g.first);
        if (f == full.end()) {
            ADD_FAILURE() << "unexpected file " << g.first;
            continue;
        }
        int n = int(splitlines(g.second).size());
        std::string diff = compare(firstlines(f->second, n), g.second);
        EXPECT_EQ(diff, "") << g.first << " is no line-prefix of the uninterrupted run's file: " << diff;
    }
}

const char* signame(int sig) { return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "SIGHUP"; }

// Each run of the cut table, interrupted at each of its questions by each
// ending signal: the run dies of that signal at once, its console output is
// that of the uninterrupted run up to the question, and its files hold the
// lines written before the question, the same as when the console input
// ends there (the table's line counts), a line-prefix of the files of the
// uninterrupted run.
TEST(signals, ateachquestion)
{
    if (target.windows)
        GTEST_SKIP() << "a Windows program under wine meets a POSIX signal as wine does: SIGINT "
                        "arrives as a Ctrl-C event (the run ends with status 58, the low byte of "
                        "0xC000013A), SIGTERM and SIGHUP end wine itself";
    for (const cutpath& path : cutpaths) {
        const std::string dir = casedir(path.base);
        const std::vector<std::string> answers = splitlines(slurp(dir + "/answers"));
        const size_t last = answers.size() - 1;  // the closing pause
        std::string all;
        for (const std::string& a : answers) all += a;
        scratch whole;
        prepare(path.base, whole.work);
        outcome full = runprogram(whole, "lociweaver", {}, all);
        ASSERT_EQ(full.status, 0) << path.base;
        const std::map<std::string, std::string> fullfiles = files(whole.work);

        for (size_t k = 0; k <= last; ++k)
            for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
                SCOPED_TRACE(std::string(path.base) + ", " + signame(sig) + " at question " + std::to_string(k));
                scratch s;
                want w = prepare(path.base, s.work);
                liverun r = startrun(s, "lociweaver");
                bool asked = true;
                for (size_t j = 0; j <= k && asked; ++j) {
                    if (j < last)
                        asked = waituntil(r, [&] { return questionsshown(slurp(r.out)) > int(j); });
                    else
                        asked = waituntil(r, [&] { return slurp(r.err) == pauselines; });
                    if (asked && j < k) answer(r, answers[j]);
                }
                EXPECT_TRUE(asked) << "the question was never shown";
                EXPECT_TRUE(endrun(r, {sig})) << "the run did not end";
                EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == sig)
                    << "the run did not die of the signal (status " << r.status << ")";

                std::string diff = compare(k < last ? uptoquestion(full.out, int(k)) : full.out, slurp(r.out));
                EXPECT_EQ(diff, "") << "stdout differs at " << diff;
                EXPECT_EQ(slurp(r.err), k < last ? "" : pauselines);
                checkprefixes(fullfiles, s.work);
                std::map<std::string, std::string> got = files(s.work);
                for (const cutfile& f : path.files) {
                    int n = f.lines[k];
                    if (n == -1) {
                        EXPECT_EQ(got.count(f.name), 0u) << f.name << " exists";
                    } else if (n >= 0) {
                        EXPECT_EQ(int(splitlines(got[f.name]).size()), n)
                            << f.name << " has not the lines written before the question";
                    }
                }
            }
    }
}

// The hold around writes to regular files: a signal that ends a run, sent
// while a hold is in force (nested holds too), waits until the last hold is
// released and then ends the process, and the ending takes nothing more.
TEST(signals, heldduringawrite)
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signame(sig));
        int p[2];
        ASSERT_EQ(::pipe(p), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(p[0]);
            ::signal(sig, SIG_DFL);
            oshold();
            oshold();
            ::raise(sig);
            (void)!::write(p[1], "a", 1);
            osrelease();
            (void)!::write(p[1], "b", 1);
            osrelease();
            (void)!::write(p[1], "c", 1);
            ::_exit(0);
        }
        ::close(p[1]);
        std::string got;
        char c;
        while (::read(p[0], &c, 1) == 1) got += c;
        ::close(p[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
        EXPECT_EQ(got, "ab");
    }
}

// A record longer than the stream's buffer goes out in parts: a signal sent
// after the first part waits until the record's line end has gone out, so
// the file never ends in a cut line.
TEST(signals, heldduringarecordlongerthanthebuffer)
{
    scratch s;
    const std::string path = s.work + "/long.txt";
    const size_t len = sizeof(stream::obuf) + 5000;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGTERM, SIG_DFL);
        static units io;
        initunits(io);
        std::string name = path;
        name.resize(namelen, ' ');
        opennew(io.report, name.c_str());
        const std::string record(len, 'x');
        putn(io.report, record.data(), 1000);
        putn(io.report, record.data() + 1000, len - 1000);
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || st.st_size == 0) ::_exit(3);  // no part went out
        ::raise(SIGTERM);
        endrec(io.report);
        endwrite(io.report);
        putn(io.report, "y", 1);
        endrec(io.report);
        endwrite(io.report);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    std::string got = slurp(path);
    EXPECT_EQ(got.size(), len + 1) << "the record is cut";
    EXPECT_TRUE(got == std::string(len, 'x') + "\n");
}

// The coordinates of n sites scattered over a square of side 1000, from a
// fixed seed: a coordinates file of n main objects and 2 coordinates.
std::string scatteredsites(int n)
{
    std::mt19937 g(20261207);
    std::string text = std::to_string(n) + " 2 0\n";
    char b[64];
    for (int i = 0; i < n; ++i) {
        double x = std::generate_canonical<double, 32>(g) * 1000, y = std::generate_canonical<double, 32>(g) * 1000;
        std::snprintf(b, sizeof b, "%.3f %.3f\n", x, y);
        text += b;
    }
    return text;
}

// A run of the capacity, 1000 sites and some 600 PCNM variables, layout 1
// (lines of some 6600 characters), ended by signals while it computes and
// while it writes: it dies of the first signal at once, a second one at once
// after it changes nothing, and every file left is a line-prefix of the
// uninterrupted run's file.  The closing pause is never answered, so that
// the run cannot end by itself.
TEST(signals, duringalargerun)
{
    if (target.windows)
        GTEST_SKIP() << "a Windows program under wine meets a POSIX signal as wine does: SIGINT "
                        "arrives as a Ctrl-C event (the run ends with status 58, the low byte of "
                        "0xC000013A), SIGTERM and SIGHUP end wine itself";
    const std::string sites = scatteredsites(1000);
    const std::string head = "r.txt\nv.txt\n1\n3\nc.txt\n1\n60\n";
    scratch whole;
    spit(whole.work + "/c.txt", sites);
    outcome full = runprogram(whole, "lociweaver1000", {}, head + "go\n");
    ASSERT_EQ(full.status, 0);
    ASSERT_EQ(full.out.find("Choose a lower"), std::string::npos) << "the limit is refused";
    const std::map<std::string, std::string> fullfiles = files(whole.work);
    ASSERT_GT(fullfiles.at("v.txt").size(), 1000000u);

    // The report's last line before the eigen-decomposition, and its first
    // line after it.
    const std::string before = "    Multiplier for \"large distances\"", after = " Eigenvalues of the PCoA:";
    struct scene {
        const char* name;
        std::vector<int> sigs;
        bool computing;  // sent while the eigen-decomposition runs, else
                         // once the spatial-variable file has begun
    } scenes[] = {
        {"SIGINT while it computes", {SIGINT}, true},
        {"SIGTERM while it computes", {SIGTERM}, true},
        {"SIGHUP and at once SIGINT while it computes", {SIGHUP, SIGINT}, true},
        {"SIGINT while it writes the spatial-variable file", {SIGINT}, false},
        {"SIGTERM and at once SIGTERM again while it writes", {SIGTERM, SIGTERM}, false},
    };
    for (const scene& c : scenes) {
        SCOPED_TRACE(c.name);
        // The signal lands in the computation unless the test itself was
        // held up for as long as the decomposition takes (on a busy
        // machine): then again, up to a count that no plausible load
        // reaches.
        const int attempts = 20;
        for (int attempt = 1;; ++attempt) {
            scratch s;
            spit(s.work + "/c.txt", sites);
            liverun r = startrun(s, "lociweaver1000");
            answer(r, head);
            const std::string rep = s.work + "/r.txt", vars = s.work + "/v.txt";
            bool reached = waituntil(r, [&] {
                if (c.computing) return slurp(rep).find(before) != std::string::npos;
                struct stat st;
                return ::stat(vars.c_str(), &st) == 0 && st.st_size > 0;
            });
            EXPECT_TRUE(reached) << "the run never reached that point";
            std::vector<int> sigs = c.sigs;
            bool ended = sigs.size() == 1 ? endrun(r, {sigs[0]}) : endrun(r, {sigs[0], sigs[1]});
            EXPECT_TRUE(ended) << "the run did not end";
            bool bysignal = WIFSIGNALED(r.status) &&
                            std::find(sigs.begin(), sigs.end(), WTERMSIG(r.status)) != sigs.end();
            EXPECT_TRUE(bysignal) << "the run did not die of the signal (status " << r.status << ")";
            EXPECT_EQ(slurp(r.err), "");
            std::string out = slurp(r.out);
            std::string diff = compare(firstlines(full.out, int(splitlines(out).size())), out);
            EXPECT_EQ(diff, "") << "stdout is no line-prefix of the uninterrupted run's: " << diff;
            checkprefixes(fullfiles, s.work);
            std::map<std::string, std::string> got = files(s.work);
            if (c.computing) {
                EXPECT_NE(got["r.txt"].find(before), std::string::npos);
                if (got["r.txt"].find(after) != std::string::npos && attempt < attempts) continue;
                EXPECT_EQ(got["r.txt"].find(after), std::string::npos) << "the signal came after the computation";
                EXPECT_EQ(got["v.txt"], "");
            } else {
                EXPECT_NE(got["v.txt"], "");
            }
            break;
        }
    }
}

// ---------------------------------------------------------------- the program whose capacity is the machine's

// The text with the banner's capacity blanked.
std::string nocapacity(const std::string& text)
{
    static const std::regex banner("maximum of +[0-9]+ objects");
    return std::regex_replace(text, banner, "maximum of (any) objects");
}

// Empty when run b (files in workb) is run a (files in worka) but for the
// banner's capacity; otherwise the first difference.
std::string samerun(const outcome& a, const std::string& worka, const outcome& b, const std::string& workb)
{
    if (a.hung || b.hung) return a.hung ? a.hang : b.hang;
    if (a.status != b.status || a.signalled || b.signalled) return "the status differs";
    std::string diff = compare(nocapacity(a.out), nocapacity(b.out));
    if (!diff.empty()) return "stdout " + diff;
    if (!(diff = compare(a.err, b.err)).empty()) return "stderr " + diff;
    std::map<std::string, std::string> fa = files(worka), fb = files(workb);
    for (const auto& f : fa) {
        if (!fb.count(f.first)) return "no file " + shown(f.first);
        if (!(diff = compare(f.second, fb[f.first])).empty()) return shown(f.first) + " " + diff;
    }
    return fa.size() == fb.size() ? "" : "the files differ";
}

// Every transcript of lociweaver or lociweaver1000 that lociweaver1000
// passes (the banner's capacity aside), without meeting its capacity, gives
// the same run with lociweaver-large, byte for byte but for that capacity.
TEST(large, everytranscriptoflociweaver1000)
{
    int compared = 0;
    for (const std::string& name : cases()) {
        const std::string dir = casedir(name);
        std::vector<std::string> program = splitlines(slurp(dir + "/program"), false);
        if (!program.empty() && program[0] != "lociweaver" && program[0] != "lociweaver1000") continue;
        const std::vector<std::string> args = splitlines(slurp(dir + "/args"), false);
        const std::string answers = slurp(dir + "/answers");
        scratch s1, s2;
        want w = prepare(name, s1.work);
        prepare(name, s2.work);
        outcome thousand = runprogram(s1, "lociweaver1000", args, answers);
        // lociweaver1000 passes the transcript when it meets no capacity.
        std::map<std::string, std::string> got = files(s1.work);
        bool passes = thousand.status == w.status &&
                      compare(nocapacity(targetlines(w.out)), nocapacity(thousand.out)) == "" &&
                      compare(targetlines(w.err), thousand.err) == "" && w.unchecked.empty();
        for (const auto& f : w.files)
            passes = passes && got.count(f.first) &&
                     compare(w.inputs.count(f.first) ? f.second : targetlines(f.second), got[f.first]) == "";
        // Where its capacity decides, the other program decides otherwise.
        for (const char* limit : {"You are joking", "excessive number of points", "Too many points"})
            passes = passes && thousand.out.find(limit) == std::string::npos;
        if (!passes) continue;
        outcome large = runprogram(s2, "lociweaver-large", args, answers);
        EXPECT_EQ(samerun(thousand, s1.work, large, s2.work), "") << name;
        ++compared;
    }
    EXPECT_GT(compared, 80) << "too few transcripts compared";
}

// Above 1000 objects: a grid of 50 x 25 sites (saved, PCNM, layout 1) and a
// coordinates file of 1490 main and 10 supplementary objects (PCNM with the
// correlation check, Canoco file) against a build of capacity 1500.  The
// size is only the point of the case: under an emulator the same code of
// lociweaver-large runs on every transcript above, the kernels' paths at
// every order in pcnm_test.
TEST(large, beyondathousandasabuildofthatcapacity)
{
    if (!target.name.empty())
        GTEST_SKIP() << "a case large only to pass 1000 objects: run on the native build";
    std::string sites = scatteredsites(1500);
    sites.replace(0, sites.find('\n'), "1490 2 10");
    struct {
        const char* what;
        std::string answers;
        bool file;
    } runs[] = {
        {"grid of 50 x 25", "r.txt\nv.txt\n1\n2\n50 25\n1\n1\n1\ngo\n", false},
        {"1500 objects", "r.txt\nv.txt\n3\n3\nc.txt\n1\n60\ngo\n", true},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.what);
        scratch a, b;
        if (r.file) {
            spit(a.work + "/c.txt", sites);
            spit(b.work + "/c.txt", sites);
        }
        outcome fixed = runprogram(a, "lociweaver1500", {}, r.answers);
        outcome large = runprogram(b, "lociweaver-large", {}, r.answers);
        ASSERT_EQ(fixed.status, 0);
        EXPECT_EQ(fixed.out.find("Choose a lower"), std::string::npos) << "the limit is refused";
        EXPECT_NE(slurp(a.work + "/v.txt"), "");
        EXPECT_EQ(samerun(fixed, a.work, large, b.work), "");
    }
}

#if defined(__SANITIZE_ADDRESS__)
const bool addresssanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool addresssanitizer = true;
#else
const bool addresssanitizer = false;
#endif
#else
const bool addresssanitizer = false;
#endif

// The address space of the child, limited to 256 MB.
void smalladdressspace(void*)
{
    struct rlimit l = {256L << 20, 256L << 20};
    ::setrlimit(RLIMIT_AS, &l);
}

// When the system refuses the storage (here the address space is limited),
// the run stops in order after the design: the memory it needs (four
// matrices of 8000 x 8000 doubles, 2,048,000,000 bytes, six vectors of
// 8000 doubles and one of 8000 integers, 416,000 bytes, and 64 for the
// alignment: 2049 MB rounded up) and its objects, status 0, the report
// holding the banner and the transect, the variables file empty.
TEST(large, memoryrefusedinorder)
{
    if (!target.name.empty()) GTEST_SKIP() << "an emulator needs more address space than the limit leaves";
    if (addresssanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
    scratch s;
    outcome o = runprogram(s, "lociweaver-large", {}, "r.txt\nv.txt\n1\n1\n8000\n", nullptr, smalladdressspace);
    EXPECT_EQ(o.status, 0);
    EXPECT_FALSE(o.signalled);
    const std::string tail = " Number of objects?\n\n"
                             " Not enough memory: a run of 8000 objects needs 2049 MB,\n"
                             " which the system cannot give now. Close other programs,\n"
                             " or use fewer objects or a machine with more memory.\n";
    ASSERT_GE(o.out.size(), tail.size());
    EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail);
    EXPECT_EQ(o.err, "");
    std::map<std::string, std::string> got = files(s.work);
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(got["v.txt"], "");
    const std::string report = got["r.txt"];
    const std::string transect = "  Unidimensional transect with equidistant points\n";
    ASSERT_GE(report.size(), transect.size());
    EXPECT_EQ(report.substr(report.size() - transect.size()), transect);
}

// ---------------------------------------------------------------- the progress line

// The error stream on the terminal whose slave side is context's name,
// opened without making it the controlling terminal; the progress line
// shown from the first step of the decomposition.
void errorontty(void* context)
{
    int t = ::open(static_cast<const char*>(context), O_RDWR | O_NOCTTY);
    if (t >= 0) ::dup2(t, 2);
    ::setenv("LOCIWEAVER_PROGRESS", "always", 1);
}

void alwaysprogress(void*) { ::setenv("LOCIWEAVER_PROGRESS", "always", 1); }

// A PCNM run, of the dialogue and of lociweaver-vars, with its error stream
// on a terminal shows the progress line there and erases it (blanks over
// it, the cursor back at the line's start) before anything else is written; without the line the terminal holds the
// error stream of the same run on a file, and that run writes no progress
// at all.
TEST(progress, onaterminalonly)
{
    if (target.windows) GTEST_SKIP() << "wine's console is not a POSIX terminal";
    std::string transect = "300 1 0\n";
    for (int i = 1; i <= 300; ++i) transect += std::to_string(i) + "\n";
    const struct {
        const char* program;
        std::vector<std::string> args;
        std::string answers;
    } runs[] = {
        {"lociweaver", {}, "r.txt\nv.txt\n1\n1\n300\n1\n3\ngo\n"},
        {"lociweaver-vars", {"--limit", "3", "c.txt", "v.csv"}, ""},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.program);
        scratch plain;
        spit(plain.work + "/c.txt", transect);
        outcome o = runprogram(plain, r.program, r.args, r.answers, nullptr, alwaysprogress);
        ASSERT_EQ(o.status, 0);
        EXPECT_EQ(o.err.find('\r'), std::string::npos) << "progress on a file";

        int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        std::string slave = ::ptsname(master);
        // Records as they are written: no line feed becomes CR LF.
        struct termios tio;
        ASSERT_EQ(::tcgetattr(master, &tio), 0);
        tio.c_oflag &= ~tcflag_t(OPOST);
        ASSERT_EQ(::tcsetattr(master, TCSANOW, &tio), 0);
        scratch s;
        spit(s.work + "/c.txt", transect);
        outcome t = runprogram(s, r.program, r.args, r.answers, nullptr, errorontty, &slave[0]);
        std::string screen;
        char buf[4096];
        for (;;) {
            struct pollfd p = {master, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) break;
            long k = ::read(master, buf, sizeof buf);
            if (k <= 0) break;
            screen.append(buf, size_t(k));
        }
        ::close(master);
        EXPECT_EQ(t.status, 0);
        EXPECT_EQ(t.err, "");
        const std::string moved = samerun(o, plain.work, t, s.work);
        EXPECT_TRUE(moved.empty() || moved.compare(0, 6, "stderr") == 0) << "only the error stream moves: " << moved;
        static const std::regex line(R"(\r PCoA of 300 objects: (reduction|accumulation|eigenvectors), [0-9]+% done[^\r]*)");
        static const std::regex erased(R"(\r +\r)");
        EXPECT_TRUE(std::regex_search(screen, line)) << "no progress line";
        std::string rest = std::regex_replace(std::regex_replace(screen, line, ""), erased, "");
        EXPECT_EQ(rest, o.err);
        if (!o.err.empty())
            EXPECT_NE(screen.find(" \r" + o.err.substr(0, 5)), std::string::npos) << "not erased before the pause";
        else
            EXPECT_TRUE(std::regex_search(screen, std::regex(R"(\r +\r$)"))) << "not erased at the end";
    }
}

// ---------------------------------------------------------------- lociweaver-maps on whole runs

// The number after each blank-separated word of text, from a line that
// starts with the prefix on, until a line that is no list of numbers.
std::vector<double> numbersafter(const std::string& text, const std::string& prefix)
{
    std::vector<double> out;
    bool on = false;
    for (const std::string& l : splitlines(text, false)) {
        if (!on) {
            on = l.compare(0, prefix.size(), prefix) == 0;
            continue;
        }
        std::istringstream words(l);
        std::vector<double> row;
        for (double v; words >> v;) row.push_back(v);
        if (row.empty() && !out.empty()) break;
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// A PCNM run of lociweaver and the same sites and limit given to
// lociweaver-maps.
struct identityrun {
    const char* name;
    std::string answers;
    std::vector<std::vector<double>> sites;  // written to c.txt when the answers read it
    std::vector<std::string> args;           // of lociweaver-maps
    double limit;
};

// Sites: X and Y of the grid of nx by ny points of the given spacing, X
// fastest; with every third point repeated after them when twice.
std::vector<std::vector<double>> gridsites(int nx, int ny, double spacing, bool twice)
{
    std::vector<std::vector<double>> xy;
    for (int i = 0; i < nx * ny; ++i) xy.push_back({(i % nx + 1) * spacing, (i / nx + 1) * spacing});
    for (int i = 0; twice && i < nx * ny; i += 3) xy.push_back(xy[size_t(i)]);
    return xy;
}

// The 40 main sites of the shipped example, without its supplementary ones.
std::vector<std::vector<double>> examplesites()
{
    std::istringstream in(slurp(std::string(LW_CASES) + "/../../examples/sites.txt"));
    std::string l;
    std::getline(in, l);
    std::vector<std::vector<double>> xy;
    for (double x, y; xy.size() < 40 && in >> x >> y && std::getline(in, l);) xy.push_back({x, y});
    return xy;
}

// For a PCNM run without supplementary objects, the Moran's I of variable k
// over the weights of the run is (n / S0) (lambda_k - 8 t^2) / (8 t^2): the
// Gower-centred truncated matrix is 8 t^2 (W + I) on centred vectors.
TEST(maps, moransiagreeswiththeeigenvaluesofwholeruns)
{
    if (!target.name.empty()) GTEST_SKIP() << "whole runs of lociweaver-maps are checked on the native build";
    const identityrun runs[] = {
        {"the shipped example's 40 main sites, Canoco file", "e.txt\nv.txt\n3\n3\nc.txt\n1\n40\ngo\n", examplesites(),
         {"--limit", "40", "c.txt", "v.txt", "p.svg"}, 40},
        {"grid of 20 by 25 saved to Grid.txt, one line per object", "e.txt\nv.txt\n1\n2\n20 25\n1\n1\n1\ngo\n",
         gridsites(20, 25, 1, false), {"Grid.txt", "v.txt", "p.svg"}, 1},
        {"transect of 60, folded lines", "e.txt\nv.txt\n2\n1\n60\n1\n3\ngo\n", {}, {"--limit", "3", "transect:60", "v.txt", "p.svg"}, 3},
        {"sites at one place", "e.txt\nv.txt\n2\n3\nc.txt\n1\n10\ngo\n", gridsites(6, 5, 10, true),
         {"--limit", "10", "c.txt", "v.txt", "p.svg"}, 10},
    };
    for (const identityrun& r : runs) {
        SCOPED_TRACE(r.name);
        scratch s;
        std::vector<std::vector<double>> xy = r.sites;
        if (xy.empty())
            for (int i = 1; i <= 60; ++i) xy.push_back({double(i)});
        if (r.answers.find("c.txt") != std::string::npos) {
            std::string text = std::to_string(xy.size()) + " 2 0\n";
            for (const auto& p : xy) text += std::to_string(p[0]) + " " + std::to_string(p[1]) + "\n";
            spit(s.work + "/c.txt", text);
        }
        outcome run = runprogram(s, "lociweaver", {}, r.answers);
        ASSERT_EQ(run.status, 0) << run.err;
        outcome maps = runprogram(s, "lociweaver-maps", r.args, "");
        ASSERT_EQ(maps.status, 0) << maps.err;

        // The weights from the sites: ranged as the run ranges them.
        const int n = int(xy.size()), nc = int(xy[0].size());
        double rangmax = 0;
        std::vector<double> lo(size_t(nc), 1e300);
        for (int c = 0; c < nc; ++c) {
            double hi = -1e300;
            for (const auto& p : xy) lo[size_t(c)] = std::min(lo[size_t(c)], p[size_t(c)]), hi = std::max(hi, p[size_t(c)]);
            rangmax = std::max(rangmax, hi - lo[size_t(c)]);
        }
        rangmax = rangmax * double(0.1f);
        const double t = r.limit / rangmax + double(1.0e-10f);
        double s0 = 0;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double sum = 0;
                for (int c = 0; c < nc; ++c) {
                    double e = (xy[size_t(i)][size_t(c)] - lo[size_t(c)]) / rangmax -
                               (xy[size_t(j)][size_t(c)] - lo[size_t(c)]) / rangmax;
                    sum = sum + e * e;
                }
                double d = std::sqrt(sum);
                if (i != j && !(d > t)) s0 += 1 - (d / (4 * t)) * (d / (4 * t));
            }
        std::vector<double> eig = numbersafter(slurp(s.work + "/e.txt"), " Eigenvalues of the PCoA:");
        std::vector<std::string> rows;
        for (const std::string& l : splitlines(maps.out, false))
            if (l.compare(0, 6, "     K") != 0 && l[0] == ' ') rows.push_back(l);
        ASSERT_GT(rows.size(), 0u);
        ASSERT_GE(eig.size(), rows.size());
        for (size_t k = 0; k < rows.size(); ++k) {
            std::istringstream words(rows[k]);
            double number, moran;
            words >> number >> moran;
            double want = n / s0 * (eig[k] - 8 * t * t) / (8 * t * t);
            EXPECT_NEAR(moran, want, 1e-5) << "variable " << k + 1;
        }
    }
}

// The first program of the names found on the PATH, or "".
std::string onpath(std::initializer_list<const char*> names)
{
    std::istringstream dirs(env("PATH"));
    for (const char* name : names)
        for (std::string d; std::getline(dirs, d, ':');)
            if (::access((d + "/" + name).c_str(), X_OK) == 0) return d + "/" + name;
    return "";
}

// A PNG image: its size and its pixels as grey levels (8-bit RGB or RGBA,
// not interlaced); width 0 when it is not such an image.
struct image {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> grey;
};

image readpng(const std::string& png)
{
    image im;
    auto be = [&](size_t at) {
        return unsigned(uint8_t(png[at])) << 24 | unsigned(uint8_t(png[at + 1])) << 16 |
               unsigned(uint8_t(png[at + 2])) << 8 | unsigned(uint8_t(png[at + 3]));
    };
    std::string idat;
    int channels = 0;
    for (size_t at = 8; at + 8 <= png.size();) {
        unsigned len = be(at);
        std::string type = png.substr(at + 4, 4);
        if (type == "IHDR" && png[at + 16] == 8 && png[at + 20] == 0) {
            im.width = be(at + 8);
            im.height = be(at + 12);
            channels = png[at + 17] == 6 ? 4 : png[at + 17] == 2 ? 3 : 0;
        }
        if (type == "IDAT") idat += png.substr(at + 8, len);
        at += 12 + len;
    }
    const size_t stride = size_t(im.width) * size_t(channels);
    std::vector<unsigned char> raw((stride + 1) * im.height);
    uLongf got = uLongf(raw.size());
    if (channels == 0 || uncompress(raw.data(), &got, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
        got != raw.size())
        return image{};
    // Undo each row's filter, then average the colours.
    std::vector<unsigned char> cur(stride), prev(stride, 0);
    for (unsigned y = 0; y < im.height; ++y) {
        const unsigned char* row = &raw[y * (stride + 1)];
        for (size_t x = 0; x < stride; ++x) {
            int a = x >= size_t(channels) ? cur[x - size_t(channels)] : 0, b = prev[x],
                c = x >= size_t(channels) ? prev[x - size_t(channels)] : 0, p = a + b - c;
            int pred[] = {0, a, b, (a + b) / 2,
                          std::abs(p - a) <= std::abs(p - b) && std::abs(p - a) <= std::abs(p - c) ? a
                          : std::abs(p - b) <= std::abs(p - c)                                    ? b
                                                                                                   : c};
            cur[x] = (unsigned char)(row[1 + x] + pred[row[0] % 5]);
        }
        for (unsigned x = 0; x < im.width; ++x)
            im.grey.push_back((unsigned char)((cur[x * channels] + cur[x * channels + 1] + cur[x * channels + 2]) / 3));
        prev = cur;
    }
    return im;
}

// A real browser draws the picture of the shipped example: an image of the
// size the picture states, with its black discs and white ground.
TEST(maps, abrowserrendersthepicture)
{
    if (!target.name.empty()) GTEST_SKIP() << "the picture is rendered from the native build";
    std::string chromium = onpath({"chromium", "chromium-browser"});
    if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (tools/install-deps test)";
    scratch s;
    fs::copy(std::string(LW_CASES) + "/../../examples", s.root + "/examples", fs::copy_options::recursive);
    ASSERT_EQ(runprogram(s, "lociweaver", {}, slurp(s.root + "/examples/answers.txt")).status, 0);
    outcome maps = runprogram(s, "lociweaver-maps", {"../examples/sites.txt", "pcnm.txt", "p.svg"}, "");
    ASSERT_EQ(maps.status, 0) << maps.err;
    std::string svg = slurp(s.work + "/p.svg");
    std::smatch size;
    ASSERT_TRUE(std::regex_search(svg, size, std::regex("<svg [^>]*width=\"([0-9]+)\" height=\"([0-9]+)\"")));
    const std::string command = "cd '" + s.root + "' && timeout " + std::to_string(hangguard) + " '" + chromium +
                                "' --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                                " --disable-background-networking --disable-component-update --disable-sync"
                                " --hide-scrollbars --user-data-dir=profile --window-size=" +
                                size[1].str() + "," + size[2].str() +
                                " --screenshot=shot.png file://" + s.work + "/p.svg > chromium.log 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_EQ(status, 0) << (WIFEXITED(status) && WEXITSTATUS(status) == 124 ? hangreport("chromium") + "\n" : "")
                         << slurp(s.root + "/chromium.log");
    image im = readpng(slurp(s.root + "/shot.png"));
    EXPECT_EQ(im.width, unsigned(std::stoi(size[1].str())));
    EXPECT_EQ(im.height, unsigned(std::stoi(size[2].str())));
    size_t dark = 0, white = 0;
    for (unsigned char g : im.grey) dark += g < 64, white += g > 250;
    EXPECT_GT(dark, im.grey.size() / 100) << "hardly anything black";
    EXPECT_GT(white, im.grey.size() / 2) << "no white ground";
}

// ---------------------------------------------------------------- lociweaver-vars on whole runs

// A coordinates file of n main and nsup supplementary sites, X and Y drawn
// in [0, 100) from the seed.
std::string randomsites(int n, int nsup, unsigned seed)
{
    std::mt19937 g(seed);
    std::string text = std::to_string(n) + " 2 " + std::to_string(nsup) + "\n";
    char b[64];
    for (int i = 0; i < n + nsup; ++i) {
        double x = std::generate_canonical<double, 32>(g) * 100, y = std::generate_canonical<double, 32>(g) * 100;
        std::snprintf(b, sizeof b, "%.4f %.4f\n", x, y);
        text += b;
    }
    return text;
}

// The dialogue's report from its construction section on: from the empty
// line before the PCNM heading (a run whose first limit is accepted).
std::string recordof(const std::string& report)
{
    size_t at = report.find("\n Matrix of PCNM spatial variables\n");
    return at == std::string::npos ? "(no PCNM section)" : report.substr(at);
}

// The same sites and limit given to the dialogue (lociweaver-large, the
// answers on its console) and to lociweaver-vars, in each of the three
// layouts: the same file of variables, byte for byte, and as record the
// dialogue's report from the construction on.  The tree's limit is the
// answer lociweaver-threshold gives, typed into the dialogue.
TEST(vars, thesamefilesasthedialogue)
{
    if (!target.name.empty()) GTEST_SKIP() << "whole runs of lociweaver-vars are checked on the native build";
    const struct {
        const char* what;
        std::string sites;
    } runs[] = {
        {"60 main and 7 supplementary sites", randomsites(60, 7, 20261208)},
        {"120 main sites", randomsites(120, 0, 1208)},
    };
    for (const auto& r : runs) {
        scratch t;
        spit(t.work + "/c.txt", r.sites);
        outcome tree = runprogram(t, "lociweaver-threshold", {"c.txt"}, "");
        ASSERT_EQ(tree.status, 0) << tree.err;
        const std::string tag = "Answer to the truncation question: ";
        const size_t at = tree.out.find(tag);
        ASSERT_NE(at, std::string::npos) << tree.out;
        const std::string mst = tree.out.substr(at + tag.size(), tree.out.find('\n', at) - at - tag.size());
        for (const char* limit : {"mst", "30"}) {
            const std::string answer = std::strcmp(limit, "mst") == 0 ? mst : limit;
            for (const char* layout : {"1", "2", "3"}) {
                SCOPED_TRACE(std::string(r.what) + ", limit " + limit + " (" + answer + "), layout " + layout);
                scratch d, v;
                spit(d.work + "/c.txt", r.sites);
                spit(v.work + "/c.txt", r.sites);
                outcome dialogue = runprogram(
                    d, "lociweaver-large", {},
                    "r.txt\nv.txt\n" + std::string(layout) + "\n3\nc.txt\n1\n" + answer + "\ngo\n");
                ASSERT_EQ(dialogue.status, 0) << dialogue.err;
                ASSERT_EQ(dialogue.out.find("Choose a lower"), std::string::npos) << "the limit is refused";
                outcome vars = runprogram(
                    v, "lociweaver-vars", {"--limit", limit, "--layout", layout, "--report", "r.txt", "c.txt", "v.txt"},
                    "");
                ASSERT_EQ(vars.status, 0) << vars.err;
                const std::string want = slurp(d.work + "/v.txt");
                EXPECT_NE(want, "");
                EXPECT_TRUE(want == slurp(v.work + "/v.txt")) << "the variables differ";
                EXPECT_EQ(compare(recordof(slurp(d.work + "/r.txt")), slurp(v.work + "/r.txt")), "");
            }
        }
    }
}

// The numbers of a CSV table of lociweaver-vars, row by row: every field
// after the label of each line after the header.
std::vector<std::vector<double>> csvrows(const std::string& text)
{
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        rows.emplace_back();
        std::istringstream f(line.substr(line.find(',') + 1));
        for (std::string v; std::getline(f, v, ',');) rows.back().push_back(std::stod(v));
    }
    return rows;
}

// New sites placed in the analysis (--new) at the places of the main
// sites, the supplementary ones among them too, after the whole analysis
// and after --first: the variables of those sites, standardised alike, to
// the solver's residuals; an existing NEWOUTPUT refused, nothing written.
TEST(vars, newsitesattheirplaces)
{
    if (!target.name.empty()) GTEST_SKIP() << "whole runs of lociweaver-vars are checked on the native build";
    const std::string sites = randomsites(60, 7, 31);
    std::string places = "60 2 0\n";
    for (size_t at = sites.find('\n') + 1, k = 0; k < 60; ++k) {
        size_t end = sites.find('\n', at) + 1;
        places += sites.substr(at, end - at);
        at = end;
    }
    for (std::vector<std::string> args : {std::vector<std::string>{}, {"--first", "12"}}) {
        scratch t;
        spit(t.work + "/c.txt", sites);
        spit(t.work + "/p.txt", places);
        for (const char* a : {"--limit", "30", "--new", "p.txt", "n.csv", "c.txt", "v.csv"}) args.push_back(a);
        outcome run = runprogram(t, "lociweaver-vars", args, "");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("The variables of 60 new sites written to n.csv\n"), std::string::npos) << run.out;
        const std::string vtext = slurp(t.work + "/v.csv"), ntext = slurp(t.work + "/n.csv");
        EXPECT_EQ(vtext.substr(0, vtext.find('\n')), ntext.substr(0, ntext.find('\n')));
        auto v = csvrows(vtext), n = csvrows(ntext);
        ASSERT_EQ(v.size(), 60u);
        ASSERT_EQ(n.size(), 60u);
        for (size_t i = 0; i < 60; ++i) {
            ASSERT_EQ(n[i].size(), v[i].size()) << i;
            for (size_t j = 0; j < v[i].size(); ++j) EXPECT_NEAR(n[i][j], v[i][j], 1e-6) << i << " " << j;
        }
    }

    // With --layout, NEWOUTPUT is in the layout too: the same numbers, to
    // the layout's decimals, as OUTPUT's at the same places.
    for (const char* layout : {"1", "2"}) {
        scratch t;
        spit(t.work + "/c.txt", sites);
        spit(t.work + "/p.txt", places);
        outcome run = runprogram(t, "lociweaver-vars",
                                 {"--limit", "30", "--layout", layout, "--new", "p.txt", "n.txt", "c.txt", "v.txt"}, "");
        ASSERT_EQ(run.status, 0) << run.err;
        std::istringstream v(slurp(t.work + "/v.txt")), n(slurp(t.work + "/n.txt"));
        std::vector<double> vs, ns;
        for (double x; v >> x;) vs.push_back(x);
        for (double x; n >> x;) ns.push_back(x);
        ASSERT_GT(vs.size(), 60u) << layout;
        ASSERT_EQ(ns.size(), vs.size()) << layout;
        for (size_t i = 0; i < vs.size(); ++i) EXPECT_NEAR(ns[i], vs[i], 2e-6) << layout << " " << i;
    }

    scratch e;
    spit(e.work + "/c.txt", sites);
    spit(e.work + "/p.txt", places);
    spit(e.work + "/n.csv", "kept\n");
    outcome refused = runprogram(e, "lociweaver-vars", {"--new", "p.txt", "n.csv", "c.txt", "v.csv"}, "");
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "lociweaver-vars: n.csv: exists: an output file is never overwritten (--force replaces it)\n");
    EXPECT_EQ(slurp(e.work + "/n.csv"), "kept\n");
    EXPECT_FALSE(std::ifstream(e.work + "/v.csv").good());
}

// --first K: the leading variables, from the pairs within the limit alone,
// agree with those of the whole analysis (eigenvalues and, after their
// signs, the variables), and their Moran's I; the options that need the
// whole analysis are refused.
TEST(vars, firstagreeswithall)
{
    if (!target.name.empty()) GTEST_SKIP() << "whole runs of lociweaver-vars are checked on the native build";
    scratch t;
    spit(t.work + "/c.txt", randomsites(200, 0, 8));
    outcome all = runprogram(t, "lociweaver-vars", {"--limit", "30", "--moran", "am.csv", "c.txt", "a.csv"}, "");
    ASSERT_EQ(all.status, 0) << all.err;
    outcome first =
        runprogram(t, "lociweaver-vars", {"--first", "8", "--limit", "30", "--moran", "fm.csv", "c.txt", "f.csv"}, "");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("8 PCNM variables of 200 main sites written to f.csv"), std::string::npos) << first.out;
    auto a = csvrows(slurp(t.work + "/a.csv")), f = csvrows(slurp(t.work + "/f.csv"));
    auto am = csvrows(slurp(t.work + "/am.csv")), fm = csvrows(slurp(t.work + "/fm.csv"));
    ASSERT_EQ(f.size(), 200u);
    ASSERT_EQ(fm.size(), 8u);
    for (size_t j = 0; j < 8; ++j) {
        EXPECT_NEAR(fm[j][0], am[j][0], 1e-9 * am[0][0]) << "eigenvalue " << j + 1;
        EXPECT_NEAR(fm[j][1], am[j][1], 1e-6) << "Moran's I " << j + 1;
        double dot = 0;
        for (size_t i = 0; i < 200; ++i) dot += a[i][j] * f[i][j];
        const double sign = dot < 0 ? -1 : 1;
        for (size_t i = 0; i < 200; ++i) EXPECT_NEAR(f[i][j], sign * a[i][j], 1e-6) << i << " " << j;
    }
    const struct {
        std::vector<std::string> args;
        std::string err;
    } refusals[] = {
        {{"--first", "8", "--layout", "1", "c.txt", "x.txt"},
         "lociweaver-vars: --first: the leading variables are written as a CSV table\n"},
        {{"--first", "8", "--polynomial", "2", "c.txt", "x.txt"},
         "lociweaver-vars: --first: the leading variables are PCNM variables\n"},
        {{"--first", "0", "c.txt", "x.txt"}, "lociweaver-vars: --first: must be a whole number from 1 to 100000\n"},
    };
    for (const auto& r : refusals) {
        outcome o = runprogram(t, "lociweaver-vars", r.args, "");
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.err, r.err);
    }
    EXPECT_FALSE(std::ifstream(t.work + "/x.txt").good());
}

// Longitude and latitude (--lonlat): a table and the same sites as a
// coordinates file give the same variables; the run says that the
// distances are geodesic, the tree's limit is in km, new sites at the
// places of the sites (their longitudes written east of 180) get their
// variables; a value outside its range, or no number, is refused with its
// file, line and column, nothing written.
TEST(vars, longitudeandlatitude)
{
    if (!target.name.empty()) GTEST_SKIP() << "whole runs of lociweaver-vars are checked on the native build";
    scratch probe;
    spit(probe.work + "/c.txt", "1 2 0\n0 0\n");
    outcome can = runprogram(probe, "lociweaver-vars", {"--lonlat", "1,2", "c.txt", "v.csv"}, "");
    if (can.status != 0 && can.err.find("GeographicLib") != std::string::npos) {
        EXPECT_EQ(can.err, "lociweaver-vars: --lonlat: this build has no geodesic distances (GeographicLib): "
                           "longitude and latitude cannot be used\n");
        GTEST_SKIP() << "this build has no GeographicLib";
    }

    // 40 sites across 180 degrees, some near the pole.
    std::string table = "site,lat,lon\n", file = "40 2 0\n", east = "site,lat,lon\n";
    char b[96];
    for (int i = 0; i < 40; ++i) {
        double lon = 175 + 10 * ((i * 0.6180339887498949) - std::floor(i * 0.6180339887498949)), lat = -5 + 2.3 * i;
        double west = lon > 180 ? lon - 360 : lon;
        std::snprintf(b, sizeof b, "s%d,%.6f,%.6f\n", i + 1, lat, west);
        table += b;
        std::snprintf(b, sizeof b, "%.6f %.6f\n", west, lat);
        file += b;
        std::snprintf(b, sizeof b, "s%d,%.6f,%.6f\n", i + 1, lat, lon);
        east += b;
    }
    scratch t;
    spit(t.work + "/s.csv", table);
    spit(t.work + "/s.txt", file);
    spit(t.work + "/e.csv", east);
    outcome run = runprogram(t, "lociweaver-vars",
                             {"--lonlat", "lon,lat", "--id", "site", "--report", "r.txt", "--new", "e.csv", "n.csv",
                              "s.csv", "v.csv"},
                             "");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("Distances: geodesic on the WGS84 ellipsoid, in km\nLimit "), 0u) << run.out;
    EXPECT_NE(run.out.find(" km (the longest edge of the minimum spanning tree)\n"), std::string::npos) << run.out;
    EXPECT_NE(slurp(t.work + "/r.txt").find("    Distances: geodesic on the WGS84 ellipsoid, in km"), std::string::npos);
    outcome plain = runprogram(t, "lociweaver-vars", {"--lonlat", "1,2", "s.txt", "p.csv"}, "");
    ASSERT_EQ(plain.status, 0) << plain.err;
    auto v = csvrows(slurp(t.work + "/v.csv")), p = csvrows(slurp(t.work + "/p.csv")), n = csvrows(slurp(t.work + "/n.csv"));
    ASSERT_EQ(v.size(), 40u);
    ASSERT_EQ(p, v);
    ASSERT_EQ(n.size(), 40u);
    for (size_t i = 0; i < 40; ++i)
        for (size_t j = 0; j < v[i].size(); ++j) EXPECT_NEAR(n[i][j], v[i][j], 1e-6 * (1 + std::fabs(v[i][j]))) << i << " " << j;

    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> args;
        std::string err;
    } refusals[] = {
        {"b.csv", "site,lon,lat\na,1,2\nb,2,91\n", {"--lonlat", "lon,lat"},
         "b.csv, line 3, column \"lat\" (3): \"91\" is not a latitude: a latitude lies from -90 to 90 degrees"},
        {"b.csv", "site,lon,lat\na,-181,2\nb,2,1\n", {"--lonlat", "lon,lat"},
         "b.csv, line 2, column \"lon\" (2): \"-181\" is not a longitude: a longitude lies from -180 to 360 degrees"},
        {"b.csv", "lat;lon\n1;2\n2;361\n", {"--lonlat", "lon,lat"},
         "b.csv, line 3, column \"lon\" (2): \"361\" is not a longitude: a longitude lies from -180 to 360 degrees"},
        {"b.csv", "site,lon,lat\na,1,2\nb,NaN,1\n", {"--lonlat", "lon,lat"},
         "b.csv, line 3, column \"lon\" (2): \"NaN\" is not a number"},
        {"b.txt", "3 2 0\n1 2\n2 91\n3 4\n", {"--lonlat", "1,2"},
         "b.txt, line 3, column 2 (latitude): 91 is not a latitude: a latitude lies from -90 to 90 degrees"},
        {"b.txt", "3 2 0\n1 2\n3\n-181\n3 4\n", {"--lonlat", "1,2"},
         "b.txt, line 4, column 2 (latitude): -181 is not a latitude: a latitude lies from -90 to 90 degrees"},
        {"b.txt", "3 2 0\n1 2\n361 1\n3 4\n", {"--lonlat", "1,2"},
         "b.txt, line 3, column 1 (longitude): 361 is not a longitude: a longitude lies from -180 to 360 degrees"},
        {"b.txt", "3 3 0\n1 2 3\n4 5 6\n7 8 9\n", {"--lonlat", "1,2"},
         "b.txt: 3 coordinates, where --lonlat 1,2 reads a longitude and a latitude"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.text);
        scratch e;
        spit(e.work + "/" + r.name, r.text);
        std::vector<std::string> args = r.args;
        args.push_back(r.name);
        args.push_back("v.csv");
        outcome o = runprogram(e, "lociweaver-vars", args, "");
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.err, "lociweaver-vars: " + r.err + "\n");
        EXPECT_FALSE(std::ifstream(e.work + "/v.csv").good());
    }
}

}  // namespace
