// End-to-end runs of the programs, one per case directory under tests/e2e:
//   answers          the console input
//   program          optional: the program to run (default lociweaver)
//   args             optional: its command-line arguments, one a line
//   in/              optional: files placed in the working directory first
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
// coordinates files of 10^5 and 10^6 characters, and writes that fail.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const int timeout_seconds = 120;

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool isdir(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// Every regular file below dir, by path relative to it.
void listfiles(const std::string& dir, const std::string& rel, std::map<std::string, std::string>& out)
{
    for (const std::string& name : entries(dir)) {
        std::string path = dir + "/" + name;
        std::string r = rel.empty() ? name : rel + "/" + name;
        if (isdir(path))
            listfiles(path, r, out);
        else
            out[r] = slurp(path);
    }
}

void copytree(const std::string& from, const std::string& to)
{
    for (const std::string& name : entries(from)) {
        std::string src = from + "/" + name, dst = to + "/" + name;
        if (isdir(src)) {
            ::mkdir(dst.c_str(), 0755);
            copytree(src, dst);
        } else {
            std::ofstream(dst, std::ios::binary) << slurp(src);
        }
    }
}

void removetree(const std::string& path)
{
    if (isdir(path)) {
        for (const std::string& name : entries(path)) removetree(path + "/" + name);
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

// Lines equal, a computation-time line matching any other.
bool sameline(const std::string& want, const std::string& got)
{
    static const std::regex timeline(R"( Computation time: *[0-9]+\.[0-9][0-9] sec\.)");
    if (want == got) return true;
    return std::regex_match(want, timeline) && std::regex_match(got, timeline) &&
           want.size() == got.size();
}

// Empty when the texts agree; otherwise where they first differ.
std::string compare(const std::string& want, const std::string& got)
{
    size_t a = 0, b = 0;
    int line = 1;
    for (;;) {
        size_t ea = want.find('\n', a), eb = got.find('\n', b);
        std::string la = want.substr(a, ea == std::string::npos ? std::string::npos : ea - a);
        std::string lb = got.substr(b, eb == std::string::npos ? std::string::npos : eb - b);
        bool enda = ea == std::string::npos, endb = eb == std::string::npos;
        if (!sameline(la, lb) || enda != endb) {
            std::ostringstream s;
            s << "line " << line << ":\n  expected [" << la << "]" << (enda ? " (no line end)" : "")
              << "\n  actual   [" << lb << "]" << (endb ? " (no line end)" : "");
            return s.str();
        }
        if (enda) return "";
        a = ea + 1;
        b = eb + 1;
        ++line;
    }
}

struct outcome {
    std::string out, err;
    int status = -1;
    bool signalled = false, hung = false;
};

// Runs program with the arguments args in dir, with stdin from the answers
// file, in a new session; stdout goes to outdev instead of the capture when
// one is named.
outcome runprogram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& dir, const std::string& answers, const std::string& capture,
                   const char* outdev = nullptr)
{
    std::string outpath = outdev ? outdev : capture + "/stdout", errpath = capture + "/stderr";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        int in = ::open(answers.c_str(), O_RDONLY);
        int out = outdev ? ::open(outdev, O_WRONLY)
                         : ::open(outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    outcome o;
    int status = 0;
    for (int waited = 0;; ++waited) {
        pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid) break;
        if (waited >= timeout_seconds * 100) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            o.hung = true;
            break;
        }
        ::usleep(10000);
    }
    if (WIFEXITED(status)) o.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) o.signalled = true;
    o.out = outdev ? "" : slurp(outpath);
    o.err = slurp(errpath);
    return o;
}

std::vector<std::string> cases()
{
    std::vector<std::string> names;
    for (const std::string& name : entries(LW_CASES))
        if (isdir(std::string(LW_CASES) + "/" + name)) names.push_back(name);
    return names;
}

class transcript : public ::testing::TestWithParam<std::string> {};

