// Fuzz target: a site table.  The input bytes are the table, read with
// three requests in turn (x and y with the labels "id" and the flags "sup";
// x alone; x, y and z with the labels).  Every reading must end as a
// table or as a refusal, never a crash, and:
// - a refusal has a one-line message that starts with the file's name,
//   and nothing else;
// - a table has rows, x of rows values per coordinate, all finite, distinct
//   non-empty labels when asked for, flags of 0 or 1, and increasing
//   lines from 2;
// - a byte-order mark before bytes that have none changes nothing, and
//   neither does a line end after the bytes of a table.
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "common.h"
#include "table/table.h"

namespace {

const std::string name = "table.csv";

bool sametable(const sitetable& a, const sitetable& b)
{
    return a.status == b.status && a.message == b.message && a.rows == b.rows && a.ncoord == b.ncoord &&
           a.x.size() == b.x.size() &&
           (a.x.empty() || std::memcmp(a.x.data(), b.x.data(), a.x.size() * sizeof(double)) == 0) &&
           a.labels == b.labels && a.supplementary == b.supplementary && a.lines == b.lines;
}

void check(const sitetable& t, const tablerequest& r)
{
    if (t.status != table_ok) {
        if (t.message.compare(0, name.size(), name) != 0) broken();
        if (t.message.find_first_of("\r\n") != std::string::npos) broken();
        if (t.rows != 0 || !t.x.empty() || !t.labels.empty() || !t.supplementary.empty() || !t.lines.empty())
            broken();
        return;
    }
    if (!t.message.empty() || t.rows == 0 || t.ncoord != int(r.coords.size())) broken();
    if (t.x.size() != t.rows * r.coords.size()) broken();
    for (double v : t.x)
        if (!std::isfinite(v)) broken();
    if (r.id.empty() ? !t.labels.empty() : t.labels.size() != t.rows) broken();
    std::set<std::string> seen;
    for (const std::string& l : t.labels)
        if (l.empty() || !seen.insert(l).second) broken();
    if (t.supplementary.size() != t.rows || t.lines.size() != t.rows) broken();
    for (unsigned char f : t.supplementary)
        if (f > 1 || (r.supplementary.empty() && f != 0)) broken();
    for (size_t i = 0; i < t.rows; ++i)
        if (t.lines[i] < 2 || (i > 0 && t.lines[i] <= t.lines[i - 1])) broken();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const tablerequest requests[] = {
        {{"x", "y"}, "id", "sup"},
        {{"x"}, "", ""},
        {{"x", "y", "z"}, "id", ""},
    };
    const char* p = reinterpret_cast<const char*>(data);
    std::string bom = "\xEF\xBB\xBF" + std::string(p, size);
    bool hasbom = size >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0;
    std::string ended = std::string(p, size) + "\n";
    for (const tablerequest& r : requests) {
        sitetable t = readtable(p, size, name, r);
        check(t, r);
        if (!hasbom && !sametable(t, readtable(bom.data(), bom.size(), name, r))) broken();
        if (t.status == table_ok && !sametable(t, readtable(ended.data(), ended.size(), name, r))) broken();
    }
    return 0;
}
