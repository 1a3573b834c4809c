// Rendering of one value into characters: the data fields of a field layout
// (Iw, Fw.d, Aw) and the free-form rendering of a real.  Pure functions: they
// read their arguments and write only into the caller's buffer.
#ifndef LOCIWEAVER_TEXTIO_RENDER_H
#define LOCIWEAVER_TEXTIO_RENDER_H

// Largest field width a layout may ask for; buffers handed to the renderers
// of fields hold at least this many characters.
const int maxwidth = 512;

// Iw: writes exactly w characters of v into out (digits right-aligned,
// a minus sign for negatives, w asterisks when they do not fit).
void rendi(char* out, int w, long long v);

// Fw.d: writes exactly w characters of v rounded to d decimals (correctly
// rounded, ties to even), fixed notation, always a decimal point; no sign when
// every digit is zero; the leading zero dropped when that alone makes it fit;
// otherwise w asterisks.  Requires 1 <= w <= maxwidth and 0 <= d < w.
void rendf(char* out, int w, int d, double v);

// Aw: writes exactly w characters: the first w of the text, or the text
// preceded by blanks.
void renda(char* out, int w, const char* p, int len);

// Free-form real: one blank, a minus sign or a blank, then the magnitude to
// 9 significant digits (fixed notation for decimal exponents -4 to 8,
// otherwise mantissa, E, sign and at least two exponent digits), trailing
// fraction zeros dropped, always a decimal point.  Writes into out (at least
// 32 characters) and returns the length.
int rendg(char* out, double v);

#endif
