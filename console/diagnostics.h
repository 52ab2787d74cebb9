// Diagnostics about a place in a file, one line each in the form compilers
// use, so that editors jump to the place: "FILE:LINE:COLUMN: warning: text",
// or "FILE:LINE: warning: text" for a whole line. --check's findings go to
// the standard output (they are its result), the conversions' warnings to the
// error stream (beside a converted file that may go to the standard output).
//
// PrintDiagnostic  one such line on `out`; column 0 names no column. The text
//                  is shown Printable and the file's name Displayed, so
//                  that neither reaches a terminal as a control sequence.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

void PrintDiagnostic(std::FILE* out, const std::string& file, long line, size_t column,
                     const char* kind, const std::string& text);
