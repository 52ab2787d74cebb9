// A job's progress, shown where the front door that started it said.
#include <cstdint>
#include <string>

#include "app/console.h"
#include "jobs/jobs.h"

bool progress_on_screen = true;

void ShowProgress(const char* menu_text, int channel) {
  if (!progress_on_screen) {
    PrintProgress("channel " + std::to_string(channel) + " of " + std::to_string(kChannels));
    return;
  }
  MoveCursor(5, 5);
  PrintText(menu_text, false);
  PrintNumber(static_cast<int16_t>(channel), true);
}
