// Text helpers every part of the program may use, the virtual radio too: hex,
// upper case, trimming, UTF-8, and bytes shown safely on a terminal. This file
// includes nothing of the program's own, so no include cycle can pass through it.
//
// IsDigit     whether a byte is a decimal digit, 0-9, in any locale
// Count       a count and what it counts, plural unless it is 1: "1 channel", "3 warnings"
// Hex2        a byte as two upper-case hexadecimal digits
// UpperCase   the text with a-z made A-Z, every other byte as it is
// Trimmed     the text without the given blanks before and after it
// Printable   the text with every byte outside printable ASCII as \xHH
// Quoted      the text in double quotes, printable ASCII only: " and \ after a
//             backslash, every other byte outside printable ASCII as \xHH
// Utf8Length  the length of the UTF-8 sequence at bytes[i]: whole, 0 while unfinished, 1 when
//             stray. Overlong forms, surrogates and anything above U+10FFFF are no UTF-8
// DecodeUtf8  the code point of the UTF-8 sequence at text[at] by Utf8Length's rules, moving
//             `at` past it; -1 for a byte that begins none (it alone is passed over)
// AppendUtf8  a code point added to the text as UTF-8
// IsControlChar  whether the character of `length` bytes at text[i] is a control
//             character: a byte 00-1F, 7F or 80-9F, or U+0080 to U+009F in UTF-8
// Displayed   the text as a terminal may show it: each control character as
//             \xHH per byte (\x9B), everything else as it is; with `utf8` a whole
//             UTF-8 character is one character, else every byte is one
// WholeNumber whether the text is a decimal number from lowest to highest (digits
//             only, a minus sign allowed), and its value
// HexBytes    whether the text is pairs of hexadecimal digits (either case), and
//             the bytes they give
#pragma once
#include <cstddef>
#include <string>

bool IsDigit(char c);
std::string Count(int count, const char* what);
std::string Hex2(unsigned char byte);
std::string UpperCase(std::string text);
std::string Trimmed(const std::string& text, const char* blanks = " ");
std::string Printable(const std::string& text);
std::string Quoted(const std::string& text);
size_t Utf8Length(const std::string& bytes, size_t i);
long DecodeUtf8(const std::string& text, size_t& at);
void AppendUtf8(std::string& text, char32_t code);
bool IsControlChar(const std::string& text, size_t i, size_t length);
std::string Displayed(const std::string& text, bool utf8 = true);
bool WholeNumber(const std::string& text, long lowest, long highest, long& value);
bool HexBytes(const std::string& text, std::string& bytes);
