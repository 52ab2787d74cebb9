// The text console: one screen in fixed colours, lines of text and numbers,
// cursor positions, the line editor behind both prompts, and the queue of
// typed keys. The program keeps its own cursor position, so that wrapping,
// scrolling and the bounds of MoveCursor behave the same on every terminal.
//
// SetColours     sets the colours of everything written or cleared from now on
// ClearScreen    blanks the screen in the current colours, cursor to 1,1
// MoveCursor     moves the cursor; a position off the screen is ignored
// PrintText      writes bytes at the cursor, then a line end if asked
// PrintNumber    writes a number as " 5 " or "-5 ", then a line end if asked
// PromptNumber   writes the prompt, edits a line, returns its first item's number
// PromptText     writes the prompt, edits a line, returns its first item's text
// WaitForKey     "Press any key to continue" and a wait for one key
// PollKey        the next queued key, or "" at once when none is waiting
// EditLine       the typed line behind both prompts
// PrintProgress  one line on the standard error stream, rewritten in place, when
//                that is a terminal; "" clears it. Needs no ConsoleStart.
#pragma once
#include <cstdint>
#include <string>

extern int rows;     // screen rows, measured again before each prompt and on a resize
extern int columns;  // screen columns, likewise

void ConsoleStart();
void SetColours(int foreground, int background);
void ClearScreen();
void MoveCursor(int row, int column);
void PrintText(const std::string& text, bool end_line);
void PrintNumber(int16_t number, bool end_line);
int16_t PromptNumber(const std::string& prompt);
std::string PromptText(const std::string& prompt);
void WaitForKey();
std::string PollKey();
std::string EditLine();
void PrintProgress(const std::string& text);

// Turns the bytes a terminal sends into keys for the key queue: a character
// is one byte (on a UTF-8 terminal, one whole UTF-8 sequence), a special key
// a zero byte and its PC scan code. Bytes of an unfinished escape sequence or
// character stay in `pending` until the rest arrives or input is idle.
void DecodeKeys(std::string& pending, bool input_idle);
