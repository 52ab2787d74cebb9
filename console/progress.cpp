// A job's progress, shown where the front door that started it said.
#include <cstdint>
#include <string>

#include "console/console.h"
#include "console/screen.h"
#include "console/terminal.h"
#include "console/typed_answers.h"

void ShowProgress(const ProgressPlace& place, const char* menu_text, int channel, int channels) {
  if (!place.on_screen) {
    PrintProgress("channel " + std::to_string(channel) + " of " + std::to_string(channels));
    return;
  }
  // Row 5, or the last row of a shorter window. The line end comes only
  // where it can't scroll: in the bottom row it would, on every channel.
  // Without a terminal nothing moves: every line ends with its own.
  MoveCursor(rows < place.row ? rows : place.row, place.column);
  PrintInRow(menu_text + NumberText(static_cast<int16_t>(channel)));
  if (cursor_row < rows || !output_is_terminal) PrintText("", true);
}
