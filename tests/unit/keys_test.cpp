// Typed keys: the bytes a terminal sends become keys in the queue, and
// PollKey hands them out oldest first. Every sequence a terminal sends is one
// key; those with Ctrl, Shift or Alt are keys the editor ignores.
#include "console/keys.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/terminal.h"
#include "unit_support.h"

namespace {

std::string Special(int scan_code) {
  return std::string(1, '\0') + static_cast<char>(scan_code);
}

const std::string kIgnored = Special(kOtherKey);

std::vector<std::string> QueuedKeys() {
  std::vector<std::string> keys;
  for (std::string key = PollKey(); !key.empty(); key = PollKey()) keys.push_back(key);
  return keys;
}

class KeysTest : public testing::Test {
 protected:
  void SetUp() override {
    StartPlainConsole();
    QueuedKeys();  // whatever an earlier test left
  }
};

struct KeyCase {
  std::string typed;
  std::vector<std::string> keys;
};

void PrintTo(const KeyCase& c, std::ostream* out) {
  *out << "[" << Hex(c.typed) << "]";
}

class DecodeKeysTest : public KeysTest, public testing::WithParamInterface<KeyCase> {};

TEST_P(DecodeKeysTest, GivesTheKeys) {
  std::string pending = GetParam().typed;
  DecodeKeys(pending, true);
  EXPECT_EQ(pending, "");
  EXPECT_EQ(QueuedKeys(), GetParam().keys) << "typed " << Hex(GetParam().typed);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, DecodeKeysTest,
    testing::Values(KeyCase{"a", {"a"}}, KeyCase{"ab1", {"a", "b", "1"}}, KeyCase{"\r", {"\r"}},
                    KeyCase{"\xE9", {"\xE9"}}, KeyCase{"\x7F", {"\x08"}}, KeyCase{"\x08", {"\x08"}},
                    KeyCase{"\x1B[A", {Special(0x48)}}, KeyCase{"\x1B[B", {Special(0x50)}},
                    KeyCase{"\x1B[C", {Special(0x4D)}}, KeyCase{"\x1B[D", {Special(0x4B)}},
                    KeyCase{"\x1BOA", {Special(0x48)}}, KeyCase{"\x1BOH", {Special(0x47)}},
                    KeyCase{"\x1BOF", {Special(0x4F)}}, KeyCase{"\x1B[H", {Special(0x47)}},
                    KeyCase{"\x1B[F", {Special(0x4F)}}, KeyCase{"\x1B[1~", {Special(0x47)}},
                    KeyCase{"\x1B[4~", {Special(0x4F)}}, KeyCase{"\x1B[3~", {Special(0x53)}},
                    KeyCase{"a\x1B[Db", {"a", Special(0x4B), "b"}},
                    KeyCase{"\x1B[A\x1B[B", {Special(0x48), Special(0x50)}},
                    KeyCase{"\x1B", {"\x1B"}},
                    // The Linux console's F1 to F5.
                    KeyCase{"\x1B[[A", {Special(0x3B)}}, KeyCase{"\x1B[[Ex", {Special(0x3F), "x"}},
                    // Alt with a key, Alt+Backspace, Alt+Escape, Alt with an arrow (rxvt).
                    KeyCase{"\x1B"
                            "b",
                            {kIgnored}},
                    KeyCase{"\x1B\x7F", {kIgnored}}, KeyCase{"\x1B\x1B", {kIgnored}},
                    KeyCase{"\x1B\x1B[Dx", {kIgnored, "x"}},
                    // Ctrl, Shift and Alt with the editing keys: xterm, old xterm, rxvt.
                    KeyCase{"\x1B[1;5D", {kIgnored}}, KeyCase{"\x1B[1;5C", {kIgnored}},
                    KeyCase{"\x1B[1;2C", {kIgnored}}, KeyCase{"\x1B[3^", {kIgnored}},
                    KeyCase{"\x1B[3;5~", {kIgnored}}, KeyCase{"\x1B[1;3H", {kIgnored}},
                    KeyCase{"\x1B[5D", {kIgnored}}, KeyCase{"\x1BO5D", {kIgnored}},
                    KeyCase{"\x1B[2$", {kIgnored}}, KeyCase{"\x1B[7$", {kIgnored}},
                    KeyCase{"\x1B[7^", {kIgnored}}, KeyCase{"\x1B[3@", {kIgnored}},
                    KeyCase{"\x1B[d", {kIgnored}}, KeyCase{"\x1BOc", {kIgnored}},
                    // Keys with Ctrl as xterm's modifyOtherKeys and CSI u send them.
                    KeyCase{"\x1B[27;5;98~", {kIgnored}}, KeyCase{"\x1B[98;5u", {kIgnored}},
                    // A sequence cut by a byte no sequence holds, one that
                    // never finished, and one longer than any key's.
                    KeyCase{"\x1B[1\r", {kIgnored, "\r"}}, KeyCase{"\x1B[1;", {kIgnored}},
                    KeyCase{"\x1B[" + std::string(40, '1') + "~", {kIgnored}}));

TEST_F(KeysTest, AnUnfinishedSequenceWaitsForItsRest) {
  for (std::string start : {"\x1B", "\x1B[", "\x1B[1;", "\x1BO", "\x1B[[", "\x1B\x1B"}) {
    std::string pending = "x" + start;
    DecodeKeys(pending, false);
    EXPECT_EQ(pending, start);
    EXPECT_EQ(QueuedKeys(), std::vector<std::string>{"x"}) << "start " << Hex(start);
    pending.clear();
  }
  std::string pending = "\x1B[";
  DecodeKeys(pending, false);
  pending += "3~";
  DecodeKeys(pending, false);
  EXPECT_EQ(pending, "");
  EXPECT_EQ(QueuedKeys(), std::vector<std::string>{Special(0x53)});
}

TEST_F(KeysTest, OnAUtf8TerminalACharacterIsOneKeyAndAStrayByteToo) {
  utf8_text = true;
  std::string pending = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F";  // a, é, 中, half an emoji
  DecodeKeys(pending, false);
  std::string rest = pending;
  pending += "x\xA9\xC0\xAF\xED\xA0\x80\xE4\xB8";  // stray, overlong, surrogate, cut short
  DecodeKeys(pending, true);
  utf8_text = false;
  EXPECT_EQ(rest, "\xF0\x9F");
  EXPECT_EQ(pending, "");
  EXPECT_EQ(QueuedKeys(),
            (std::vector<std::string>{"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0", "\x9F", "x", "\xA9",
                                      "\xC0", "\xAF", "\xED", "\xA0", "\x80", "\xE4", "\xB8"}));
}

TEST_F(KeysTest, TheQueueKeepsTheNewest511) {
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string typed;
  for (int i = 0; i < 600; i++) typed += alphabet[i % alphabet.size()];
  DecodeKeys(typed, true);
  std::vector<std::string> expected;
  for (int i = 89; i < 600; i++) expected.push_back(std::string(1, alphabet[i % alphabet.size()]));
  std::vector<std::string> keys = QueuedKeys();
  EXPECT_EQ(keys.size(), 511u);
  EXPECT_EQ(keys, expected);
}

}  // namespace
