// Characters by the terminal's character set: a byte each, or a whole UTF-8
// sequence each; a stray byte is one character, a control character four
// cells a byte.
#include "console/characters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/terminal.h"

namespace {

class CharactersTest : public testing::Test {
 protected:
  void TearDown() override { utf8_text = false; }
};

TEST_F(CharactersTest, LengthAndStartOfTheCharacterAtEachByte) {
  // "a", U+00E9 (2 bytes), a stray A9, U+4E2D (3 bytes), a sequence cut short.
  const std::string text = "a\xC3\xA9\xA9\xE4\xB8\xAD\xE4\xB8";
  const struct {
    bool utf8;
    std::vector<size_t> length, start;
  } cases[] = {
      {true, {1, 2, 1, 1, 3, 1, 1, 1, 1}, {0, 1, 1, 3, 4, 4, 4, 7, 8}},
      {false, {1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
  };
  for (const auto& c : cases) {
    utf8_text = c.utf8;
    for (size_t i = 0; i < text.size(); i++) {
      EXPECT_EQ(CharLength(text, i), c.length[i]) << c.utf8 << " at " << i;
      EXPECT_EQ(CharStart(text, i), c.start[i]) << c.utf8 << " at " << i;
    }
  }
}

TEST_F(CharactersTest, AControlCharacterTakesFourCellsABytePlainTextOne) {
  const struct {
    std::string text;
    bool utf8;
    int cells;
  } cases[] = {
      {"A", true, 1},         {"\x1B", true, 4},     {"\x7F", false, 4},
      {"\x9B", false, 4},     {"\xC2\x9B", true, 8},  // U+009B, a CSI on a UTF-8 terminal
      {"\xC2\x9B", false, 1},                         // else C2 is a character of its own
      {"\xA9", true, 1},                              // a stray byte: its replacement sign
  };
  for (const auto& c : cases) {
    utf8_text = c.utf8;
    EXPECT_EQ(CharCells(c.text, 0), c.cells) << c.utf8 << " " << Printable(c.text);
  }
}

}  // namespace