TEST_P(transcript, matches)
{
    const std::string casedir = std::string(LW_CASES) + "/" + GetParam();
    std::string program = "lociweaver";
    if (exists(casedir + "/program")) {
        std::istringstream(slurp(casedir + "/program")) >> program;
    }
    std::vector<std::string> args;
    std::istringstream argfile(slurp(casedir + "/args"));
    for (std::string a; std::getline(argfile, a);) args.push_back(a);
    char tmpl[] = "/tmp/lw-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string root = tmpl, work = root + "/work", capture = root;
    ::mkdir(work.c_str(), 0755);
    std::map<std::string, std::string> inputs;
    if (isdir(casedir + "/in")) {
        copytree(casedir + "/in", work);
        listfiles(casedir + "/in", "", inputs);
    }

    outcome o = runprogram(std::string(LW_BIN_DIR) + "/" + program, args, work, casedir + "/answers",
                           capture);
    EXPECT_FALSE(o.hung) << "the run did not end";
    EXPECT_FALSE(o.signalled) << "the run ended by a signal";
    int want_status = std::atoi(slurp(casedir + "/out/status").c_str());
    EXPECT_EQ(o.status, want_status);
    std::string diff = compare(slurp(casedir + "/out/stdout"), o.out);
    EXPECT_EQ(diff, "") << "stdout differs at " << diff;
    diff = compare(slurp(casedir + "/out/stderr"), o.err);
    EXPECT_EQ(diff, "") << "stderr differs at " << diff;

    std::map<std::string, std::string> want = inputs, got;
    listfiles(casedir + "/out/files", "", want);
    listfiles(work, "", got);
    std::istringstream unchecked(slurp(casedir + "/out/unchecked"));
    for (std::string name; std::getline(unchecked, name);) {
        if (!got.count(name)) ADD_FAILURE() << "missing file " << name;
        got.erase(name);
    }
    for (const auto& f : want) {
        auto g = got.find(f.first);
        if (g == got.end()) {
            ADD_FAILURE() << "missing file " << f.first;
            continue;
        }
        diff = compare(f.second, g->second);
        EXPECT_EQ(diff, "") << f.first << " differs at " << diff;
    }
    for (const auto& g : got)
        if (!want.count(g.first)) ADD_FAILURE() << "unexpected file " << g.first;
    removetree(root);
}

