// Reading the sites (a design, a coordinates file, a Grid.txt) and the
// spatial-variable file in its three layouts or as lociweaver-vars's CSV
// table.
#include <charconv>
#include <cstring>
#include <string>

#include "maps.h"
#include "sites/sites.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

// The whole text [p, e) as a positive int; false otherwise.
bool count(const char* p, const char* e, int& v)
{
    std::from_chars_result r = std::from_chars(p, e, v);
    return r.ec == std::errc() && r.ptr == e && v > 0;
}

// The blank-, tab- or comma-separated words of a line.
std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    size_t a = 0;
    while ((a = line.find_first_not_of(" \t,", a)) != std::string::npos) {
        size_t e = line.find_first_of(" \t,", a);
        if (e == std::string::npos) e = line.size();
        out.push_back(line.substr(a, e - a));
        a = e;
    }
    return out;
}

// The word as a number, read as the run reads it; false when it is none.
bool number(const std::string& w, double& v)
{
    return !w.empty() && ostodouble(w.data(), w.data() + w.size(), v);
}

// The line without its trailing blanks.
std::string trimmed(std::string line)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    return line;
}

// The comma-separated fields of a CSV line, a field in double quotes taken
// whole (a doubled quote in it one quote); false for an unclosed quote.
bool csvfields(const std::string& line, std::vector<std::string>& out)
{
    out.clear();
    size_t a = 0;
    for (;;) {
        std::string f;
        if (a < line.size() && line[a] == '"') {
            for (++a;; ++a) {
                if (a >= line.size()) return false;
                if (line[a] == '"') {
                    if (a + 1 < line.size() && line[a + 1] == '"') ++a;
                    else break;
                }
                f += line[a];
            }
            ++a;
            if (a < line.size() && line[a] != ',') return false;
        } else {
            size_t e = line.find(',', a);
            f = line.substr(a, (e == std::string::npos ? line.size() : e) - a);
            a = e == std::string::npos ? line.size() : e;
        }
        out.push_back(f);
        if (a >= line.size()) return true;
        ++a;
    }
}

// The CSV table of lociweaver-vars on file, its header line already in
// line: a label column, then a column per variable, a row per object; the
// variables' names become the labels.
void readcsv(stream& file, std::string line, variables& v)
{
    std::vector<std::string> f;
    if (!csvfields(trimmed(line), f) || f.size() < 2)
        throw refusal{"a CSV table of variables has a label column and a column per variable", file.lines};
    const int k = int(f.size()) - 1;
    v.k = k;
    v.labels.assign(f.begin() + 1, f.end());
    v.v.clear();
    v.n = 0;
    while (readline(file, line)) {
        line = trimmed(line);
        if (line.empty()) continue;
        if (!csvfields(line, f) || int(f.size()) != k + 1)
            throw refusal{"not a label and " + std::to_string(k) + " values, as the header's columns", file.lines};
        for (int j = 1; j <= k; ++j) {
            double x = 0;
            if (!number(f[size_t(j)], x))
                throw refusal{"value " + std::to_string(j) + " (\"" + f[size_t(j)] + "\") is not a number", file.lines};
            v.v.push_back(x);
        }
        if (static_cast<long long>(++v.n) * k > 100000000) throw refusal{"more than 100000000 values", file.lines};
    }
    if (v.n == 0) throw refusal{"a CSV table of variables without a row", file.lines};
}

// Whether the line holds m fields of width w, each with its decimal point
// where lociweaver writes it (five characters for the sign, the integer
// digits and the point, then w - 5 decimals).
bool fields(const std::string& line, int m, int w)
{
    if (line.size() != size_t(m) * size_t(w)) return false;
    for (int f = 0; f < m; ++f)
        if (line[size_t(f * w + 4)] != '.') return false;
    return true;
}

// Reads the next line of file into line; refuses at the end of the file.
void nextline(stream& file, std::string& line, const char* what)
{
    if (!readline(file, line))
        throw refusal{std::string("the file ends before ") + what, file.lines + 1};
    line = trimmed(line);
}

// Reads m values of width w from line into v.
void values(const std::string& line, int m, int w, double* v, long at)
{
    for (int f = 0; f < m; ++f) {
        const char* p = line.data() + size_t(f * w);
        const char* e = p + w;
        while (p < e && *p == ' ') ++p;
        if (p == e || !ostodouble(p, e, v[f]))
            throw refusal{"value " + std::to_string(f + 1) + " (\"" + line.substr(size_t(f * w), size_t(w)) +
                              "\") is not a number",
                          at};
    }
}

}  // namespace

bool designsites(const char* word, sites& s)
{
    const char* colon = std::strchr(word, ':');
    if (!colon) return false;
    std::string kind(word, colon);
    const char* p = colon + 1;
    const char* e = p + std::strlen(p);
    int nx = 0, ny = 1;
    if (kind == "transect") {
        if (!count(p, e, nx)) throw refusal{"a transect is written transect:N, N a positive whole number"};
        s.ncoord = 1;
    } else if (kind == "grid") {
        const char* comma = std::strchr(p, ',');
        if (!comma || !count(p, comma, nx) || !count(comma + 1, e, ny))
            throw refusal{"a grid is written grid:NX,NY, two positive whole numbers"};
        s.ncoord = 2;
    } else {
        return false;
    }
    if (static_cast<long long>(nx) * ny > 100000000)
        throw refusal{"the design holds more than 100000000 points"};
    s.n = nx * ny;
    s.nsup = 0;
    s.x.assign(size_t(s.n) * size_t(s.ncoord), 0.0);
    designpoints(nx, ny, s.ncoord, s.n, s.x.data());
    return true;
}

