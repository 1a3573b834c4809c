// End-to-end runs of the programs, one per case directory under tests/e2e:
//   answers          the console input
//   program          optional: the program to run (default lociweaver)
//   in/              optional: files placed in the working directory first
//   out/stdout, out/stderr, out/status   what the run must print and return
//   out/files/       every file the run must leave besides those of in/
//   out/unchecked    optional: names of files that must exist but whose
//                    content is not compared (one per line)
// Each run starts in a fresh temporary directory, in a new session (no
// controlling terminal).  Files of in/ must be left byte for byte as they
// were.  A "Computation time:" line matches any such line, since its value
// is the clock's.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
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

// Runs program in dir with stdin from the answers file, in a new session.
outcome runprogram(const std::string& program, const std::string& dir, const std::string& answers,
                   const std::string& capture)
{
    std::string outpath = capture + "/stdout", errpath = capture + "/stderr";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        int in = ::open(answers.c_str(), O_RDONLY);
        int out = ::open(outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
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
    o.out = slurp(outpath);
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
    char tmpl[] = "/tmp/lw-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string root = tmpl, work = root + "/work", capture = root;
    ::mkdir(work.c_str(), 0755);
    std::map<std::string, std::string> inputs;
    if (isdir(casedir + "/in")) {
        copytree(casedir + "/in", work);
        listfiles(casedir + "/in", "", inputs);
    }

    outcome o = runprogram(std::string(LW_BIN_DIR) + "/" + program, work, casedir + "/answers", capture);
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
                outcome o = runprogram(std::string(LW_BIN_DIR) + "/lociweaver", work,
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

}  // namespace
