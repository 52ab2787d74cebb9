// The screen under the console's output and the line editor: the program's
// own copy of the cursor, the size the user sees, and the one buffer in which
// each update is built before it goes to the terminal in one write.
//
// Flush           hands the buffered bytes to the terminal
// EscapeSequence  adds a control sequence, only when the output is a terminal
// PutBytes        writes bytes at the cursor, wrapping and scrolling as the terminal does
// PutClipped      the same, but stops in the bottom right cell instead of scrolling
// PlaceCursor     moves the cursor to a cell of the screen
// ClearBelow      blanks from the cursor to the end of the screen
// ScrollScreen    moves everything up (count > 0) or down (count < 0), blank rows coming in
// MeasureScreen   reads the size again (80 x 25 when it can't be measured)
// MarkScreen      marks the cell the cursor stands in now: a redraw tells where it went
// RecordDrawn     notes bytes the line editor has put at the cursor, for redraws
// ScreenRedrawn   after the terminal has reported a new size, or the program has
//                 been continued after a stop: reads the size again and draws again
//                 what the console has drawn since the screen was last cleared;
//                 true then (the line editor draws its line itself)
#pragma once
#include <string>

// The cursor as the program knows it; written by the procedures above.
extern int cursor_row;
extern int cursor_column;
extern long scrolled_rows;  // rows the screen has moved up so far (down counts back)
// The marked cell, as the last redraw placed it, and scrolled_rows then.
extern int mark_row;
extern int mark_column;
extern long mark_scrolled;

void Flush();
void EscapeSequence(const std::string& sequence);
void PutBytes(const std::string& bytes);
void PutClipped(const std::string& bytes);
void PlaceCursor(int row, int column);
void ClearBelow();
void ScrollScreen(int count);
void MeasureScreen();
void MarkScreen();
void RecordDrawn(const std::string& bytes);
bool ScreenRedrawn();
