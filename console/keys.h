// The keys: what the terminal sends, decoded into the key queue, and the
// answers of a standard input that is no terminal.
//
// DecodeKeys      turns typed bytes into keys: a character is one byte (on a UTF-8
//                 terminal one whole UTF-8 sequence), a special key a zero byte and
//                 its PC scan code; every escape sequence is one key, and one the
//                 program has no use for has scan code kOtherKey. Bytes that may
//                 still become more of a key stay in `pending` unless input is idle.
// WaitForKeys     waits up to ms milliseconds for typed input, a new size or a
//                 continue after a stop
// ReadStreamLine  the next line of a standard input that is no terminal, without its line end
#pragma once
#include <string>

// Scan codes of the special keys the line editor acts on, and of every key
// the program has no use for (function keys, keys with Ctrl, Shift or Alt).
constexpr char kUp = 0x48, kDown = 0x50, kLeft = 0x4B, kRight = 0x4D;
constexpr char kHome = 0x47, kEnd = 0x4F, kDelete = 0x53;
// Those the channel editor acts on too.
constexpr char kPageUp = 0x49, kPageDown = 0x51, kShiftTab = 0x0F;
constexpr char kF1 = 0x3B, kF2 = 0x3C, kF5 = 0x3F, kF10 = 0x44;
constexpr char kOtherKey = 0;

void DecodeKeys(std::string& pending, bool input_idle);
void WaitForKeys(int ms);
std::string ReadStreamLine();
