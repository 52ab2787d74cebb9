// How a typed line becomes an answer, for both prompts: the first item of the
// line, the number made from it, the value of a short text, and the printed
// form of a number.
//
// FirstItem     the first item of a typed line, in number or in text mode
// ItemToNumber  the 16-bit number an item gives (integer or floating reading)
// TextToNumber  the value of a text (the program uses it on single digits)
// NumberText    a number as PrintNumber writes it: " 5 ", "-5 "
// ItemNote      why the first item of a line in text mode is not the whole line,
//               in words ("a comma ends the name"); "" when it is
#pragma once
#include <cstdint>
#include <string>

std::string FirstItem(const std::string& line, bool number_mode);
int16_t ItemToNumber(const std::string& item);
double TextToNumber(const std::string& text);
std::string NumberText(int16_t number);
std::string ItemNote(const std::string& line);
