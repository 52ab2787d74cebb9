// Fuzz target: the radio's replies as a save, a comparison and a load meet
// them. The program's port is played here over a clock of its own, so that
// a reply window of 3 seconds costs nothing: each byte the program writes
// comes back as the line's echo, and each frame the radio hears gets the
// virtual radio's own answer (radio-sim/radio.cpp), late, twice, not at all,
// refused or behind junk, as the input says.
//
// Input: 8 bytes of which channels the radio holds filled, one byte naming
// the channel the compared file holds otherwise, 4 bytes naming channels the
// loaded file sets, then one fate a frame heard (the rest answered at once).
//
// Properties: a save that ends well wrote the line of every channel as the
// radio holds it (a name the radio refused on the last of three tries is
// blanks), one that stopped left the file as it was; a comparison that ends well names the one
// channel that differs; a load that ends well (no refusal, no stop) left
// every channel of the file as its line says and every other as it was.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "jobs/channel_line.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "link/port_trace.h"
#include "link/serial_port.h"
#include "radio-sim/radio.h"

namespace {

// ---- The line: a clock, the bytes on their way to the program, and what
// the radio says once its delay is over.

constexpr double kByteTime = 10.0 / 1200;
double now = 1000;
struct TimedByte {
  double due;
  char byte;
};
std::deque<TimedByte> on_line;  // in the order they arrive
double line_free = 0;           // when the last byte on the line has arrived
struct Held {
  double due;
  std::string bytes;
};
std::vector<Held> held;  // earliest first
std::string heard;       // what the radio received since the last FD

void PutOnLine(const std::string& bytes, double earliest) {
  double due = std::max(earliest, line_free);
  for (char byte : bytes) on_line.push_back({due += kByteTime, byte});
  line_free = due;
}

void Advance(double to) {
  now = std::max(now, to);
  while (!held.empty() && held.front().due <= now) {
    PutOnLine(held.front().bytes, held.front().due);
    held.erase(held.begin());
  }
}

void Hold(double due, const std::string& bytes) {
  auto at = std::upper_bound(held.begin(), held.end(), due,
                             [](double d, const Held& h) { return d < h.due; });
  held.insert(at, {due, bytes});
}

unsigned Arrived() {
  Advance(now);
  unsigned count = 0;
  while (count < on_line.size() && on_line[count].due <= now) count++;
  return count;
}

// ---- The radio: a fate for each frame it hears, taken from the input.

const uint8_t* fates = nullptr;
size_t fates_left = 0;
bool may_refuse_names = false;  // a save only: a refused name is then blanks
// Of each channel: how often the radio heard it selected, and whether the
// last name read it heard of it was refused.
int selections[kChannels];
bool copied = false;  // a reply of this job went out twice
bool name_refused[kChannels];

int NextByte() {
  if (fates_left == 0) return -1;
  fates_left--;
  return *fates++;
}

void Hears(const std::string& bytes, double at) {
  size_t start = bytes.rfind(std::string("\xFE\xFE", 2));
  if (start == std::string::npos || bytes.size() - start < 6) return;
  std::string frame = bytes.substr(start);
  if (frame[2] != frame_header[2]) return;
  char command = frame[4];
  std::string data = frame.substr(5, frame.size() - 6);
  if (command == SelectMemory && data.size() == 1 && PackedValue(data[0]) >= 0 &&
      PackedValue(data[0]) < kChannels)
    selections[PackedValue(data[0])]++;
  int fate = NextByte();
  // Once a reply went out twice, the radio hears every later frame and
  // answers it, late or refused or not, but never drops it or answers
  // slowly: a copy taken in place of an answer that never comes shifts the
  // replies after it by one, and while every answer is an FB nothing on the
  // line tells. The program finds replies out of step by a reply where none
  // can be or one of the wrong kind, which this model still puts to it.
  if (fate >= 0 && copied && ((fate & 7) == 4 || (fate & 7) == 7)) fate &= ~7;
  copied = copied || (fate >= 0 && (fate & 7) == 3);
  TraceNote("radio: fate " + std::to_string(fate) + " for " + FrameHex(frame));
  if (command == ReadName) name_refused[selected_channel] = (fate & 7) == 5 && may_refuse_names;
  if (fate < 0) return Hold(at, AnswerCommand(command, data));
  double delay = (fate >> 3) * 0.002;  // 0 to 62 ms
  switch (fate & 7) {
    case 3: {  // the reply twice, the copy at most as long after the first as that took
      std::string reply = AnswerCommand(command, data);
      Hold(at + delay, reply);
      return Hold(at + delay + std::max(0, NextByte()) % 32 * 0.002 * (fate >> 3) / 31, reply);
    }
    case 4:  // not heard: not acted on, not answered
      return;
    case 5:  // refused, and not acted on
      if (command == RecallMemory || (command == ReadName && !may_refuse_names))
        return Hold(at + delay, AnswerCommand(command, data));
      return Hold(at + delay, ReplyFrame(std::string(1, ReplyRefused)));
    case 6: {  // junk before the reply, never an FD
      std::string junk;
      for (int n = std::max(0, NextByte()) % 8 + 1, byte; n > 0 && (byte = NextByte()) >= 0; n--)
        junk += static_cast<char>(byte == 0xFD ? 0 : byte);
      return Hold(at + delay, junk + AnswerCommand(command, data));
    }
    case 7:  // slow: from 0.2 s to past the reply window
      return Hold(at + 0.2 + std::max(0, NextByte()) / 64.0, AnswerCommand(command, data));
  }
  Hold(at + delay, AnswerCommand(command, data));
}

}  // namespace

