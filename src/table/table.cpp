// The table reader: the header and its dialect, the fields of every row in
// one pass over the bytes, the numbers, labels and flags of the columns
// asked for, and the messages of what goes wrong.
#include "table.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <string_view>
#include <system_error>

#include "geo/lonlat.h"
#include "textio/os.h"

namespace {

// What went wrong, where: the physical line (0: none) and the 1-based
// column (0: none).  Thrown inside this file only.
struct failure {
    tablestatus status;
    long long line;
    size_t column;
    std::string text;
};

bool isdig(char c) { return c >= '0' && c <= '9'; }

// The text s as messages show it: between double quotes, a quote or a
// backslash escaped with a backslash, control bytes as \n, \r, \t or \xHH,
// and at most 40 bytes of it (cut at a character boundary), "..." marking
// the cut.
std::string shown(std::string_view s)
{
    const size_t most = 40;
    size_t n = s.size();
    bool cut = n > most;
    if (cut) {
        n = most;
        // Back to the start of a UTF-8 sequence.
        while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    }
    std::string out = "\"";
    for (size_t k = 0; k < n; ++k) {
        unsigned char c = static_cast<unsigned char>(s[k]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    out += cut ? "\"..." : "\"";
    return out;
}

std::string plural(size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The text of a number field [b, e) as a double in v.  comma: a decimal
// comma is accepted as well as a point.  Returns 0 when it is a number, 1
// when it is not, 2 when it is beyond the range of doubles.  scratch holds
// the text handed to the conversion when it must be rewritten.
int tonumber(const char* b, const char* e, bool comma, double& v, std::string& scratch)
{
    while (b < e && (*b == ' ' || *b == '\t')) ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t')) --e;
    const char* p = b;
    bool plus = false, neg = false;
    if (p < e && (*p == '+' || *p == '-')) {
        plus = *p == '+';
        neg = *p == '-';
        ++p;
    }
    const char* mant = p;
    const char* sep = nullptr;
    size_t nd = 0;
    while (p < e && isdig(*p)) ++p, ++nd;
    if (p < e && (*p == '.' || (comma && *p == ','))) {
        sep = p++;
        while (p < e && isdig(*p)) ++p, ++nd;
    }
    if (nd == 0) return 1;
    const char* mantend = p;
    const char* expdigits = nullptr;
    bool expneg = false;
    if (p < e && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < e && (*p == '+' || *p == '-')) expneg = *p++ == '-';
        expdigits = p;
        while (p < e && isdig(*p)) ++p;
        if (p == expdigits) return 1;
    }
    if (p != e) return 1;

    // The conversion takes no plus sign, and a point only.
    const char* s = plus ? b + 1 : b;
    bool ok;
    if (sep && *sep == ',') {
        scratch.assign(s, e);
        scratch[size_t(sep - s)] = '.';
        ok = ostodouble(scratch.data(), scratch.data() + scratch.size(), v);
    } else {
        ok = ostodouble(s, e, v);
    }
    if (ok) return 0;

    // Beyond the range: a zero when the value is below 1 (an underflow),
    // refused when it is above (an overflow).  The decimal exponent of the
    // first significant digit tells which.
    long long mag = 0;
    bool nonzero = false;
    long long before = sep ? sep - mant : mantend - mant;  // digits before the separator
    long long k = 0;
    for (const char* q = mant; q < mantend; ++q) {
        if (q == sep) continue;
        if (*q != '0') {
            nonzero = true;
            mag = before - 1 - k;
            break;
        }
        ++k;
    }
    if (!nonzero) {
        v = neg ? -0.0 : 0.0;
        return 0;
    }
    long long x = 0;
    if (expdigits)
        for (const char* q = expdigits; q < e && x < 1000000000000LL; ++q) x = x * 10 + (*q - '0');
    mag += expneg ? -x : x;
    if (mag >= 0) return 2;
    v = neg ? -0.0 : 0.0;
    return 0;
}

// A field as scanned: its text (between the quotes when quoted, blanks
// around it dropped), whether it holds doubled quotes, and its line.
struct field {
    const char* b = nullptr;
    size_t n = 0;
    bool escaped = false;
    long long line = 0;
};

enum ending { at_delim, at_lineend, at_eof };

// The bytes and the scanning position, for one delimiter.
struct scanner {
    const char* p;
    const char* end;
    long long line;
    char delim;
    bool stop[256];   // bytes that end an unquoted field
    bool qstop[256];  // bytes that stop the scan of a quoted one

    scanner(const char* from, const char* to, long long first, char d) : p(from), end(to), line(first), delim(d)
    {
        std::memset(stop, 0, sizeof stop);
        std::memset(qstop, 0, sizeof qstop);
        const unsigned char lf = '\n', cr = '\r', quote = '"';
        stop[static_cast<unsigned char>(d)] = stop[lf] = stop[cr] = stop[0] = true;
        qstop[quote] = qstop[lf] = qstop[cr] = qstop[0] = true;
    }

    bool blank(char c) const { return c == ' ' || (c == '\t' && delim != '\t'); }

    [[noreturn]] void nul(size_t column) const
    {
        throw failure{table_nul, line, column, "the line holds a NUL byte, which a text table never does"};
    }

    // Scans the field that starts at p, column number column (for the
    // messages), into f; moves past its delimiter or line end.
    ending scan(field& f, size_t column)
    {
        const char* q = p;
        while (q < end && blank(*q)) ++q;
        f.line = line;
        if (q < end && *q == '"') {
            const char* b = ++q;
            bool escaped = false;
            for (;;) {
                while (q < end && !qstop[static_cast<unsigned char>(*q)]) ++q;
                if (q == end)
                    throw failure{table_unclosedquote, f.line, column,
                                  "the quote that opens the field is never closed"};
                char c = *q;
                if (c == '"') {
                    if (q + 1 < end && q[1] == '"') {
                        escaped = true;
                        q += 2;
                        continue;
                    }
                    break;
                }
                if (c == 0) nul(column);
                ++line;
                if (c == '\r' && q + 1 < end && q[1] == '\n') ++q;
                ++q;
            }
            f.b = b;
            f.n = size_t(q - b);
            f.escaped = escaped;
            ++q;
            while (q < end && blank(*q)) ++q;
            if (q < end && *q != delim && *q != '\n' && *q != '\r') {
                if (*q == 0) nul(column);
                throw failure{table_badquote, line, column,
                              "characters follow the closing quote of the field"};
            }
        } else {
            const char* b = q;
            while (q < end && !stop[static_cast<unsigned char>(*q)]) ++q;
            if (q < end && *q == 0) nul(column);
            const char* e = q;
            while (e > b && blank(e[-1])) --e;
            f.b = b;
            f.n = size_t(e - b);
            f.escaped = false;
        }
        if (q == end) {
            p = q;
            return at_eof;
        }
        if (*q == delim) {
            p = q + 1;
            return at_delim;
        }
        if (*q == '\r' && q + 1 < end && q[1] == '\n') ++q;
        p = q + 1;
        ++line;
        return at_lineend;
    }
};

// The text of f, doubled quotes made single (in scratch when it has any).
std::string_view text(const field& f, std::string& scratch)
{
    if (!f.escaped) return std::string_view(f.b, f.n);
    scratch.clear();
    for (size_t k = 0; k < f.n; ++k) {
        scratch += f.b[k];
        if (f.b[k] == '"') ++k;
    }
    return scratch;
}

// Whether c is a blank or the delimiter d (0: any of the three).
bool blankordelim(char c, char d)
{
    return c == ' ' || c == '\t' || (d == 0 ? c == ',' || c == ';' : c == d);
}

// Whether [p, end) holds nothing but blanks, delimiters d and line ends.
bool allblank(const char* p, const char* end, char d)
{
    for (; p < end; ++p)
        if (!blankordelim(*p, d) && *p != '\n' && *p != '\r') return false;
    return true;
}

// Whether the line from p holds nothing but blanks and delimiters d; q
// then its end (the line end or the end of the bytes).
bool blankline(const char* p, const char* end, char d, const char*& q)
{
    while (p < end && blankordelim(*p, d)) ++p;
    q = p;
    return p == end || *p == '\n' || *p == '\r';
}

// A column asked for: its name, its role (0, 1, 2: a coordinate; 3: the
// label; 4: the flag) and its index in the header (from 0; -1 not found).
struct asked {
    std::string name;
    int role;
    long long index = -1;
    long long twice = -1;  // the index of a second column of that name
};

const int role_label = 3, role_flag = 4;

class reader {
public:
    reader(const char* data, size_t size, const std::string& name, const tablerequest& req)
        : data_(data), end_(data + size), name_(name), req_(req)
    {
    }

    // Reads the table into t; throws failure.
    void read(sitetable& t);

    // The message of f, with the location it names.
    std::string message(const failure& f) const;

private:
    const char* data_;
    const char* end_;
    const std::string& name_;
    const tablerequest& req_;
    const char* head_ = nullptr;  // the start of the header line
    bool headerok_ = false;       // the header was read: its names can be looked up
    char delim_ = ',';
    size_t nfields_ = 0;          // the header's fields
    std::vector<asked> asked_;
    std::string scratch_;     // a field's text with its doubled quotes made single
    std::string number_;      // a number's text as the conversion takes it

    // Scans the header with delimiter d, finding the columns asked for.
    // Returns the scanner, past the header.
    scanner header(char d);
    // The header's name of column k (from 1).
    std::string columnname(size_t k) const;
};

scanner reader::header(char d)
{
    scanner s(head_, end_, 1, d);
    for (asked& a : asked_) a.index = a.twice = -1;
    size_t k = 0;
    for (;;) {
        field f;
        ending e = s.scan(f, k + 1);
        std::string_view name = text(f, scratch_);
        for (asked& a : asked_)
            if (name == a.name) {
                if (a.index < 0)
                    a.index = (long long)k;
                else if (a.twice < 0)
                    a.twice = (long long)k;
            }
        ++k;
        if (e != at_delim) break;
    }
    nfields_ = k;
    return s;
}

std::string reader::columnname(size_t k) const
{
    scanner s(head_, end_, 1, delim_);
    std::string scratch;
    for (size_t i = 1;; ++i) {
        field f;
        ending e = s.scan(f, i);
        if (i == k) return std::string(text(f, scratch));
        if (e != at_delim) return std::string();
    }
}

std::string reader::message(const failure& f) const
{
    std::string out = name_;
    if (f.line > 0) out += (out.empty() ? "line " : ", line ") + std::to_string(f.line);
    if (f.column > 0) {
        out += out.empty() ? "column " : ", column ";
        if (headerok_ && f.column <= nfields_)
            out += shown(columnname(f.column)) + " (" + std::to_string(f.column) + ")";
        else
            out += std::to_string(f.column);
    }
    return out.empty() ? f.text : out + ": " + f.text;
}

void reader::read(sitetable& t)
{
    // The request.
    const size_t nc = req_.coords.size();
    if (nc < 1 || nc > 3)
        throw failure{table_badrequest, 0, 0,
                      plural(nc, "coordinate column is", "coordinate columns are") +
                          " asked for, where 1 to 3 can be read"};
    if (req_.lonlat && nc != 2)
        throw failure{table_badrequest, 0, 0, "longitude and latitude are two columns, not " + std::to_string(nc)};
    for (size_t j = 0; j < nc; ++j) asked_.push_back({req_.coords[j], int(j)});
    if (!req_.id.empty()) asked_.push_back({req_.id, role_label});
    if (!req_.supplementary.empty()) asked_.push_back({req_.supplementary, role_flag});
    for (size_t a = 0; a < asked_.size(); ++a) {
        if (asked_[a].name.empty()) throw failure{table_badrequest, 0, 0, "a column is asked for with an empty name"};
        for (size_t b = 0; b < a; ++b)
            if (asked_[a].name == asked_[b].name)
                throw failure{table_badrequest, 0, 0, "the column " + shown(asked_[a].name) + " is asked for twice"};
    }

    // The header line, after a byte-order mark.
    head_ = data_;
    if (end_ - head_ >= 3 && std::memcmp(head_, "\xEF\xBB\xBF", 3) == 0) head_ += 3;
    if (allblank(head_, end_, 0)) throw failure{table_empty, 0, 0, "no header line: the file is empty or blank"};
    const char* q;
    if (blankline(head_, end_, 0, q))
        throw failure{table_nocolumn, 1, 0, "the header line is blank, where the column names should be"};

    // The dialect: the first delimiter that finds every column asked for;
    // else the first that splits the header, whose missing column is told.
    const char delims[] = {'\t', ';', ','};
    int chosen = -1, splits = -1;
    for (int d = 0; d < 3 && chosen < 0; ++d) {
        try {
            header(delims[d]);
        } catch (const failure&) {
            continue;
        }
        bool all = true;
        for (const asked& a : asked_) all = all && a.index >= 0;
        if (all) chosen = d;
        if (splits < 0 && nfields_ > 1) splits = d;
    }
    if (chosen < 0) chosen = splits < 0 ? 2 : splits;
    delim_ = delims[chosen];
    scanner s = header(delim_);
    headerok_ = true;
    for (const asked& a : asked_) {
        if (a.index < 0) {
            std::string names;
            scanner h(head_, end_, 1, delim_);
            const size_t most = 20;
            for (size_t k = 0; k < nfields_ && k < most; ++k) {
                field f;
                h.scan(f, k + 1);
                names += (k == 0 ? "" : ", ") + shown(text(f, scratch_));
            }
            if (nfields_ > most) names += ", and " + std::to_string(nfields_ - most) + " more";
            throw failure{table_nocolumn, 1, 0,
                          "the header has no column " + shown(a.name) + "; its columns are " + names};
        }
        if (a.twice >= 0)
            throw failure{table_duplicatecolumn, 1, size_t(a.twice) + 1,
                          "the header names the column " + shown(a.name) + " twice, as columns " +
                              std::to_string(a.index + 1) + " and " + std::to_string(a.twice + 1)};
    }
    const bool comma = delim_ == ';';

    // The columns asked for in the order of the fields: each field of a row
    // is compared with the next of them only.
    std::vector<asked> order = asked_;
    for (size_t a = 1; a < order.size(); ++a)
        for (size_t b = a; b > 0 && order[b].index < order[b - 1].index; --b) std::swap(order[b], order[b - 1]);
    const size_t nasked = order.size();
    field slots[5];

    std::vector<double> cols[3];
    const bool haslabels = !req_.id.empty(), hasflags = !req_.supplementary.empty();
    size_t rows = 0;

    // Open addressing over the labels, at most half full: each slot holds
    // a row (the low 40 bits) and the top 24 bits of its label's hash, so
    // that a label is compared only when those agree.  Sized at the start
    // for the lines that follow the header (but never above the size of the
    // table itself), it is grown, and filled again, when rows exceed that.
    const uint64_t none = UINT64_MAX, rowbits = (uint64_t(1) << 40) - 1;
    std::vector<uint64_t> byhash;
    auto hashof = [&](size_t row) { return uint64_t(std::hash<std::string>()(t.labels[row])); };
    // Puts row, of label hash h, in its slot; returns the earlier row of
    // the same label, or SIZE_MAX.
    auto place = [&](size_t row, uint64_t h) -> size_t {
        const std::string& label = t.labels[row];
        uint64_t tag = (h >> 40) << 40;
        size_t mask = byhash.size() - 1;
        for (size_t k = size_t(h) & mask;; k = (k + 1) & mask) {
            uint64_t v = byhash[k];
            if (v == none) {
                byhash[k] = tag | row;
                return SIZE_MAX;
            }
            if ((v & ~rowbits) == tag && t.labels[size_t(v & rowbits)] == label) return size_t(v & rowbits);
        }
    };
    // A row's label goes into its slot one row later, once the slot, asked
    // for when the row was read, has come into the cache: a table of
    // labels is far larger than the caches, and each slot is a miss.  The
    // row waiting (SIZE_MAX: none) is placed before any later fault is
    // told, so that faults come in the order of the file.
    size_t waiting = SIZE_MAX;
    uint64_t waitinghash = 0;
    size_t labelcolumn = 0;
    for (const asked& a : asked_)
        if (a.role == role_label) labelcolumn = size_t(a.index) + 1;
    auto settle = [&] {
        if (waiting == SIZE_MAX) return;
        size_t row = waiting;
        waiting = SIZE_MAX;
        size_t first = place(row, waitinghash);
        if (first != SIZE_MAX)
            throw failure{table_duplicatelabel, t.lines[row], labelcolumn,
                          "the label " + shown(t.labels[row]) + " is already that of the site on line " +
                              std::to_string(t.lines[first])};
    };
    if (haslabels) {
        size_t lines = 1;
        for (const char* c = s.p; (c = static_cast<const char*>(std::memchr(c, '\n', size_t(end_ - c)))); ++c) ++lines;
        if (lines == 1)
            for (const char* c = s.p; (c = static_cast<const char*>(std::memchr(c, '\r', size_t(end_ - c)))); ++c)
                ++lines;
        size_t cap = 64, most = size_t(end_ - s.p) / sizeof(uint64_t);
        while (cap < 2 * lines && 2 * cap <= most) cap *= 2;
        byhash.assign(cap, none);
    }

    for (;;) {
        if (s.p == end_) break;
        try {
            if (blankline(s.p, end_, delim_, q)) {
                if (allblank(q, end_, delim_)) break;
                throw failure{table_ragged, s.line, 0, "the line is blank, but rows of the table follow it"};
            }
            long long rowline = s.line;
            size_t k = 0, next = 0;
            for (;;) {
                field f;
                ending e = s.scan(f, k + 1);
                if (next < nasked && order[next].index == (long long)k) slots[next++] = f;
                ++k;
                if (e != at_delim) break;
            }
            if (k != nfields_)
                throw failure{table_ragged, rowline, 0,
                              "the row has " + plural(k, "field", "fields") + ", but the header has " +
                                  std::to_string(nfields_)};
            for (size_t a = 0; a < nasked; ++a) {
                const field& f = slots[a];
                int role = order[a].role;
                size_t column = size_t(order[a].index) + 1;
                if (role < 3) {
                    std::string_view v = text(f, scratch_);
                    double x = 0;
                    int r = tonumber(v.data(), v.data() + v.size(), comma, x, number_);
                    if (r == 1) {
                        size_t b = v.find_first_not_of(" \t");
                        throw failure{table_notnumber, f.line, column,
                                      b == std::string_view::npos ? std::string("the field is empty, where a number is expected")
                                                                  : shown(v) + " is not a number"};
                    }
                    if (r == 2)
                        throw failure{table_notnumber, f.line, column,
                                      shown(v) + " is beyond the range of double-precision numbers"};
                    if (req_.lonlat && role < 2) {
                        int which = 0;
                        const char* why = role == 0 ? lonlatwhy(x, 0.0, which) : lonlatwhy(0.0, x, which);
                        if (why)
                            throw failure{table_outofrange, f.line, column,
                                          shown(v) + " is not a " + (role == 0 ? "longitude: " : "latitude: ") + why};
                    }
                    cols[role].push_back(x);
                } else if (role == role_label) {
                    std::string_view v = text(f, scratch_);
                    if (v.empty()) throw failure{table_emptylabel, f.line, column, "the site has no label"};
                    t.labels.emplace_back(v);
                } else {
                    std::string_view v = text(f, scratch_);
                    size_t b = v.find_first_not_of(" \t"), e = v.find_last_not_of(" \t");
                    std::string_view w = b == std::string_view::npos ? std::string_view() : v.substr(b, e - b + 1);
                    unsigned char flag;
                    if (w.empty() || w == "0")
                        flag = 0;
                    else if (w == "1")
                        flag = 1;
                    else
                        throw failure{table_badflag, f.line, column,
                                      shown(v) + " is not a supplementary flag: 1 marks a supplementary site, "
                                                 "0 or an empty field a main site"};
                    t.supplementary.push_back(flag);
                }
            }
            t.lines.push_back(rowline);
        } catch (const failure&) {
            settle();
            throw;
        }
        if (haslabels) {
            settle();
            if (2 * (rows + 1) > byhash.size()) {
                if (rows >= rowbits) throw std::bad_alloc();
                byhash.assign(2 * byhash.size(), none);
                for (size_t r = 0; r < rows; ++r) place(r, hashof(r));
            }
            waiting = rows;
            waitinghash = hashof(rows);
            __builtin_prefetch(&byhash[size_t(waitinghash) & (byhash.size() - 1)], 1);
        }
        ++rows;
    }
    settle();
    if (rows == 0) throw failure{table_empty, 0, 0, "the table has a header but no data rows"};

    t.rows = rows;
    t.ncoord = int(nc);
    if (nc == 1) {
        t.x = std::move(cols[0]);
    } else {
        t.x.reserve(rows * nc);
        for (size_t j = 0; j < nc; ++j) {
            t.x.insert(t.x.end(), cols[j].begin(), cols[j].end());
            std::vector<double>().swap(cols[j]);
        }
    }
    if (!hasflags) t.supplementary.assign(rows, 0);
}

sitetable failed(tablestatus status, std::string message)
{
    sitetable t;
    t.status = status;
    t.message = std::move(message);
    return t;
}

std::string nomemory(const std::string& name)
{
    return (name.empty() ? "" : name + ": ") + "the machine cannot hold the table in memory";
}

}  // namespace

sitetable readtable(const char* data, size_t size, const std::string& name, const tablerequest& req) noexcept
{
    try {
        reader r(data, size, name, req);
        sitetable t;
        try {
            r.read(t);
        } catch (const failure& f) {
            return failed(f.status, r.message(f));
        }
        return t;
    } catch (...) {
        // std::bad_alloc (or std::length_error) is all that can come here.
        try {
            return failed(table_nomemory, nomemory(name));
        } catch (...) {
            sitetable t;
            t.status = table_nomemory;
            return t;
        }
    }
}

sitetable readtablefile(const std::string& path, const tablerequest& req) noexcept
{
    try {
        int err = 0;
        int fd = osopen(path.c_str(), err);
        if (fd < 0) return failed(table_unreadable, path + ": the file cannot be opened: " + oserror(err));
        // Room for the whole file and one more byte, so that the read that
        // finds its end needs no more; grown when the file grows meanwhile.
        std::error_code ec;
        std::uintmax_t size = std::filesystem::file_size(path, ec);
        std::string bytes;
        try {
            bytes.resize(!ec && size < SIZE_MAX / 4 ? size_t(size) + 1 : size_t(1) << 16);
        } catch (...) {
            osclose(fd);
            throw;
        }
        size_t len = 0;
        for (;;) {
            if (len == bytes.size()) {
                try {
                    bytes.resize(2 * bytes.size());
                } catch (...) {
                    osclose(fd);
                    throw;
                }
            }
            long k = osread(fd, &bytes[len], bytes.size() - len, err);
            if (k < 0) {
                osclose(fd);
                return failed(table_unreadable, path + ": the file cannot be read: " + oserror(err));
            }
            if (k == 0) break;
            len += size_t(k);
        }
        osclose(fd);
        return readtable(bytes.data(), len, path, req);
    } catch (...) {
        try {
            return failed(table_nomemory, nomemory(path));
        } catch (...) {
            sitetable t;
            t.status = table_nomemory;
            return t;
        }
    }
}
