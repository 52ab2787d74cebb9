// The channel line of the memory file: fixed columns separated by the byte
// B3, the channel's number, frequency, name, mode and filter. How a line is
// built and taken apart; how files are read and written is memory_file.h's.
//
// Columns             columns first..first+width-1 of a line (from 1); what lies
//                     past its end is absent
// ChannelLabel        the channel number right-aligned in three columns
// FormatChannelLine   one channel's line, without its line end
// ParseChannelLine    takes a line apart; false for a line that loads nothing
// ModeNumber          the mode a column text names (0-7), -1 for any other text
// FilterNumber        the filter a column text names (1-5), -1 for any other text
// ValidMode           whether a mode number is one of the radio's modes (0-7)
// ValidFilter         whether a filter number is one of the radio's filters (1-5)
// SeparatorsAsB3      a line read from a file with its separators as the file may
//                     hold them (B3, or U+2502 from a UTF-8 editor) made B3; the
//                     columns whose B3 stood in the file as U+2502 go into
//                     `utf8_columns` (when given), ascending
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Mode and filter numbers that loading sends; set by ParseChannelLine from
// recognised texts and by a save from every channel it reads (mode only).
extern int16_t current_mode;
extern int16_t current_filter;

// The texts of modes 0 to kLastMode and of filters kFirstFilter to
// kLastFilter, as their columns hold them.
extern const std::string ModeNames[9];
extern const std::string FilterNames[11];
constexpr int kLastMode = 7;
constexpr int kFirstFilter = 1;
constexpr int kLastFilter = 5;

// Where the fields of a line begin, counted from 1, how wide they are, and the
// separators. The name takes kNameLength columns (link/civ_frame.h).
constexpr size_t kLabelColumn = 1;
constexpr size_t kLabelWidth = 3;
constexpr size_t kFrequencyColumn = 5;  // two digits, the point, five
constexpr size_t kFrequencyWidth = 8;
constexpr size_t kMegahertzWidth = 2;
constexpr size_t kPointColumn = 7;
constexpr size_t kDecimalsColumn = 8;
constexpr size_t kDecimalsWidth = 5;
constexpr size_t kNameColumn = 14;
constexpr size_t kModeColumn = 22;
constexpr size_t kModeWidth = 4;
constexpr size_t kFilterColumn = 27;
constexpr size_t kFilterWidth = 3;
constexpr size_t kSeparatorColumns[] = {4, 13, 21, 26};

constexpr char kColumnSeparator = static_cast<char>(0xB3);
// The separator as a UTF-8 editor types it (U+2502); reading takes it as B3.
extern const std::string kUtf8Separator;
// A Ctrl-Z ends the file where it stands, as in the files of old systems.
constexpr char kEndOfFile = 0x1A;

struct ChannelFields {
  std::string frequency;  // seven digits, tens of MHz down to 10 Hz
  std::string name;       // columns 14-20 as they stand (up to seven bytes)
  int16_t mode = 0;
  int16_t filter = 0;
};

std::string Columns(const std::string& line, size_t first, size_t width);
std::string ChannelLabel(int channel);
std::string FormatChannelLine(int channel, bool filled, const std::string& frequency,
                              const std::string& name, int mode, int filter);
bool ParseChannelLine(const std::string& line, ChannelFields& fields);
int ModeNumber(const std::string& text);
int FilterNumber(const std::string& text);
bool ValidMode(int mode);
bool ValidFilter(int filter);
std::string SeparatorsAsB3(const std::string& line, std::vector<size_t>* utf8_columns = nullptr);
