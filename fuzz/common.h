// What the fuzz targets share: byte strings as files without touching the
// disk, and a set of streams whose output goes nowhere.
#ifndef LOCIWEAVER_FUZZ_COMMON_H
#define LOCIWEAVER_FUZZ_COMMON_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "textio/stream.h"

// Returns a descriptor of an anonymous file holding the n bytes p, at
// offset 0; aborts when the machine refuses one.
int bytesfile(const uint8_t* p, size_t n);

// Makes a new anonymous file of the n bytes p and puts it under s for
// reading, as if s had just been opened on it.
void feed(stream& s, const uint8_t* p, size_t n);

// Sets up io afresh, every output stream (console, error, report, grid,
// spatial-variable file) writing to /dev/null, and no input.
void quietunits(units& io);

// Closes the input stream s (console input or coordinates file) if open.
void release(stream& s);

// Stops the fuzzer on a broken property: a finding.
[[noreturn]] inline void broken() { std::abort(); }

#endif