void readsites(stream& file, sites& s)
{
    note(file, dir_reading, nullptr);
    // Grid.txt: one record of two numbers with points per site; a
    // coordinates file starts with three whole numbers.
    std::string line;
    if (peekc(file) >= 0 && !words(file.line).empty() && words(file.line)[0].find('.') != std::string::npos) {
        s.ncoord = 2;
        s.nsup = 0;
        std::vector<double> xy;
        while (readline(file, line)) {
            std::vector<std::string> w = words(line);
            double a, b;
            if (w.size() != 2 || !number(w[0], a) || !number(w[1], b))
                throw refusal{"not a record of Grid.txt (two coordinates)", file.lines};
            xy.push_back(a);
            xy.push_back(b);
            s.lines.push_back(file.lines);
        }
        s.n = int(xy.size() / 2);
        s.x.resize(xy.size());
        for (int i = 0; i < s.n; ++i) {
            s.x[size_t(i)] = xy[size_t(2 * i)];
            s.x[size_t(s.n + i)] = xy[size_t(2 * i + 1)];
        }
        return;
    }
    const char* unusable = readheader(file, s.n, s.ncoord, s.nsup);
    if (unusable) throw refusal{unusable, file.lines};
    long long ntot = static_cast<long long>(s.n) + s.nsup;
    if (ntot > 100000000) throw refusal{"the file declares more than 100000000 objects", file.lines};
    s.x.assign(size_t(ntot) * size_t(s.ncoord), 0.0);
    s.lines.assign(size_t(ntot), 0);
    for (long long i = 0; i < ntot; ++i) {
        readgroups(file, 1, s.ncoord, int(ntot), s.x.data() + i);
        s.lines[size_t(i)] = file.lines;
    }
}

void readvars(stream& file, variables& v)
{
    note(file, dir_reading, nullptr);
    std::string line;
    nextline(file, line, "its header");
    std::vector<std::string> head = words(line);
    bool canoco = head.size() >= 2 && head[0] == "File" && head[1] == "of";
    int n = 0, k = 0;
    // A header of names, comma-separated: the CSV table of lociweaver-vars.
    if (!canoco && line.find(',') != std::string::npos && !head.empty() &&
        !count(head[0].data(), head[0].data() + head[0].size(), n)) {
        readcsv(file, line, v);
        return;
    }
    if (canoco) {
        nextline(file, line, "the word FREE");
        if (line != "FREE") throw refusal{"a Canoco file of lociweaver has FREE on its second line", file.lines};
        nextline(file, line, "the counts");
        head = words(line);
    }
    if (head.size() != 2 || !count(head[0].data(), head[0].data() + head[0].size(), n) ||
        !(count(head[1].data(), head[1].data() + head[1].size(), k) || head[1] == "0"))
        throw refusal{"not a spatial-variable file of lociweaver: no header of two counts, nor a "
                      "Canoco title, FREE and the counts",
                      file.lines};
    if (canoco) std::swap(n, k);
    if (static_cast<long long>(n) * k > 100000000)
        throw refusal{"more than 100000000 values", file.lines};
    v.n = n;
    v.k = k;
    v.v.assign(size_t(n) * size_t(k), 0.0);
    v.labels.clear();

    // The field width and the values of a line: the first value line tells
    // them (a layout-1 line holds all k values, a layout-2 line at most 12,
    // 11 or 10 of widths 10, 11 or 12).
    int w = 10, per = k;
    for (int i = 1; i <= n; ++i) {
        for (int at = 0; at < k; at += per) {
            nextline(file, line, ("the values of object " + std::to_string(i)).c_str());
            if (i == 1 && at == 0) {
                bool found = false;
                for (int cw = 10; cw <= 12 && !found; ++cw) {
                    int fold = cw == 11 ? 121 / cw : 120 / cw;
                    for (int cper : {fold < k ? fold : k, k})
                        if (!found && !(canoco && cper > fold) && fields(line, cper, cw)) {
                            found = true;
                            w = cw;
                            per = cper;
                        }
                }
                if (!found)
                    throw refusal{"not " + std::to_string(k) +
                                      " values in fields of 10, 11 or 12 characters as lociweaver writes them",
                                  file.lines};
            }
            int m = k - at < per ? k - at : per;
            if (line.size() != size_t(m) * size_t(w))
                throw refusal{"not " + std::to_string(m) + " values in fields of " + std::to_string(w) +
                                  " characters, as the lines before",
                              file.lines};
            values(line, m, w, &v.v[size_t(i - 1) * size_t(k) + size_t(at)], file.lines);
        }
        if (k == 0) nextline(file, line, ("the values of object " + std::to_string(i)).c_str());
    }
    if (canoco) {
        // Ten labels of 8 characters a line.
        while (int(v.labels.size()) < k) {
            nextline(file, line, "the labels of the variables");
            for (size_t a = 0; a < line.size() && int(v.labels.size()) < k; a += 8)
                v.labels.push_back(trimmed(line.substr(a, 8)));
        }
        return;
    }
    while (readline(file, line))
        if (!trimmed(line).empty())
            throw refusal{"more lines than the " + std::to_string(n) + " objects of the header", file.lines};
}
