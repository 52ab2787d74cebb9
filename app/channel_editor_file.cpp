// The channel editor's save and F5: the file written through the file layer
// with only the changed lines replaced, and the changed channels sent to the
// radio by the load's own frames, the port opened for it and closed after.
#include <string>
#include <vector>

#include "app/channel_editor.h"
#include "app/main_menu.h"
#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/edited_file.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/serial_port.h"
#include "text/text.h"

namespace {

// The channels of a load that the radio stored: those chosen that load,
// less the refused ones and those from where the load stopped.
std::vector<bool> StoredChannels(const CheckedFile& checked, const LoadTally& tally) {
  std::vector<bool> stored(kChannels, false);
  for (int channel = 0; channel < kChannels; channel++) {
    stored[channel] = channel_chosen[channel] && checked.loads[channel];
    if (tally.unanswered.command && channel >= tally.unanswered.channel) stored[channel] = false;
  }
  for (const RefusedChannel& refused : tally.refused) stored[refused.channel] = false;
  return stored;
}

// The load's words for a sending: what was stored, refused, not sent; and a
// deleted channel, which no load can empty in the radio.
std::string SendingOutcome(const LoadTally& tally) {
  std::string text = "F5: " + LoadSummary(tally);
  if (!tally.empty_chosen.empty())
    text += "; " + Count(static_cast<int>(tally.empty_chosen.size()), "emptied channel") +
            " left as the radio has it (a load cannot empty one)";
  if (tally.unanswered.command)
    text = "F5: " + UnansweredText(tally.unanswered, "the sending stopped; what was not stored " +
                                                         std::string("stays to send"));
  return text;
}

}  // namespace

bool SaveChannels() {
  std::string lines[kChannels];
  for (int channel = 0; channel < kChannels; channel++) {
    const EditorChannel& edited = editor.channels[channel];
    // A new file gets all 62 lines; an old one only those changed.
    if (edited.changed || editor.missing) lines[channel] = edited.text;
  }
  std::string bytes = WithLinesReplaced(editor.bytes, lines);
  std::string why = WriteEditedFile(editor.name, bytes, editor.had_mark);
  if (!why.empty()) {
    Say("not saved: " + Displayed(why) + "; the file is as it was, the changes still here", true);
    last_error = 0;
    return false;
  }
  editor.bytes = bytes;
  editor.missing = false;
  for (EditorChannel& edited : editor.channels) edited.changed = false;
  Say("saved " + Displayed(editor.name) +
      (backup_made.empty() ? "" : "; " + Displayed(backup_made) + " keeps the old contents"));
  return true;
}

void SendChangedChannels() {
  CheckedFile checked;
  bool any = false;
  for (int channel = 0; channel < kChannels; channel++) {
    channel_chosen[channel] = editor.channels[channel].unsent;
    checked.loads[channel] = editor.channels[channel].loads;
    checked.fields[channel] = editor.channels[channel].fields;
    any = any || channel_chosen[channel];
  }
  if (!any) {
    Say("F5: no channel has changed since the start or the last F5", true);
    return;
  }
  Say("F5: opening " + Displayed(port_name) + " ...");
  DrawStatus();
  last_error = PortOpen(port_name + port_settings);
  if (last_error != 0) {
    Say("F5: " + Displayed(port_problem) + ": nothing sent, the changes stay to send", true);
    last_error = 0;
    return;
  }
  some_channels = true;
  LoadTally tally;
  // The progress on the second message row, below "opening".
  LoadCheckedChannels(checked, tally, {.on_screen = true, .row = rows - 1, .column = 1});
  PortClose();
  std::vector<bool> stored = StoredChannels(checked, tally);
  for (int channel = 0; channel < kChannels; channel++) {
    bool left = channel_chosen[channel] && !checked.loads[channel];  // emptied: nothing to send
    if (stored[channel] || left) editor.channels[channel].unsent = false;
  }
  Say(SendingOutcome(tally), tally.unanswered.command || !tally.refused.empty());
  DrawEditor();
}
