// The line editor's state and the one way it reaches the screen (the editor
// itself, behind the two prompts, is in console.h). The prompt and the
// typed text are one line that wraps at the screen's width; after every key
// the editor draws that whole line again from its state, into the screen's
// output buffer, to go out in one write.
//
// TakeFieldKey one key of the line editor's into a field edited in place
//              elsewhere (text, and the cursor as a byte position in it): false
//              for Enter, which ends the edit; the caller draws the field
// RefreshLine  draws the line from its state: scrolls the screen when the cursor's
//              row is off it, writes the part of the line the screen has room for
//              from the line's start cell (from row 1 when its first rows have
//              scrolled away), clears the rest of the screen when the line ends on
//              it, and puts the cursor on the editing position. Without a terminal
//              on the output it draws nothing.
#pragma once
#include <cstddef>
#include <string>

struct LineState {
  std::string line;       // the prompt, then the typed text
  size_t typed_from = 0;  // where the typed text starts in `line`
  size_t position = 0;    // the cursor, in bytes, always at the start of a character
  int left = 1;           // the column of the line's first cell
  // The row of the line's first row, counted as scrolled_rows plus the
  // screen row: the screen row is top - scrolled_rows, above the screen when
  // that is below 1.
  long top = 1;
};

// With `follow_end`, a line that has grown past the bottom row scrolls up
// with its end, as far as the cursor stays in sight.
void RefreshLine(const LineState& state, bool follow_end);
bool TakeFieldKey(std::string& text, size_t& position, const std::string& key);
