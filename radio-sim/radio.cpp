// The virtual radio's memory and its answers to the program's commands.
#include "radio-sim/radio.h"

#include <string>
#include <vector>

#include "ending/fatal.h"
#include "jobs/channel_line.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "text/text.h"

Channel channels[kChannels];
Channel vfo = {false, EncodeFrequency("1420000"), 1, 2, "       "};  // 14.2 MHz USB 2.4
int selected_channel = 0;
std::string radio_clock(6, '\0');
bool refuse_recall = false;
bool refuse_reads = false;
bool short_names = false;
bool mode_only = false;
namespace {

std::vector<Fault> faults;  // the ones AddFault took, in order

std::string Ok() {
  return ReplyFrame(std::string(1, ReplyOk));
}
std::string Refused() {
  return ReplyFrame(std::string(1, ReplyRefused));
}

std::string SetFrequencyFrom(const std::string& data) {
  if (data.size() != 4 && data.size() != 5) return Refused();
  for (char byte : data) {
    if (PackedValue(byte) < 0) return Refused();
  }
  // An HF radio has no digits above 10 MHz: a fifth byte must be 00.
  if (data.size() == 5 && data[4] != 0) return Refused();
  vfo.frequency = data.substr(0, 4);
  // The radio tunes in 10 Hz steps; the 1 Hz digit is dropped.
  vfo.frequency[0] = static_cast<char>(vfo.frequency[0] & 0xF0);
  return Ok();
}

std::string SetClockFrom(const std::string& data) {
  // Day, month, year, hour, minute, second and the highest value of each.
  static const int kLowest[6] = {1, 1, 0, 0, 0, 0};
  static const int kHighest[6] = {31, 12, 99, 23, 59, 59};
  if (data.size() != 6) return Refused();
  for (size_t i = 0; i < 6; i++) {
    int value = PackedValue(data[i]);  // -1 when not decimal
    if (value < kLowest[i] || value > kHighest[i]) return Refused();
  }
  radio_clock = data;
  return Ok();
}

// The fields of an option's text between its colons.
std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1)
    fields.push_back(text.substr(start, colon - start));
  fields.push_back(text.substr(start));
  return fields;
}

void Fill(int channel, const std::string& digits, int mode, int filter, const std::string& name) {
  channels[channel] = {true, EncodeFrequency(digits), mode, filter, name};
}

// The fault that takes this command now, if one does; it is then used up once.
const Fault* FaultOf(char command, const std::string& data) {
  int channel = selected_channel;
  if (command == SelectMemory && data.size() == 1 && PackedValue(data[0]) >= 0)
    channel = PackedValue(data[0]);
  for (Fault& fault : faults) {
    if (fault.command != command || fault.left == 0) continue;
    if (fault.channel >= 0 && fault.channel != channel) continue;
    if (fault.left > 0) fault.left--;
    return &fault;
  }
  return nullptr;
}

std::string FrequencyReply() {
  return ReplyFrame(ReadFrequency + vfo.frequency + '\0');
}

std::string ModeReply() {
  if (mode_only) return ReplyFrame({ReadMode, static_cast<char>(vfo.mode)});
  return ReplyFrame({ReadMode, static_cast<char>(vfo.mode), static_cast<char>(vfo.filter)});
}

// What a faulty radio answers in place of the answer.
std::string FaultyAnswer(const Fault& fault, char command) {
  switch (fault.kind) {
    case FaultKind::kRefuse:
      return Refused();
    case FaultKind::kForeign:
      // The answer to another read: as a late reply would come.
      return command == ReadFrequency ? ModeReply() : FrequencyReply();
    case FaultKind::kShort:
      // A read's command byte without the data it needs (half a frequency,
      // no mode, no name); a setting's reply without its status byte.
      if (command == ReadFrequency) return ReplyFrame(ReadFrequency + vfo.frequency.substr(0, 2));
      if (command == ReadMode || command == ReadName) return ReplyFrame(std::string(1, command));
      return ReplyFrame("");
    case FaultKind::kHexDigits: {
      std::string frequency = vfo.frequency;
      frequency[0] = static_cast<char>((frequency[0] & 0xF0) | 0x0A);  // a 1 Hz digit A
      return ReplyFrame(ReadFrequency + frequency + '\0');
    }
  }
  return Refused();
}

}  // namespace

bool AddFault(FaultKind kind, const std::string& text) {
  std::vector<std::string> parts = Fields(text);  // "any" and "always" when left out
  if (parts.size() > 3) return false;
  std::string code;
  if (parts[0].size() != 2 || !HexBytes(parts[0], code)) return false;
  Fault fault;
  fault.kind = kind;
  fault.command = code[0];
  if (kind == FaultKind::kHexDigits && fault.command != ReadFrequency) return false;
  long number = 0;
  if (parts.size() > 1 && parts[1] != "any") {
    if (!WholeNumber(parts[1], 0, kChannels - 1, number)) return false;
    fault.channel = static_cast<int>(number);
  }
  if (parts.size() > 2 && parts[2] != "always") {
    if (!WholeNumber(parts[2], 1, 1000000000, number)) return false;
    fault.left = number;
  }
  faults.push_back(fault);
  return true;
}