INSTANTIATE_TEST_SUITE_P(e2e, transcript, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                             std::string n = p.param;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

// ---------------------------------------------------------------- end of input at every question

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

// The lines of text, each with its line end.
std::vector<std::string> splitlines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t a = 0;
    while (a < text.size()) {
        size_t e = text.find('\n', a);
        e = e == std::string::npos ? text.size() : e + 1;
        lines.push_back(text.substr(a, e - a));
        a = e;
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

// The console output up to the end of the question that reads answer k
// (counted from 0).
std::string uptoquestion(const std::string& out, int k)
{
    std::string got;
    int seen = 0;
    for (const std::string& line : splitlines(out)) {
        got += line;
        std::string bare = line.substr(0, line.size() - (line.back() == '\n' ? 1 : 0));
        for (const char* q : questionends)
            if (bare == q && seen++ == k) return got;
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

TEST(endofinput, ateveryquestion)
{
    for (const cutpath& path : cutpaths) {
        const std::string casedir = std::string(LW_CASES) + "/" + path.base;
        std::vector<std::string> answers = splitlines(slurp(casedir + "/answers"));
        const std::string fullout = slurp(casedir + "/out/stdout");
        const int last = int(answers.size()) - 1;
        for (const cutfile& f : path.files)
            ASSERT_EQ(f.lines.size(), answers.size()) << path.base << " " << f.name;
        for (int k = 0; k <= last; ++k) {
            // The last answer kept with its line end, or without it: the
            // next read then meets the end at its start.
            for (int cutend = 0; cutend < (k == 0 ? 1 : 2); ++cutend) {
                SCOPED_TRACE(std::string(path.base) + ", answers cut after line " +
                             std::to_string(k) + (cutend ? " without its line end" : ""));
                std::string input;
                for (int j = 0; j < k; ++j) input += answers[size_t(j)];
                if (cutend) input.pop_back();

                char tmpl[] = "/tmp/lw-cut-XXXXXX";
                ASSERT_NE(::mkdtemp(tmpl), nullptr);
                const std::string root = tmpl, work = root + "/work";
                ::mkdir(work.c_str(), 0755);
                std::map<std::string, std::string> want;
                if (isdir(casedir + "/in")) {
                    copytree(casedir + "/in", work);
                    listfiles(casedir + "/in", "", want);
                }
                std::ofstream(root + "/answers", std::ios::binary) << input;
                outcome o = runprogram(std::string(LW_BIN_DIR) + "/lociweaver", {}, work,
                                       root + "/answers", root);
                EXPECT_FALSE(o.hung);
                EXPECT_FALSE(o.signalled);

                std::string wantout, wanterr;
                int wantstatus;
                if (k < last) {
                    wantout = uptoquestion(fullout, k);
                    wanterr = std::string(cutend ? "read start" : "list in") +
                              ": end of file\n"
                              "apparent state: unit 5 (unnamed)\n"
                              "last format: list io\n"
                              "lately reading sequential formatted external IO\n";
                    wantstatus = 2;
                } else {
                    wantout = fullout;
                    wanterr =
                        "PAUSE   -- Press the RETURN key to terminate the program. statement executed\n"
                        "To resume execution, type go.  Other input will terminate the job.\n"
                        "STOP\n";
                    wantstatus = 0;
                }
                EXPECT_EQ(o.status, wantstatus);
                std::string diff = compare(wantout, o.out);
                EXPECT_EQ(diff, "") << "stdout differs at " << diff;
                diff = compare(wanterr, o.err);
                EXPECT_EQ(diff, "") << "stderr differs at " << diff;

                std::map<std::string, std::string> got;
                listfiles(work, "", got);
                for (const cutfile& f : path.files) {
                    int n = f.lines[size_t(k)];
                    if (n >= 0)
                        want[f.name] = firstlines(slurp(casedir + "/out/files/" + f.name), n);
                    if (n == -2 && !got.erase(f.name)) ADD_FAILURE() << "missing file " << f.name;
                }
                for (const auto& w : want) {
                    auto g = got.find(w.first);
                    if (g == got.end()) {
                        ADD_FAILURE() << "missing file " << w.first;
                        continue;
                    }
                    diff = compare(w.second, g->second);
                    EXPECT_EQ(diff, "") << w.first << " differs at " << diff;
                }
                for (const auto& g : got)
                    if (!want.count(g.first)) ADD_FAILURE() << "unexpected file " << g.first;
                removetree(root);
            }
        }
    }
}

// ---------------------------------------------------------------- hostile inputs too big to store

const int all = 1 << 30;  // every line of a file

// A case of tests/e2e run again with one answer line or one input file
// replaced.  What the run must leave is told from the base case: the first
// outlines lines of its stdout, its stderr unless err is given, its status
// unless status is given, and for each of files the first lines of the
// base's file (-1: the file must not exist); with no files listed, the
// base's files whole.  A renamed file is the base's file under another name.
struct hostile {
    std::string name;
    std::string base;
    int line = -1;
    std::string answer;
    std::string infile;
    std::string content;
    int outlines = all;
    std::string err;
    int status = -1;
    std::vector<std::pair<std::string, int>> files;
    std::string renamed, newname;
    bool unreadable = false;  // infile made unreadable
    const char* outdev = nullptr;
};

// The four lines of a failure report.
std::string failurereport(const std::string& what, const std::string& unit, const std::string& fmt,
                          const char* direction)
{
    return what + "\napparent state: unit " + unit + "\n" +
           (fmt.empty() ? "" : "last format: " + fmt + "\n") + "lately " + direction +
           " sequential formatted external IO\n";
}

// Runs h in work (a directory of root) and checks what it leaves.
void runhostile(const hostile& h, const std::string& root, const std::string& work)
{
    SCOPED_TRACE(h.name);
    const std::string casedir = std::string(LW_CASES) + "/" + h.base;
    std::map<std::string, std::string> want;
    if (isdir(casedir + "/in")) {
        copytree(casedir + "/in", work);
        listfiles(casedir + "/in", "", want);
    }
    if (!h.infile.empty()) {
        std::ofstream(work + "/" + h.infile, std::ios::binary) << h.content;
        want[h.infile] = h.content;
        if (h.unreadable) ::chmod((work + "/" + h.infile).c_str(), 0);
    }
    std::vector<std::string> answers = splitlines(slurp(casedir + "/answers"));
    if (h.line >= 0) answers[size_t(h.line)] = h.answer + "\n";
    std::string input;
    for (const std::string& a : answers) input += a;
    std::ofstream(root + "/answers", std::ios::binary) << input;

    outcome o = runprogram(std::string(LW_BIN_DIR) + "/lociweaver", {}, work, root + "/answers", root,
                           h.outdev);
    if (h.unreadable) ::chmod((work + "/" + h.infile).c_str(), 0644);
    EXPECT_FALSE(o.hung);
    EXPECT_FALSE(o.signalled);
    EXPECT_EQ(o.status, h.status >= 0 ? h.status : std::atoi(slurp(casedir + "/out/status").c_str()));
    if (!h.outdev) {
        std::string diff = compare(firstlines(slurp(casedir + "/out/stdout"), h.outlines), o.out);
        EXPECT_EQ(diff, "") << "stdout differs at " << diff;
    }
    std::string diff = compare(h.err.empty() ? slurp(casedir + "/out/stderr") : h.err, o.err);
    EXPECT_EQ(diff, "") << "stderr differs at " << diff;

    if (h.files.empty()) {
        listfiles(casedir + "/out/files", "", want);
    } else {
        for (const auto& f : h.files)
            if (f.second >= 0) want[f.first] = firstlines(slurp(casedir + "/out/files/" + f.first), f.second);
    }
    if (!h.renamed.empty()) {
        want[h.newname] = want[h.renamed];
        want.erase(h.renamed);
    }
    std::map<std::string, std::string> got;
    listfiles(work, "", got);
    for (const auto& w : want) {
        auto g = got.find(w.first);
        if (g == got.end()) {
            ADD_FAILURE() << "missing file " << w.first.substr(0, 100);
            continue;
        }
        diff = compare(w.second, g->second);
        EXPECT_EQ(diff, "") << w.first.substr(0, 100) << " differs at " << diff;
    }
    for (const auto& g : got)
        if (!want.count(g.first)) ADD_FAILURE() << "unexpected file " << g.first.substr(0, 100);
}

// Runs h in a fresh temporary directory.
void runhostile(const hostile& h)
{
    char tmpl[] = "/tmp/lw-hostile-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string root = tmpl, work = root + "/work";
    ::mkdir(work.c_str(), 0755);
    runhostile(h, root, work);
    removetree(root);
}

std::vector<hostile> hostiles()
{
    const std::string sites = "3 1 0\n1\n2\n3\n";
    std::vector<hostile> v;
    hostile h;

    // Answers of 10^5 characters, on a whole PCNM run of an 11-point transect
    // whose limit is 0 (pcnm_limit_zero): a name is cut to 79 characters,
    // trailing blanks dropped; numbers of 10^5 digits.
    h = hostile{};
    h.name = "report name of 10^5 characters is cut to 79";
    h.base = "pcnm_limit_zero";
    h.line = 0;
    h.answer = std::string(100000, 'a');
    h.renamed = "r.txt";
    h.newname = std::string(79, 'a');
    v.push_back(h);

    h = hostile{};
    h.name = "quoted name of 10^5 characters, blanks after the name";
    h.base = "pcnm_limit_zero";
    h.line = 1;
    h.answer = "'v.txt" + std::string(99993, ' ') + "'";
    v.push_back(h);

    h = hostile{};
    h.name = "layout answer of 10^5 digits, leading zeros";
    h.base = "pcnm_limit_zero";
    h.line = 2;
    h.answer = std::string(99999, '0') + "2";
    v.push_back(h);

    h = hostile{};
    h.name = "object count followed by 10^5 characters of junk";
    h.base = "pcnm_limit_zero";
    h.line = 4;
    h.answer = "11 " + std::string(99997, 'x');
    v.push_back(h);

    h = hostile{};
    h.name = "limit of 10^5 zero digits";
    h.base = "pcnm_limit_zero";
    h.line = 6;
    h.answer = std::string(100000, '0');
    v.push_back(h);

    h = hostile{};
    h.name = "limit of 10^5 digits that underflows to 0";
    h.base = "pcnm_limit_zero";
    h.line = 6;
    h.answer = "0." + std::string(99997, '0') + "1";
    v.push_back(h);

    h = hostile{};
    h.name = "layout answer of 10^5 nines";
    h.base = "pcnm_limit_zero";
    h.line = 2;
    h.answer = std::string(100000, '9');
    h.outlines = 18;
    h.err = failurereport("invalid integer: read unexpected character", "5 (unnamed)", "list io",
                          "reading");
    h.status = 2;
    h.files = {{"r.txt", 8}, {"v.txt", 0}};
    v.push_back(h);

    h = hostile{};
    h.name = "limit of 10^5 ones, beyond the largest double";
    h.base = "pcnm_limit_zero";
    h.line = 6;
    h.answer = std::string(100000, '1');
    h.outlines = 37;
    h.err = failurereport("invalid number: incomprehensible list input", "5 (unnamed)", "list io",
                          "reading");
    h.status = 2;
    h.files = {{"r.txt", 13}, {"v.txt", 0}};
    v.push_back(h);

    // Coordinates files and names, on the trace-mode read of three sites
    // 1, 2, 3 that ends at the method question (coords_one_coordinate).
    h = hostile{};
    h.name = "coordinates file name of 10^5 characters";
    h.base = "coords_one_coordinate";
    h.line = 4;
    h.answer = std::string(100000, 'c');
    h.outlines = 25;
    h.err = failurereport("open: No such file or directory", "2 named " + std::string(79, 'c'),
                          "list io", "reading");
    h.status = 2;
    h.files = {{"r.txt", 8}, {"v.txt", 0}};
    v.push_back(h);

    h = hostile{};
    h.name = "a label of 10^6 characters after a coordinate";
    h.base = "coords_one_coordinate";
    h.infile = "c.txt";
    h.content = "3 1 0\n1 " + std::string(1000000, 'x') + "\n2\n3\n";
    v.push_back(h);

    h = hostile{};
    h.name = "10^6 blanks and line ends before the header";
    h.base = "coords_one_coordinate";
    h.infile = "c.txt";
    for (int k = 0; k < 1000; ++k) h.content += std::string(999, ' ') + "\n";
    h.content += sites;
    v.push_back(h);

    h = hostile{};
    h.name = "the whole file one line of 10^6 characters, no line end";
    h.base = "coords_one_coordinate";
    h.infile = "c.txt";
    h.content = "3 1 0 1 2 3" + std::string(1000000 - 11, ' ');
    h.outlines = 26;
    h.err = failurereport("read start: end of file", "2 named c.txt", "list io", "reading");
    h.status = 2;
    h.files = {{"r.txt", 14}, {"v.txt", 0}};
    v.push_back(h);

    h.name = "the whole file one line of 10^6 characters and its line end";
    h.content.back() = '\n';
    h.err = failurereport("list in: end of file", "2 named c.txt", "list io", "reading");
    v.push_back(h);

    return v;
}

TEST(hostile, inputstoobigtostore)
{
    for (const hostile& h : hostiles()) runhostile(h);
}

TEST(hostile, unreadablecoordinatesfile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, whom file permissions do not stop from reading: the "
                        "unreadable coordinates file cannot be tested here (coords_not_a_directory "
                        "covers a coordinates file whose opening fails)";
    hostile h;
    h.name = "coordinates file without read permission";
    h.base = "coords_one_coordinate";
    h.infile = "c.txt";
    h.content = "3 1 0\n1\n2\n3\n";
    h.unreadable = true;
    h.outlines = 25;
    h.err = failurereport("open: Permission denied", "2 named c.txt", "list io", "reading");
    h.status = 2;
    h.files = {{"r.txt", 8}, {"v.txt", 0}};
    runhostile(h);
}

// ---------------------------------------------------------------- writes that fail

TEST(failedwrites, consoleoutputonafulldevice)
{
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "this machine has no /dev/full";
    // The console output is first written out before the first read; the
    // last statement was the free-form line of the question.
    hostile h;
    h.name = "stdout on /dev/full";
    h.base = "pcnm_limit_zero";
    h.outdev = "/dev/full";
    h.err = failurereport("write: No space left on device", "6 (unnamed)", "list io", "writing");
    h.status = 2;
    h.files = {{"r.txt", -1}, {"v.txt", -1}};
    runhostile(h);
}

// Mounts a file system of one 4096-byte page on dir; false when the
// machine does not allow it.
bool mountonepage(const std::string& dir, std::string& why)
{
    if (::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=4k,mode=0755") == 0)
        return true;
    why = std::strerror(errno);
    return false;
}

TEST(failedwrites, filesonafullfilesystem)
{
    // (1) The spatial-variable file of an 11-point transect (17 bytes) takes
    // the only page; the report file, first written out at the closing
    // pause, finds no room: it stays empty, the pause is never reached.
    // (2) Grid.txt of a 3 x 3 grid takes the page; the spatial-variable file
    // finds no room when it is closed after the writer's last record, and
    // neither does the report file at the end: two failure reports.
    hostile one;
    one.name = "report file on a full file system";
    one.base = "pcnm_limit_zero";
    one.err = failurereport("write: No space left on device", "7 named r.txt", "list io", "writing");
    one.status = 2;
    one.files = {{"r.txt", 0}, {"v.txt", all}};

    hostile two;
    two.name = "spatial-variable file on a full file system";
    two.base = "grid_saved_polynomial";
    two.outlines = 40;
    two.err = failurereport("write: No space left on device", "12 named v.txt", "(12F10.5)", "writing") +
              failurereport("write: No space left on device", "7 named r.txt", "(12F10.5)", "writing");
    two.status = 2;
    two.files = {{"r.txt", 0}, {"v.txt", 0}, {"Grid.txt", all}};

    for (const hostile* h : {&one, &two}) {
        char tmpl[] = "/tmp/lw-full-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        const std::string root = tmpl, work = root + "/work";
        ::mkdir(work.c_str(), 0755);
        std::string why;
        if (!mountonepage(work, why)) {
            removetree(root);
            GTEST_SKIP() << "a small file system cannot be mounted here (" << why
                         << "): the full-disk cases are not run";
        }
        runhostile(*h, root, work);
        ::umount2(work.c_str(), MNT_DETACH);
        removetree(root);
    }
}

}  // namespace
