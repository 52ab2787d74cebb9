// The comparison, for --compare: the radio's channels beside a memory file's.
#include <string>

#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"

Comparison CompareMemoriesWith(const std::string& name, const ProgressPlace& progress) {
  // The file first, read as a load reads it, so that its modes and filters
  // are those a load would send; then the radio, read as a save reads it.
  // The check's findings are not shown: a line with any is marked.
  CheckedFile checked = ReadCheckedMemoryFile(name, nullptr);
  const bool* loads = checked.loads;
  const ChannelFields* file = checked.fields;

  Comparison comparison;
  RadioChannel read[kChannels];
  comparison.unanswered = ReadChosenChannels(read, progress);
  if (comparison.unanswered.command) return comparison;
  for (int channel = 0; channel < kChannels; channel++) {
    if (!channel_chosen[channel]) continue;
    RadioChannel& radio = read[channel];
    if (checked.line_warnings[channel] > 0 && (loads[channel] || radio.filled))
      comparison.lines_with_findings.push_back(channel);
    if (!loads[channel]) {
      // A load leaves such a channel as the radio has it: a file that holds
      // it empty does not empty it, and that is a difference too.
      if (!radio.filled) continue;
      comparison.compared++;
      radio.name.resize(kNameLength, ' ');
      comparison.differences.push_back({channel, radio, RadioChannel()});
      continue;
    }
    comparison.compared++;
    RadioChannel wanted;
    wanted.filled = true;
    wanted.frequency = file[channel].frequency;
    wanted.name = NameAsSent(file[channel].name);
    wanted.name.resize(kNameLength, ' ');
    wanted.mode = file[channel].mode & 0xFF;
    wanted.filter = file[channel].filter & 0xFF;
    radio.name.resize(kNameLength, ' ');
    if (radio.filled && radio.frequency == wanted.frequency && radio.mode == wanted.mode &&
        radio.filter == wanted.filter && radio.name == wanted.name)
      continue;
    comparison.differences.push_back({channel, radio, wanted});
  }
  PrintProgress("");
  return comparison;
}
