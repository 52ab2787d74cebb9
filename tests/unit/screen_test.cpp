// The screen's writes, as bytes only a test sees: a stray byte on a UTF-8
// terminal is cut off from what follows by a cursor placement, so that the
// terminal can't wait for more of it, and a write that may not scroll ends
// in the bottom right cell, the cursor kept there.
#include "console/screen.h"

#include <gtest/gtest.h>

#include <string>

#include "text/text.h"
#include "unit_support.h"

namespace {

TEST(ScreenWrite, KeepsTheTerminalsCursorWhereTheProgramsIs) {
  const struct {
    const char* what;
    bool may_scroll;
    int row, column;
    std::string text, written;
    int row_after, column_after;
  } cases[] = {
      {"a stray byte", true, 1, 1, "a\xC3z", "\x1b[1;1Ha\xC3\x1b[1;3Hz", 1, 4},
      {"no scroll from the bottom row", false, 4, 9, "xyz", "\x1b[4;9Hxy", 4, 10},
  };
  for (const auto& c : cases) {
    PretendTerminal terminal(4, 10, true);
    std::string written = terminal.Written([&] {
      PlaceCursor(c.row, c.column);
      c.may_scroll ? PutBytes(c.text) : PutClipped(c.text);
    });
    EXPECT_EQ(Printable(written), Printable(c.written)) << c.what;
    EXPECT_EQ(cursor_row, c.row_after) << c.what;
    EXPECT_EQ(cursor_column, c.column_after) << c.what;
  }
}

}  // namespace
