// The one printer of FILE:LINE[:COLUMN]: diagnostics.
#include "app/diagnostics.h"

#include <cstdio>
#include <string>

#include "link/civ_frame.h"

void PrintDiagnostic(std::FILE* out, const std::string& file, long line, size_t column,
                     const char* kind, const std::string& text) {
  std::string diagnostic = file + ":" + std::to_string(line) + ":";
  if (column > 0) diagnostic += std::to_string(column) + ":";
  diagnostic += std::string(" ") + kind + ": ";
  for (char c : text) {
    if (c >= ' ' && c <= '~') {
      diagnostic += c;
    } else {
      diagnostic += "\\x" + Hex2(static_cast<unsigned char>(c));
    }
  }
  diagnostic += "\n";
  std::fputs(diagnostic.c_str(), out);
}
