// Typed answers: the first item of a line, the number made from it, the
// value of a short text and the printed form of a number.
#include "console/typed_answers.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>

namespace {

struct ItemCase {
  std::string line;
  bool number_mode;
  std::string item;
};

void PrintTo(const ItemCase& c, std::ostream* out) {
  *out << "[" << c.line.substr(0, 20) << "]";
}

class FirstItemTest : public testing::TestWithParam<ItemCase> {};

TEST_P(FirstItemTest, TakesTheFirstItem) {
  const ItemCase& c = GetParam();
  EXPECT_EQ(FirstItem(c.line, c.number_mode), c.item) << "line [" << c.line << "]";
}

INSTANTIATE_TEST_SUITE_P(
    NumberMode, FirstItemTest,
    testing::Values(ItemCase{"3", true, "3"}, ItemCase{"  3", true, "3"},
                    ItemCase{"\t \t3", true, "3"}, ItemCase{"1,2", true, "1"},
                    ItemCase{"1 2", true, "1"}, ItemCase{"7\t8", true, "7"},
                    ItemCase{"7 8", true, "7"}, ItemCase{"", true, ""}, ItemCase{" ", true, ""},
                    ItemCase{"\"12\"", true, "12"},
                    // After the quoted stretch reading goes on under the unquoted rules.
                    ItemCase{"\"1 2\"3 4", true, "1 23"}, ItemCase{"\"1,2\"3,4", true, "1,23"},
                    ItemCase{"\"12", true, "12"}, ItemCase{"1\"2", true, "1\"2"},
                    ItemCase{"1d2", true, "1e2"}, ItemCase{"1D2", true, "1E2"},
                    ItemCase{"&HD", true, "&HD"}, ItemCase{"&hd", true, "&hd"},
                    ItemCase{"d&d", true, "e&d"}, ItemCase{"\"1d2\"", true, "1e2"},
                    ItemCase{std::string(100, '7'), true, std::string(67, '7')},
                    ItemCase{"\"" + std::string(100, '7') + "\"", true, std::string(67, '7')}));

INSTANTIATE_TEST_SUITE_P(
    TextMode, FirstItemTest,
    testing::Values(ItemCase{"  mem.txt", false, "mem.txt"},
                    ItemCase{"mem.txt  ", false, "mem.txt  "},
                    ItemCase{"my mem.txt", false, "my mem.txt"},
                    ItemCase{"a\tb\t", false, "a\tb\t"}, ItemCase{"a,b", false, "a"},
                    ItemCase{"ab\"cd", false, "ab\"cd"}, ItemCase{"\"a, b\" rest,x", false, "a, b"},
                    ItemCase{"\"a, b", false, "a, b"}, ItemCase{"", false, ""},
                    ItemCase{"   ", false, ""}, ItemCase{"1d2", false, "1d2"},
                    ItemCase{std::string(5000, 'x'), false, std::string(4096, 'x')},
                    ItemCase{"\"" + std::string(5000, 'x') + "\"", false, std::string(4096, 'x')}));

struct NumberCase {
  std::string typed;  // the typed line, read through FirstItem as PromptNumber does
  int16_t number;
};

void PrintTo(const NumberCase& c, std::ostream* out) {
  *out << "[" << c.typed << "]";
}

class TypedNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(TypedNumberTest, GivesTheNumber) {
  const NumberCase& c = GetParam();
  EXPECT_EQ(ItemToNumber(FirstItem(c.typed, true)), c.number) << "typed [" << c.typed << "]";
}

// Every example of the typed-number table, then the edges around it.
INSTANTIATE_TEST_SUITE_P(
    ExamplesTable, TypedNumberTest,
    testing::Values(NumberCase{"3", 3}, NumberCase{"+3", 3}, NumberCase{"-3", -3},
                    NumberCase{"  3", 3}, NumberCase{"3abc", 3}, NumberCase{"abc", 0},
                    NumberCase{"", 0}, NumberCase{"1,2", 1}, NumberCase{"1 2", 1},
                    NumberCase{"\"12\"", 12}, NumberCase{"2.5", 2}, NumberCase{"3.5", 4},
                    NumberCase{"-2.5", -2}, NumberCase{"1e2", 100}, NumberCase{"1d2", 100},
                    NumberCase{"1e5", -32768}, NumberCase{"32767", 32767},
                    NumberCase{"32768", -32768}, NumberCase{"65536", 0},
                    NumberCase{"&H8000", -32768}, NumberCase{"&H10", 16}, NumberCase{"&HFFFF", -1},
                    NumberCase{"&O17", 15}, NumberCase{"&17", 15}, NumberCase{"&B101", 5},
                    NumberCase{"&Z", 0}, NumberCase{"&h1f", 31}, NumberCase{"&H1.5", 1},
                    NumberCase{" ", 0}, NumberCase{"0", 0}));

INSTANTIATE_TEST_SUITE_P(
    Edges, TypedNumberTest,
    testing::Values(
        NumberCase{"&777", 511}, NumberCase{"&HFF", 255}, NumberCase{"7 8", 7},
        NumberCase{"&HD", 13}, NumberCase{"&HE", 14}, NumberCase{"&b102", 2}, NumberCase{"&o78", 7},
        NumberCase{"&", 0}, NumberCase{"&H", 0}, NumberCase{"&H10000", 0},
        NumberCase{"&H1FFFF", -1}, NumberCase{"&H123456789", 0x6789}, NumberCase{"-32768", -32768},
        NumberCase{"-32769", 32767}, NumberCase{"4294967295", -1}, NumberCase{"99999999999", -1},
        NumberCase{"-4294967296", 1}, NumberCase{"0.5", 0}, NumberCase{"1.5", 2},
        NumberCase{"-0.5", 0}, NumberCase{".5e1", 5}, NumberCase{"5.", 5}, NumberCase{"1e", 1},
        NumberCase{"1e+", 1}, NumberCase{"1E+2", 100}, NumberCase{"e5", 0}, NumberCase{"-1.5", -2},
        NumberCase{"32767.4", 32767}, NumberCase{"32767.5", -32768}, NumberCase{"-32768.5", -32768},
        NumberCase{"-32768.6", -32768}, NumberCase{"-32767.6", -32768}, NumberCase{"1e400", -32768},
        NumberCase{"1.5&H10", 2}, NumberCase{"3abcdef", 3}, NumberCase{"+", 0},
        NumberCase{"-", 0}));

struct ValueCase {
  std::string text;
  double value;
};

void PrintTo(const ValueCase& c, std::ostream* out) {
  *out << "[" << c.text << "]";
}

class TextToNumberTest : public testing::TestWithParam<ValueCase> {};

TEST_P(TextToNumberTest, GivesTheValue) {
  const ValueCase& c = GetParam();
  EXPECT_EQ(TextToNumber(c.text), c.value) << "text [" << c.text << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextToNumberTest,
    testing::Values(ValueCase{"0", 0}, ValueCase{"1", 1}, ValueCase{"2", 2}, ValueCase{"3", 3},
                    ValueCase{"4", 4}, ValueCase{"5", 5}, ValueCase{"6", 6}, ValueCase{"7", 7},
                    ValueCase{"8", 8}, ValueCase{"9", 9}, ValueCase{"&H10", 16},
                    ValueCase{" 12", 12}, ValueCase{"1d2", 100}, ValueCase{"1D2", 100},
                    ValueCase{"1.5", 1.5}, ValueCase{"-2.5", -2.5}, ValueCase{"", 0},
                    ValueCase{"   ", 0}, ValueCase{"abc", 0}, ValueCase{"&", 0},
                    ValueCase{" &17", 15}, ValueCase{"&B11", 3},
                    // Accumulated in 64 bits, so no 16- or 32-bit wrap here.
                    ValueCase{"&H10000", 65536}, ValueCase{"&HFFFFFFFFFF", 1099511627775.0}));

TEST(ItemNote, SaysWhyTheNameIsNotTheLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"mem.txt  ", ""},
      {"", ""},
      {"a,b.txt", "a comma ends the name"},
      {"  mem.txt", "the blanks before the name go"},
      {"\t\"a,b\" c", "the blanks before the name go, double quotes mark the name"},
      {"   ", "the line holds only blanks"},
      {std::string(4097, 'x'), "a name holds at most 4096 bytes"},
  };
  for (const auto& [line, note] : cases) EXPECT_EQ(ItemNote(line), note) << line.substr(0, 20);
}

TEST(NumberText, HasABlankOrMinusInFrontAndABlankBehind) {
  EXPECT_EQ(NumberText(0), " 0 ");
  EXPECT_EQ(NumberText(-1), "-1 ");
  EXPECT_EQ(NumberText(61), " 61 ");
  EXPECT_EQ(NumberText(32767), " 32767 ");
  EXPECT_EQ(NumberText(-32768), "-32768 ");
}

}  // namespace
