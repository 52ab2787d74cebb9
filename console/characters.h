// The characters of typed and shown text: one byte each, or on a UTF-8
// terminal one whole UTF-8 sequence each, and the cells each takes on the
// screen. The keys, the screen and the line editor all count by these.
//
// (Utf8Length, the length of a UTF-8 sequence, is in text/text.h.)
// CharLength  the bytes of the character at text[i]
// CharCells   the cells the character at text[i] takes: 0 (a combining mark), 1 or 2,
//             or 4 for each byte of a control character, shown escaped
// CharStart   the start of the character that holds text[i]
#pragma once
#include <cstddef>
#include <string>

#include "text/text.h"

size_t CharLength(const std::string& text, size_t i);
int CharCells(const std::string& text, size_t i);
size_t CharStart(const std::string& text, size_t i);
