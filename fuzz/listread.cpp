// Fuzz target: the free-form read.  The input is a script line, then the
// bytes to read.  Each character of the script names the next item of a
// statement: i an integer, r a real, t a 79-character text, s a 3-character
// text; ';' ends a statement; other characters are ignored.  The script is
// run over and over on the console input until a failure report or the
// statement limit.  Every read must end as a value or an ioerror, and a
// real read must be finite.
#include <cmath>
#include <cstring>
#include <vector>

#include "common.h"
#include "textio/textio.h"

namespace {

units io;
const int maxstatements = 100000;
const size_t maxscript = 64;

// Runs one statement of the script from position k (up to the next ';' or
// the end); returns the position after it.
size_t statement(const char* script, size_t n, size_t k)
{
    stream& s = io.in;
    rbegin(s);
    for (; k < n && script[k] != ';'; ++k) {
        switch (script[k]) {
        case 'i': {
            int v = 0;
            rint(s, v);
            break;
        }
        case 'r': {
            double v = 0;
            rreal(s, v);
            if (!std::isfinite(v)) broken();
            break;
        }
        case 't':
        case 's': {
            int len = script[k] == 't' ? namelen : 3;
            // Exactly len characters, so that a write past them is seen.
            std::vector<char> v(size_t(len), '#');
            rtext(s, v.data(), len);
            break;
        }
        default:
            break;
        }
    }
    rend(s);
    return k < n ? k + 1 : k;
}

// True when the script names at least one item.
bool hasitem(const char* script, size_t n)
{
    for (size_t k = 0; k < n; ++k)
        if (std::strchr("irts", script[k])) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const void* nl = std::memchr(data, '\n', size < maxscript ? size : maxscript);
    size_t slen = nl ? size_t(static_cast<const uint8_t*>(nl) - data) : 0;
    const char* script = reinterpret_cast<const char*>(data);
    const uint8_t* body = nl ? data + slen + 1 : data;
    size_t blen = size - size_t(body - data);
    if (!hasitem(script, slen)) {
        script = "i";
        slen = 1;
    }

    quietunits(io);
    feed(io.in, body, blen);
    try {
        size_t k = 0;
        for (int st = 0; st < maxstatements; ++st) {
            k = statement(script, slen, k);
            if (k >= slen) k = 0;
        }
    } catch (const ioerror& e) {
        if (e.s != &io.in || !e.context || !*e.context) broken();
    }
    release(io.in);
    return 0;
}
