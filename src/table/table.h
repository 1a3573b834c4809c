// The sites of a table with a header line, as users export them from a
// spreadsheet or a GPS unit (CSV or TSV): the coordinate columns, the
// column of site labels and the column of supplementary flags that the
// caller names, read once into what the work needs.  No console, no exit,
// no environment: every failure comes back as a status and a one-line
// message, never as an exception.
//
// The dialect comes from the header line: its fields are split with a tab,
// a semicolon and a comma in turn, and the first of them that yields every
// column asked for is the delimiter (when none does, the first of them that
// splits the header at all, else the comma; the missing column is then
// reported).  With the semicolon a number may be written with a decimal
// comma ("1,5" is 1.5) as well as with a point.
//
// Fields as in RFC 4180: a field that begins with a double quote ends at
// the next lone double quote, "" inside it stands for one, and a delimiter
// or a line end inside it is part of it.  Blanks (spaces, and tabs where
// the tab is not the delimiter) around a field, outside its quotes, are not
// part of it; a quote after other characters of a field is an ordinary
// character.  Line ends are LF, CR LF or a CR alone, mixed as they come,
// and the lines of messages are the physical lines of the file (those an
// editor counts), from 1.  A UTF-8 byte-order mark at the start is
// skipped.  Blank lines at the end (nothing but blanks and delimiters) are
// ignored; a blank line before the last row is refused.
//
// Numbers: blanks, an optional sign, digits with an optional decimal
// separator (at least one digit), an optional exponent (e or E, an optional
// sign, digits), blanks; converted to the nearest double (correctly
// rounded, through the text layer's ostodouble), a value below the range of
// doubles to a zero of its sign.  Anything else is refused: an empty
// field, "NA", "1.2.3", inf, nan, hexadecimal, a value beyond the range.
//
// A label is the field's text (quotes removed); labels must be non-empty
// and distinct.  A supplementary flag is 1 (a supplementary site), 0 or an
// empty field (a main site).
#ifndef LOCIWEAVER_TABLE_TABLE_H
#define LOCIWEAVER_TABLE_TABLE_H

#include <cstddef>
#include <string>
#include <vector>

// What a table reading is asked for: the names of 1 to 3 coordinate
// columns, and optionally (empty: none) those of the label column and of
// the supplementary-flag column.  Names are compared with the header's
// fields exactly (case counts).
struct tablerequest {
    std::vector<std::string> coords;
    std::string id;
    std::string supplementary;
    // The two coordinates are longitude then latitude in degrees: each is
    // refused outside -180 to 360 and -90 to 90 (lonlatwhy, geo/lonlat.h).
    bool lonlat = false;
};

enum tablestatus {
    table_ok,
    table_badrequest,      // the request itself: no coordinate column or more
                           // than 3, an empty name, a name asked twice
    table_unreadable,      // the file cannot be opened or read
    table_nomemory,        // the machine cannot hold the table
    table_empty,           // no header line, or no data row after it
    table_nocolumn,        // a column asked for is not in the header
    table_duplicatecolumn, // a column asked for is named twice in the header
    table_ragged,          // more or fewer fields than the header, or a blank
                           // line inside the table
    table_unclosedquote,   // a quote not closed before the end of the file
    table_badquote,        // characters after the closing quote of a field
    table_nul,             // a NUL byte
    table_notnumber,       // a coordinate that is not a number, or beyond the
                           // range of doubles
    table_emptylabel,      // a site with an empty label
    table_duplicatelabel,  // two sites with the same label
    table_badflag,         // a supplementary flag other than 0, 1 or empty
    table_outofrange       // a longitude or latitude outside its range
};

// The sites of a table, in the file's order.  On failure: status and
// message set, rows 0, every vector empty.
struct sitetable {
    tablestatus status = table_ok;
    // One line, without a line end: the file's name, the line and the
    // column where they apply, then what is wrong, e.g.
    //   sites.csv, line 7, column "x" (2): "abc" is not a number
    // Empty when status is table_ok.
    std::string message;
    size_t rows = 0;
    int ncoord = 0;
    // Column-major: coordinate j (from 0) of row i (from 0) is x[i + j * rows].
    std::vector<double> x;
    // The rows' labels, when a label column was asked for; else empty.
    std::vector<std::string> labels;
    // One per row: 1 for a supplementary site, 0 for a main one (all 0
    // when no flag column was asked for).
    std::vector<unsigned char> supplementary;
    // One per row: the physical line (from 1) where the row starts.
    std::vector<long long> lines;
};

// readtable: the table of the size bytes at data; name is the file's name
//   as messages give it (none when empty).  Never throws.
sitetable readtable(const char* data, size_t size, const std::string& name, const tablerequest& req) noexcept;

// readtablefile: the table of the file path (read in binary through the
//   text layer); messages name it as path is written.  A file that cannot
//   be read is table_unreadable, with the system's description of why.
//   Never throws.
sitetable readtablefile(const std::string& path, const tablerequest& req) noexcept;

#endif
