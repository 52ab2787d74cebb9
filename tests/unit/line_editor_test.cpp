// The line drawn again, whole, from the editor's state: the bytes one
// refresh writes on a small screen, where the line is longer than a row,
// where its first rows have scrolled away and where a wide character meets
// the edge, and where it fills the last cell of the screen.
#include "console/line_editor.h"

#include <gtest/gtest.h>

#include <string>

#include "text/text.h"
#include "unit_support.h"

namespace {

TEST(RefreshLine, WritesTheVisiblePartFromTheStartCellClearsAndPutsTheCursor) {
  const struct {
    const char* what;
    bool utf8;
    LineState state;
    std::string written;
  } cases[] = {
      // "> " and 15 typed letters from row 2, column 3; the cursor after "abc".
      {"longer than a row",
       false,
       {"> abcdefghijklmno", 2, 5, 3, 2},
       "\x1b[2;3H> abcdef\r\nghijklmno\x1b[J\x1b[2;8H"},
      // 45 cells whose first two rows lie above the screen; the cursor at the end.
      {"first rows scrolled away",
       false,
       {std::string(20, '-') + "abcdefghij0123456789ABCDE", 0, 45, 1, -1},
       "\x1b[1;1Habcdefghij\r\n0123456789\r\nABCDE\x1b[J\x1b[3;6H"},
      // U+4E2D does not fit in the last column: a blank there, the character
      // on the next row; the cursor before it stands in that last column.
      {"wide character at the edge",
       true,
       {"abcdefghi\xE4\xB8\xADx", 0, 9, 1, 1},
       "\x1b[1;1Habcdefghi \r\n\xE4\xB8\xADx\x1b[J\x1b[1;10H"},
      // Filling the bottom right cell: nothing after it to clear, and a clear
      // would take that cell's character (the cursor waits in it to wrap).
      {"up to the last cell",
       false,
       {"0123456789012345678901234567890123456789", 0, 0, 1, 1},
       "\x1b[1;1H0123456789\r\n0123456789\r\n0123456789\r\n0123456789\x1b[1;1H"},
  };
  for (const auto& c : cases) {
    PretendTerminal terminal(4, 10, c.utf8);
    EXPECT_EQ(Printable(terminal.Written([&] { RefreshLine(c.state, false); })),
              Printable(c.written))
        << c.what;
  }
}

}  // namespace
