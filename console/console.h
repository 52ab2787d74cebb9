// The text console: one screen in fixed colours, lines of text and numbers,
// cursor positions, the line editor behind both prompts, and the queue of
// typed keys. It lives in four files: the screen (screen.cpp: cells,
// colours, cursor, the output buffer), the keys (keys.cpp: reading the
// terminal, decoding its sequences, the key queue), the line editor
// (line_editor.cpp: the typed line and the two prompts) and a job's progress
// (progress.cpp).
//
// ConsoleStart   takes the terminal over and measures it; every procedure here calls it
// SetColours     sets the colours of everything written or cleared from now on
// ClearScreen    blanks the screen in the current colours, cursor to 1,1
// MoveCursor     moves the cursor; a position off the screen is ignored
// PrintText      writes bytes at the cursor, then a line end if asked
// PrintNumber    writes a number as " 5 " or "-5 ", then a line end if asked
// PrintInRow     writes bytes at the cursor, stopping at the bottom right cell
//                instead of scrolling
// PromptNumber   writes the prompt, edits a line, returns its first item's number
// PromptText     writes the prompt, edits a line, returns its first item's text
// WaitForKey     "Press any key to continue" and a wait for one key
// PollKey        the next queued key, or "" at once when none is waiting
// PrintProgress  one line on the standard error stream, rewritten in place, when
//                that is a terminal; "" clears it. Needs no ConsoleStart.
// PrintProblem   one line "quenmar-setup: text" on the standard error stream,
//                the program's every complaint: ended by CR LF once the
//                console holds a terminal on it, else by LF. It shows the text
//                Displayed: a name with control bytes in it never reaches the
//                terminal raw, and no caller need escape. Needs no ConsoleStart.
// ShowProgress   the channel a job is working on (of how many), where the
//                door that started the job said: a row of the screen, or the
//                progress line
#pragma once
#include <cstdint>
#include <string>

// The screen's size, measured by the screen (screen.cpp) at the start and
// before each prompt, and measured again by the first output, prompt or key
// wait after the terminal has reported a new size (80 x 25 when the terminal
// cannot be measured).
extern int rows;
extern int columns;

// The whole line typed at the last prompt; written by PromptNumber and PromptText.
extern std::string typed_line;

// Where a job shows its progress, as the door that starts it decides and
// hands it: the menu's screen at row 5, column 5 (the last row of a shorter
// window), another row of it, or the progress line on the error stream of a
// command-line job. The job reports; the place says how it is shown.
struct ProgressPlace {
  bool on_screen = false;
  int row = 5;
  int column = 5;
};

void ConsoleStart();
void SetColours(int foreground, int background);
void ClearScreen();
void MoveCursor(int row, int column);
void PrintText(const std::string& text, bool end_line);
void PrintNumber(int16_t number, bool end_line);
void PrintInRow(const std::string& text);
int16_t PromptNumber(const std::string& prompt);
std::string PromptText(const std::string& prompt);
void WaitForKey();
std::string PollKey();
void PrintProgress(const std::string& text);
void PrintProblem(const std::string& text);
void ShowProgress(const ProgressPlace& place, const char* menu_text, int channel, int channels);
