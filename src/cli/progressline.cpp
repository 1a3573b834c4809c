// The progress line of a long computation on the terminal of the error
// stream, for the programs that show one.
#include <cstring>

#include "cli.h"
#include "textio/os.h"

namespace {

void putline(const char* text, size_t n)
{
    int err = 0;
    while (n > 0) {
        long k = oswrite(osstderr, text, n, err);
        if (k <= 0) return;
        text += k;
        n -= size_t(k);
    }
}

}  // namespace

int drawprogress(void* context, const char* what, int n, double done, double elapsed)
{
    progressline& l = *static_cast<progressline*>(context);
    char text[256];
    text[0] = '\r';
    if (!what) {
        int w = l.width < int(sizeof text) - 2 ? l.width : int(sizeof text) - 2;
        std::memset(text + 1, ' ', size_t(w));
        text[w + 1] = '\r';
        putline(text, size_t(w) + 2);
        l.width = 0;
        return 0;
    }
    int k = progtext(text + 1, what, n, done, elapsed);
    int w = k;
    while (w < l.width && w < 120) text[1 + w++] = ' ';
    putline(text, size_t(w) + 1);
    l.width = w;
    return 0;
}

bool progressshown(const char* mode, bool& always)
{
    always = mode && std::strcmp(mode, "always") == 0;
    bool never = mode && std::strcmp(mode, "never") == 0;
    return osterminal(osstderr) && !never;
}