// ---- The port the program sees: every operation the jobs and the ending
// use, so that the library's own port stays out of the link.

bool PortHasInput() {
  return Arrived() > 0;
}

unsigned PortPending() {
  return Arrived();
}

bool PortWaitInput(double seconds) {
  // A wait takes a while, however short it was asked to be.
  const double until = now + std::max(seconds, 1e-6);
  while (Arrived() == 0) {
    double next = until;
    if (!on_line.empty()) next = std::min(next, on_line.front().due);
    if (!held.empty()) next = std::min(next, held.front().due + kByteTime);
    if (next >= until) {
      Advance(until);
      return Arrived() > 0;
    }
    Advance(next);
  }
  return true;
}

std::string PortRead(unsigned count) {
  if (Arrived() == 0) PortWaitInput(0.1);
  std::string bytes;
  unsigned take = std::min(count, Arrived());
  for (unsigned i = 0; i < take; i++) {
    bytes += on_line.front().byte;
    on_line.pop_front();
  }
  return bytes;
}

int PortWrite(const std::string& bytes, double) {
  Advance(now);
  PutOnLine(bytes, now);  // the echo
  for (char byte : bytes) {
    heard += byte;
    if (byte != FrameEnd) continue;
    Hears(heard, line_free);
    heard.clear();
  }
  return 0;
}

bool PortHungUp() {
  return false;
}

uint32_t PortSpeed() {
  return 1200;  // the line's default speed: the byte times the exchange reckons with
}

void PauseMilliseconds(int ms) {
  Advance(now + ms / 1000.0);
}

double SecondsNow() {
  return now;
}

void PortAbandon() {}  // the ending's, should a job end the program: nothing to put back

namespace {

std::string folder;

// Seven frequency digits of a number below 10^7.
std::string Digits(long number) {
  std::string digits = std::to_string(number);
  return std::string(7 - digits.size(), '0') + digits;
}

std::string ReadWhole(const std::string& path) {
  std::string contents;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "(missing)";
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, n);
  std::fclose(file);
  return contents;
}

void WriteWhole(const std::string& path, const std::string& contents) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(contents.data(), 1, contents.size(), file) != contents.size())
    Fail("cannot write " + path);
  std::fclose(file);
}

// A fresh line, a fresh radio, and the frames' fates from `input`.
void StartJob(const std::string& input, const Channel (&radio)[kChannels], bool names) {
  on_line.clear();
  held.clear();
  heard.clear();
  line_free = 0;
  now += 100;
  fates = reinterpret_cast<const uint8_t*>(input.data());
  fates_left = input.size();
  may_refuse_names = names;
  std::fill(std::begin(selections), std::end(selections), 0);
  copied = false;
  std::fill(std::begin(name_refused), std::end(name_refused), false);
  std::copy(std::begin(radio), std::end(radio), std::begin(channels));
  vfo = Channel();
  selected_channel = 0;
  replies_out_of_step = false;
  five_frequency_bytes = false;
  longest_answer = 0;
}

std::string LineOf(int channel, const Channel& c) {
  return FormatChannelLine(channel, c.filled, FrequencyDigitsOf(c.frequency), c.name, c.mode,
                           c.filter);
}

void CheckSave(const std::string& fates_input, const Channel (&radio)[kChannels]) {
  const std::string path = folder + "/saved.txt", before = "the file from before\r\n";
  WriteWhole(path, before);
  StartJob(fates_input, radio, true);
  SaveResult result;
  Quietly([&] { result = SaveMemoriesInto(path, ProgressPlace()); });
  if (!backup_made.empty()) unlink(backup_made.c_str());
  std::string saved = ReadWhole(path);
  if (result.unanswered.command) {
    if (saved != before) Fail("a save that stopped changed the file into " + Shown(saved));
    return;
  }
  std::string expected;
  for (int channel = 0; channel < kChannels; channel++) {
    std::string line = LineOf(channel, radio[channel]);
    size_t at = expected.size();
    expected += line + "\r\n";
    // A name the radio refused on the last of the tries is seven blanks.
    if (radio[channel].filled && name_refused[channel] && selections[channel] >= kAskTries &&
        saved.compare(at, line.size() + 2, expected, at, line.size() + 2) != 0) {
      Channel blank = radio[channel];
      blank.name = "       ";
      expected.replace(at, line.size(), LineOf(channel, blank));
    }
  }
  if (saved == expected) return;
  size_t differs = 0;
  while (differs < saved.size() && saved[differs] == expected[differs]) differs++;
  size_t line_start = expected.rfind('\n', differs == 0 ? 0 : differs - 1);
  line_start = line_start == std::string::npos ? 0 : line_start + 1;
  Fail("a save that ended well wrote the line " + Shown(saved.substr(line_start, 29)) +
       " where the radio holds " + Shown(expected.substr(line_start, 29)));
}

