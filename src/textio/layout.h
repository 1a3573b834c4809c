// Field layouts: the notation is parsed once into a short list of edits, and
// a write statement walks that list over its items.
#ifndef LOCIWEAVER_TEXTIO_LAYOUT_H
#define LOCIWEAVER_TEXTIO_LAYOUT_H

#include <initializer_list>

#include "item.h"
#include "stream.h"

// One edit of a layout.
struct edit {
    char kind;   // 't' text, '/', 'X', ':', 'I', 'F', 'A', '(' group, ')' group end
    int r;       // repeat count of a field or group; columns of X
    int w, d;    // field width and decimals
    int text;    // text: offset in the layout's text store
    int len;     // text: length
    int match;   // '(' and ')': index of the matching parenthesis
};

const int maxedits = 64;
const int maxtexts = 1024;

struct layout {
    const char* src = nullptr;  // the layout as written, for failure reports
    int n = 0;                  // edits e[0] .. e[n-1]; e[0] is the outer '('
    int revert = 0;             // where reversion resumes: a first-level '(' or 0
    edit e[maxedits];
    char texts[maxtexts];
};

// Parses src into L.  Returns false when src is not a layout of the notation
// or exceeds the fixed sizes; L is then unusable.
bool parsefmt(const char* src, layout& L);

// Parses a layout written in the program; a malformed one is a programming
// error and throws std::logic_error.
layout fmt(const char* src);

// Layout write statement: writes the n items v under L on s, by the rules of
// edits, data fields, reversion and the final line end.
void wfmt(stream& s, const layout& L, const item* v, int n);
void wfmt(stream& s, const layout& L, std::initializer_list<item> v);

#endif
