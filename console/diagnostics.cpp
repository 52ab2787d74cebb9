// The one printer of FILE:LINE[:COLUMN]: diagnostics.
#include "console/diagnostics.h"

#include <cstdio>
#include <string>

#include "console/terminal.h"
#include "text/text.h"

void PrintDiagnostic(std::FILE* out, const std::string& file, long line, size_t column,
                     const char* kind, const std::string& text) {
  // The file's name as the user typed it, but for its control characters.
  std::string diagnostic = Displayed(file, utf8_text) + ":" + std::to_string(line) + ":";
  if (column > 0) diagnostic += std::to_string(column) + ":";
  diagnostic += std::string(" ") + kind + ": ";
  diagnostic += Printable(text);
  diagnostic += "\n";
  std::fputs(diagnostic.c_str(), out);
}