void CheckComparison(const std::string& fates_input, const Channel (&radio)[kChannels], int other) {
  std::string file;
  for (int channel = 0; channel < kChannels; channel++) {
    Channel c = radio[channel];
    if (channel == other) {
      c.filled = true;
      c.frequency = EncodeFrequency("2999990");
    }
    file += LineOf(channel, c) + "\r\n";
  }
  const std::string path = folder + "/compared.txt";
  WriteWhole(path, file);
  StartJob(fates_input, radio, false);
  Comparison comparison;
  Quietly([&] { comparison = CompareMemoriesWith(path, ProgressPlace()); });
  if (comparison.unanswered.command) return;
  if (comparison.differences.size() != 1 || comparison.differences[0].channel != other) {
    std::string named;
    for (const ChannelDifference& d : comparison.differences)
      named += " " + std::to_string(d.channel);
    Fail("a comparison that ended well named the channels" + named + ", not " +
         std::to_string(other));
  }
}

void CheckLoad(const std::string& fates_input, const Channel (&radio)[kChannels],
               const std::string& chosen) {
  Channel wanted[kChannels];
  std::copy(std::begin(radio), std::end(radio), std::begin(wanted));
  std::string lines[kChannels];
  for (size_t i = 0; i < chosen.size(); i++) {
    int channel = static_cast<unsigned char>(chosen[i]) % kChannels;
    Channel& c = wanted[channel];
    c.filled = true;
    c.frequency = EncodeFrequency(Digits(3500000 + channel * 7919 + static_cast<long>(i) * 10));
    c.mode = static_cast<int>(i + channel) % 8;
    c.filter = 1 + static_cast<int>(i) % 5;
    c.name = "LOAD" + std::to_string(10 + channel) + std::string(1, static_cast<char>('A' + i));
    lines[channel] = LineOf(channel, c);
  }
  std::string file;
  for (int channel = 0; channel < kChannels; channel++)
    file += (lines[channel].empty() ? LineOf(channel, Channel()) : lines[channel]) + "\r\n";
  const std::string path = folder + "/loaded.txt";
  WriteWhole(path, file);
  StartJob(fates_input, radio, false);
  current_mode = 0;
  current_filter = 0;
  LoadTally tally;
  Quietly([&] { tally = LoadMemoriesFrom(path, ProgressPlace(), nullptr, true); });
  if (tally.unanswered.command || !tally.refused.empty()) return;
  for (int channel = 0; channel < kChannels; channel++) {
    const Channel& c = channels[channel];
    if (LineOf(channel, c) != LineOf(channel, wanted[channel]))
      Fail("a load that ended well left channel " + std::to_string(channel) + " as " +
           Shown(LineOf(channel, c)) + ", not " + Shown(LineOf(channel, wanted[channel])));
  }
}

void RemoveFolder() {
  for (const char* name : {"saved.txt", "compared.txt", "loaded.txt"})
    unlink((folder + "/" + name).c_str());
  rmdir(folder.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  folder = ScratchFolder("quenmar-radio-fuzz");
  std::atexit(RemoveFolder);
  // To see what a finding did on the line: the port trace, into this file.
  if (const char* trace = getenv("QUENMAR_FUZZ_TRACE")) TraceStart(std::fopen(trace, "w"));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHead = 8 + 1 + 4;
  if (size < kHead) return 0;
  Channel radio[kChannels];
  for (int channel = 0; channel < kChannels; channel++) {
    if (!(data[channel / 8] >> (channel % 8) & 1)) continue;
    Channel& c = radio[channel];
    c.filled = true;
    c.frequency = EncodeFrequency(Digits(1800000 + channel * 104729L % 2700000));
    c.mode = channel % 8;
    c.filter = 1 + channel % 5;
    c.name = "CH " + std::to_string(100 + channel) + " ";
  }
  const std::string fates_input(reinterpret_cast<const char*>(data) + kHead, size - kHead);
  CheckSave(fates_input, radio);
  CheckComparison(fates_input, radio, data[8] % kChannels);
  CheckLoad(fates_input, radio, std::string(reinterpret_cast<const char*>(data) + 9, 4));
  return 0;
}
