// The channel editor's start, keys and end: the file read and checked, the
// loop of keys, and the question before unsaved changes are dropped.
#include "app/channel_editor.h"

#include <cstdio>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/keys.h"
#include "console/screen.h"
#include "console/terminal.h"
#include "ending/fatal.h"
#include "jobs/edited_file.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "text/text.h"

Editor editor;

bool Changed() {
  for (const EditorChannel& channel : editor.channels)
    if (channel.changed) return true;
  return false;
}

namespace {

// How long a key wait lasts before it looks again; a key, a new size and a
// continue each end it early.
constexpr int kKeyWaitMs = 1000;
constexpr char kCtrlQ = 0x11, kCtrlS = 0x13, kCtrlL = 0x0C, kCtrlZ = 0x1A;

// --check's findings of the file, as it gives them; the rows with some are
// marked. Shown on a screen of their own before the editor's.
void ShowFindings() {
  std::FILE* capture = std::tmpfile();
  CheckedFile checked = ReadCheckedMemoryFile(editor.name, capture);
  // A line ended by CR alone is a row here, but a load reads it together
  // with the next line: the findings' line numbers then name no row.
  bool lone_cr = false;
  for (size_t at = editor.bytes.find('\r'); at != std::string::npos && !lone_cr;
       at = editor.bytes.find('\r', at + 1))
    lone_cr = editor.bytes.compare(at, 2, "\r\n") != 0;
  for (int channel = 0; channel < kChannels; channel++)
    editor.channels[channel].marked = !lone_cr && checked.line_warnings[channel] > 0;
  if (checked.warnings == 0 || !capture) {
    if (capture) std::fclose(capture);
    return;
  }
  std::vector<std::string> lines;
  std::rewind(capture);
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, capture)) {
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  std::fclose(capture);
  ClearScreen();
  PrintText(Displayed(editor.name) + ": " + Count(checked.warnings, "warning") +
                (lone_cr ? "; some lines end in CR alone, which a load reads together with the "
                           "next line"
                         : "; the rows marked ! load otherwise than they show"),
            true);
  int room = rows - 4 > 1 ? rows - 4 : 1;
  for (int k = 0; k < static_cast<int>(lines.size()) && k < room; k++)
    PrintText(Displayed(lines[k]), true);
  if (static_cast<int>(lines.size()) > room)
    PrintText("... (quenmar-setup --check " + Displayed(editor.name) + " shows them all)", true);
  WaitForKey();
}

// The channels' lines as the file holds them.
void TakeFileLines() {
  std::vector<FileLine> lines = FileLines(editor.bytes);
  for (int channel = 0; channel < kChannels; channel++) {
    EditorChannel& taken = editor.channels[channel];
    taken = EditorChannel{};
    if (channel < static_cast<int>(lines.size())) {
      const FileLine& line = lines[channel];
      taken.text = editor.bytes.substr(line.begin, line.end - line.begin);
    } else if (editor.missing) {
      taken.text = FormatChannelLine(channel, false, "", "", 0, 0);
    }
  }
}

void Move(int channel) {
  editor.current = channel < 0 ? 0 : channel >= kChannels ? kChannels - 1 : channel;
}

// The keys that move the cursor; false for any other key.
bool TakeMoveKey(const std::string& key) {
  int page = rows - 4 > 1 ? rows - 4 : 1;
  int next = (editor.field + 1) % kFieldCount;
  int previous = (editor.field + kFieldCount - 1) % kFieldCount;
  if (key == "\t") editor.field = next;
  if (key == "\t") return true;
  if (key.size() != 2 || key[0] != '\0') return false;
  switch (key[1]) {
    case kUp:
      Move(editor.current - 1);
      break;
    case kDown:
      Move(editor.current + 1);
      break;
    case kPageUp:
      Move(editor.current - page);
      break;
    case kPageDown:
      Move(editor.current + page);
      break;
    case kHome:
      Move(0);
      break;
    case kEnd:
      Move(kChannels - 1);
      break;
    case kRight:
      editor.field = next;
      break;
    case kShiftTab:
    case kLeft:
      editor.field = previous;
      break;
    default:
      return false;
  }
  return true;
}

// Ctrl-Q or F10: true when the editor may end.
bool MayQuit() {
  if (!Changed()) return true;
  Say("Save changes? (y/n)");
  for (;;) {
    DrawStatus();
    std::string key = NextEditorKey();
    if (key == "y" || key == "Y") return SaveChannels();
    if (key == "n" || key == "N") return true;
    if (key == "\x1b") {
      Say("");
      return false;
    }
    TerminalBeep();
  }
}

// The keys that do something to the channel or the file; false to quit.
bool TakeCommandKey(const std::string& key) {
  char special = key.size() == 2 && key[0] == '\0' ? key[1] : -1;
  if (key == "\r" || key == "\n") {
    EditField();
  } else if (key == " ") {
    StepField();
  } else if (static_cast<unsigned char>(key[0]) > ' ' && key != "\x7f") {
    EditField(key);  // a character typed over the field
  } else if (special == kDelete) {
    EmptyChannel();
  } else if (key == std::string(1, kCtrlS) || special == kF2) {
    SaveChannels();
  } else if (special == kF5) {
    SendChangedChannels();
  } else if (special == kF1) {
    ShowKeys();
  } else if (key == std::string(1, kCtrlL)) {
    DrawEditor();
  } else if (key == std::string(1, kCtrlQ) || special == kF10) {
    return !MayQuit();
  }
  return true;
}

}  // namespace

std::string NextEditorKey() {
  for (;;) {
    std::string key = PollKey();
    if (key == std::string(1, kCtrlZ)) {
      TerminalStop();
      continue;
    }
    if (!key.empty()) return key;
    if (ScreenRedrawn()) DrawEditor();
    Flush();
    WaitForKeys(kKeyWaitMs);
  }
}

void ReadLines() {
  // As a load of the file in a fresh run reads them, line after line; the
  // run's own mode and filter are left as they were.
  int16_t mode = current_mode, filter = current_filter;
  current_mode = current_filter = 0;
  for (EditorChannel& channel : editor.channels) {
    channel.fields = ChannelFields{};
    channel.loads = ParseChannelLine(SeparatorsAsB3(channel.text), channel.fields);
  }
  current_mode = mode;
  current_filter = filter;
}

int RunChannelEditor(const std::string& name) {
  ConsoleStart();
  if (!input_is_terminal || !output_is_terminal) {
    PrintProblem(
        "--edit needs a terminal to draw on and to type in; to see the channels, use "
        "--list " +
        name);
    return kUsageError;
  }
  editor.name = name;
  FileBytes file;
  std::string refusal = ReadEditedFile(name, file, editor.missing);
  if (!refusal.empty()) {
    PrintProblem(refusal + ": nothing is edited");
    return kUsageError;
  }
  editor.bytes = file.bytes;
  editor.had_mark = file.had_mark;
  TakeFileLines();
  ReadLines();
  SetColours(15, 1);
  if (!editor.missing) ShowFindings();
  if (editor.missing) Say(Displayed(name) + " is new: it is made by the first save");
  DrawEditor();
  for (;;) {
    std::string key = NextEditorKey();
    if (!TakeMoveKey(key) && !TakeCommandKey(key)) break;
    DrawStatus();
    DrawRows();
  }
  // The terminal's own colours, on a cleared screen.
  EscapeSequence("\x1b[0m");
  ClearScreen();
  return kAllWell;
}