std::string ReplyFrame(const std::string& body) {
  return ReplyHeader() + body + FrameEnd;
}

std::string AnswerCommand(char command, const std::string& data) {
  if (const Fault* fault = FaultOf(command, data)) return FaultyAnswer(*fault, command);
  switch (command) {
    case ReadFrequency:
      if (!data.empty() || refuse_reads) return Refused();
      return FrequencyReply();
    case ReadMode:
      if (!data.empty() || refuse_reads) return Refused();
      return ModeReply();
    case SetFrequency:
      return SetFrequencyFrom(data);
    case SetModeFilter: {
      if (data.size() != 2) return Refused();
      int mode = static_cast<unsigned char>(data[0]);
      int filter = static_cast<unsigned char>(data[1]);
      if (!ValidMode(mode) || !ValidFilter(filter)) return Refused();
      vfo.mode = mode;
      vfo.filter = filter;
      return Ok();
    }
    case SelectMemory: {
      int channel = data.size() == 1 ? PackedValue(data[0]) : -1;
      if (channel < 0 || channel >= kChannels) return Refused();
      selected_channel = channel;
      return Ok();
    }
    case StoreMemory:
      if (!data.empty()) return Refused();
      channels[selected_channel] = vfo;
      channels[selected_channel].filled = true;
      return Ok();
    case RecallMemory:
      if (!data.empty() || refuse_recall || !channels[selected_channel].filled) return Refused();
      vfo = channels[selected_channel];
      return Ok();
    case ReadName:
      if (!data.empty() || refuse_reads) return Refused();
      if (short_names)
        return ReplyFrame(ReadName + vfo.name.substr(0, vfo.name.find_last_not_of(' ') + 1));
      return ReplyFrame(ReadName + vfo.name);
    case SetName:
      if (data.size() > kNameLength) return Refused();
      vfo.name = data;
      vfo.name.resize(kNameLength, ' ');
      return Ok();
    case SetClock:
      return SetClockFrom(data);
  }
  return Refused();
}

bool LoadChannels(const std::string& path) {
  FileReader file;
  OpenMemoryFileForReading(path, file);
  if (last_error != 0) return false;
  for (int channel = 0; channel < kChannels; channel++) {
    std::string line = ReadChannelLine(file);
    // Each line stands alone: a mode or filter text that is not recognised
    // gives LSB and 6.0, not what the line before had.
    current_mode = 0;
    current_filter = 1;
    ChannelFields fields;
    channels[channel] = Channel();
    if (!ParseChannelLine(line, fields)) continue;
    fields.name.resize(kNameLength, ' ');
    Fill(channel, fields.frequency, fields.mode, fields.filter, fields.name);
  }
  CloseMemoryFileAfterReading(file);
  return true;
}

bool SaveChannels(const std::string& path) {
  OpenMemoryFileForWriting(path);
  if (last_error != 0) return false;
  for (int channel = 0; channel < kChannels; channel++) {
    const Channel& c = channels[channel];
    WriteChannelLine(FormatChannelLine(channel, c.filled, FrequencyDigitsOf(c.frequency), c.name,
                                       c.mode, c.filter));
  }
  CloseMemoryFileAfterWriting();
  return last_error == 0;
}

void FillDemoChannels() {
  Fill(0, "0355000", 0, 2, "80M NET");
  Fill(1, "0703000", 3, 4, "CW 40M ");
  Fill(2, "1000000", 2, 1, "WWV    ");
  Fill(5, "1423450", 1, 2, "BEACON ");
  Fill(10, "2107500", 4, 5, "RTTY 15");
  Fill(20, "2960000", 5, 1, "FM 10M ");
}

bool FillChannel(const std::string& text) {
  std::vector<std::string> parts = Fields(text);
  if (parts.size() != 5) return false;
  long channel = 0, mode = 0, filter = 0;
  if (!WholeNumber(parts[0], 0, kChannels - 1, channel) || !WholeNumber(parts[2], 0, 255, mode) ||
      !WholeNumber(parts[3], 0, 255, filter))
    return false;
  const std::string& digits = parts[1];
  if (digits.size() != 7 || digits.find_first_not_of("0123456789") != std::string::npos)
    return false;
  std::string name;
  if (parts[4].size() > 2 * kNameLength || !HexBytes(parts[4], name)) return false;
  name.resize(kNameLength, ' ');
  Fill(static_cast<int>(channel), digits, static_cast<int>(mode), static_cast<int>(filter), name);
  return true;
}
