// Free-form statements: writing items with the 80-column rule, and reading
// values separated by blanks, tabs, commas and line ends.
#ifndef LOCIWEAVER_TEXTIO_LISTIO_H
#define LOCIWEAVER_TEXTIO_LISTIO_H

#include <initializer_list>

#include "item.h"
#include "stream.h"

// Free-form write statement of the n items v on s; ends with a line end.
// With no items it writes an empty line.
void wlist(stream& s, const item* v, int n);
void wlist(stream& s, std::initializer_list<item> v);
inline void wlist(stream& s) { wlist(s, nullptr, 0); }

// Free-form read statement: rbegin, one call per item, rend.  An item that
// receives a null value, or comes after a slash, keeps its content.  Failures
// (end of input, malformed values) throw ioerror.
void rbegin(stream& s);
void rint(stream& s, int& v);
void rreal(stream& s, double& v);
// Text item of len characters: stored left-aligned, blank-padded or cut.
void rtext(stream& s, char* v, int len);
void rend(stream& s);

// Parts of a number as written: sign, integer and fraction digits, exponent.
struct numparts {
    bool neg = false;
    const char* ip = nullptr;  // integer digits
    int ilen = 0;
    const char* fp = nullptr;  // fraction digits
    int flen = 0;
    bool point = false;        // a decimal point was written
    bool expo = false;         // an exponent (letter or sign) was written
    long long exp = 0;         // exponent value, signed
};

enum scanres { scan_ok, scan_none, scan_expfield };

// Scans the longest number that starts at p (before end) into np; returns
// the first character after it.  res tells whether a number was found and
// whether its exponent is well formed (digits present, magnitude at most
// 99999999).  A sign straight after the digits starts an exponent only when
// signexp is set (a real value); otherwise the number ends before it.  An
// exponent letter is taken either way.
const char* scannum(const char* p, const char* end, numparts& np, scanres& res, bool signexp = true);

#endif
