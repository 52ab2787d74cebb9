// Text helpers every part of the program may use, the virtual radio too: hex,
// upper case, trimming, and bytes shown safely on a terminal. This file
// includes nothing of the program's own, so no include cycle can pass through it.
//
// Hex2        a byte as two upper-case hexadecimal digits
// UpperCase   the text with a-z made A-Z, every other byte as it is
// Trimmed     the text without the given blanks before and after it
// Printable   the text with every byte outside printable ASCII as \xHH
// Quoted      the text in double quotes, printable ASCII only: " and \ after a
//             backslash, every other byte outside printable ASCII as \xHH
#pragma once
#include <string>

std::string Hex2(unsigned char byte);
std::string UpperCase(std::string text);
std::string Trimmed(const std::string& text, const char* blanks = " ");
std::string Printable(const std::string& text);
std::string Quoted(const std::string& text);
