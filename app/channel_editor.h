// The channel editor of --edit: the 62 channels of a memory file on one
// screen, each field edited in place with the line editor's keys and taken
// only when the radio can hold it; saved through the file layer, every line
// not touched kept byte for byte; the changed channels sent to the radio
// with F5 by the load's own frames. It lives in four files: the start, the
// keys and the end (channel_editor.cpp), the screen (channel_editor_screen.cpp),
// the fields and their rules (channel_editor_fields.cpp), and the save and
// F5 (channel_editor_file.cpp).
//
// RunChannelEditor   --edit FILE on a terminal; the exit status: 0 at the end,
//                    kUsageError when it is refused (no terminal, a file of
//                    another kind), with one line saying why
// NextEditorKey      the next typed key, the screen drawn again meanwhile after a
//                    new size or a continue; Ctrl-Z stops the program here
// ReadLines          what a load reads from every channel's line, again
// Changed            whether a channel has changes not yet saved
// DrawEditor         the whole screen; DrawRows the channels' rows and the cursor;
//                    DrawStatus the message and status rows and the cursor
// Say                a line (or two) on the message rows; with `beep`, the bell too
// ShowKeys           F1's screen of the keys, until a key is pressed
// EditField          Enter: the field under the cursor edited in place; true
//                    when the channel took it. A typed character starts an
//                    edit too, the field's text replaced by it (`first_key`)
// StepField          Space on the mode or filter: the next one of its table
// EmptyChannel       Delete: the channel under the cursor made empty
// SaveChannels       Ctrl-S or F2: the file written; true when it was
// SendChangedChannels  F5: the channels changed since the start or the last F5,
//                    sent as a load of their lines sends them
#pragma once
#include <string>

#include "jobs/channel_line.h"
#include "jobs/jobs.h"

enum EditorField { kFrequencyField, kNameField, kModeField, kFilterField, kFieldCount };

struct EditorChannel {
  std::string text;      // its line: as the file holds it, or as it was changed
  bool changed = false;  // since the last save
  bool unsent = false;   // since the start or the last F5
  bool marked = false;   // --check finds something in the line as the file holds it
  bool loads = false;    // what a load reads from `text`: a frequency, and its fields
  ChannelFields fields;
};

struct Editor {
  std::string name;   // the file, as given
  std::string bytes;  // its bytes as last read or saved, without a byte-order mark
  bool had_mark = false;
  bool missing = false;  // no file yet: made by the first save
  EditorChannel channels[kChannels];
  int current = 0;  // the channel under the cursor
  int field = kFrequencyField;
  int top = 0;  // the first channel shown
  std::string message;
  // The field being edited in place, and the cursor in it, while one is.
  bool editing = false;
  std::string edit_text;
  size_t edit_position = 0;
};

// The one editor of the run; written by the editor's procedures only.
extern Editor editor;

int RunChannelEditor(const std::string& name);
std::string NextEditorKey();
void ReadLines();
bool Changed();
void DrawEditor();
void DrawRows();
void DrawStatus();
void Say(const std::string& text, bool beep = false);
void ShowKeys();
bool EditField(const std::string& first_key = "");
void StepField();
void EmptyChannel();
bool SaveChannels();
void SendChangedChannels();
