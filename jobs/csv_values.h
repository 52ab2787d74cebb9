// CHIRP's values and the memory file's, one field at a time, without
// warnings: what a value becomes, or why it cannot. The conversions say
// what they make of each.
//
// MegahertzText    seven frequency digits (10 Hz steps) as CHIRP writes MHz:
//                  7.030000, 14.234500
// MegahertzDigits  MHz text as the memory file's seven digits, rounded to
//                  10 Hz; how it went
// ChirpModeNumber  a CSV mode word as the radio's mode number, -1 for none;
//                  `near` tells that the word is only close to the mode
// ChirpLocation    a Location as a channel number 0-61, -1 for any other text
// ChirpFilter      a filter word of the Comment ("2.4", with a decimal comma
//                  where the separator is not the comma) as the radio's filter,
//                  0 for none
// CommentWords     the Comment's words, split at its blanks
#pragma once
#include <string>
#include <vector>

enum class Frequency { kGood, kRounded, kNotANumber, kNegative, kTooHigh };

std::string MegahertzText(const std::string& digits);
Frequency MegahertzDigits(const std::string& text, std::string& digits);
int ChirpModeNumber(const std::string& word, bool& near);
int ChirpLocation(const std::string& location);
int ChirpFilter(const std::string& word, char separator);
std::vector<std::string> CommentWords(const std::string& text);
