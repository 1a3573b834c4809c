// One item of a write statement: an integer, a real or a text of a given
// length.  Built implicitly from the value, so statements read as lists:
// wlist(con, {"Maximum number = ", maxn});
#ifndef LOCIWEAVER_TEXTIO_ITEM_H
#define LOCIWEAVER_TEXTIO_ITEM_H

#include <cstring>

struct item {
    char kind;  // 'i' integer, 'r' real, 't' text
    long long i = 0;
    double r = 0;
    const char* p = nullptr;
    int len = 0;

    item() : kind('i') {}
    item(int v) : kind('i'), i(v) {}
    item(long long v) : kind('i'), i(v) {}
    item(double v) : kind('r'), r(v) {}
    item(float v) : kind('r'), r(double(v)) {}
    item(const char* s) : kind('t'), p(s), len(int(std::strlen(s))) {}
    item(const char* s, int n) : kind('t'), p(s), len(n) {}
};

#endif
