// Small helpers shared by the unit tests: byte strings written as numbers,
// byte strings shown in hex when a comparison fails, a console that writes
// plain bytes, and a scratch directory.
//
// Bytes              {0xFE, 0xFE, ...} as a byte string
// Hex                a byte string as "FE FE 04 ..." for readable failures
// StartPlainConsole  takes the console over as if neither side were a terminal
// CapturedOutput     every byte written to standard output while a call runs
// PretendTerminal    while it lives, the console writes to a terminal of a size
//                    chosen, its cursor at 1,1 and nothing scrolled yet
// ScratchDirectory   a fresh directory, removed with everything in it at the end
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>

#include "console/console.h"
#include "console/screen.h"
#include "console/terminal.h"

inline std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes += static_cast<char>(value);
  return bytes;
}

inline std::string Hex(const std::string& bytes) {
  std::string text;
  char group[4];
  for (unsigned char byte : bytes) {
    std::snprintf(group, sizeof group, "%02X ", byte);
    text += group;
  }
  return text;
}

// The console decides once, when it is first used, whether it talks to a
// terminal. Taking it over while standard input and output point elsewhere
// makes every test see plain bytes and no keyboard, however the test binary
// itself is started.
inline void StartPlainConsole() {
  static bool done = false;
  if (done) return;
  done = true;
  std::fflush(stdout);
  int saved_in = dup(STDIN_FILENO);
  int saved_out = dup(STDOUT_FILENO);
  int null_device = open(QUENMAR_NULL_DEVICE, O_RDWR);  // chosen by tests/CMakeLists.txt
  dup2(null_device, STDIN_FILENO);
  dup2(null_device, STDOUT_FILENO);
  ConsoleStart();
  dup2(saved_in, STDIN_FILENO);
  dup2(saved_out, STDOUT_FILENO);
  close(null_device);
  close(saved_in);
  close(saved_out);
}

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::random_device random;
    do {
      path_ = std::filesystem::temp_directory_path() / ("quenmar-unit-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// GoogleTest's own capture reads what it caught back in text mode, which on
// Windows turns each CR LF into LF; this one keeps every byte.
template <typename Call>
std::string CapturedOutput(Call call) {
  ScratchDirectory directory;
  std::string name = directory / "standard-output";
  std::fflush(stdout);
  std::FILE* file = std::fopen(name.c_str(), "w+b");
  if (!file) return "(standard output could not be caught)";
  int saved_out = dup(STDOUT_FILENO);
  dup2(fileno(file), STDOUT_FILENO);
  call();
  std::fflush(stdout);
  dup2(saved_out, STDOUT_FILENO);
  close(saved_out);
  std::fclose(file);
  std::ifstream caught(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(caught), std::istreambuf_iterator<char>());
}

class PretendTerminal {
 public:
  PretendTerminal(int screen_rows, int screen_columns, bool utf8)
      : rows_(rows), columns_(columns), locale_(std::setlocale(LC_CTYPE, nullptr)) {
    StartPlainConsole();
    output_is_terminal = true;
    utf8_text = utf8;
    std::setlocale(LC_CTYPE, utf8 ? "C.UTF-8" : "C");  // wcwidth's widths
    rows = screen_rows;
    columns = screen_columns;
    cursor_row = cursor_column = 1;
    scrolled_rows = 0;
  }
  ~PretendTerminal() {
    output_is_terminal = false;
    utf8_text = false;
    std::setlocale(LC_CTYPE, locale_.c_str());
    rows = rows_;
    columns = columns_;
    cursor_row = cursor_column = 1;
    scrolled_rows = 0;
  }
  PretendTerminal(const PretendTerminal&) = delete;
  PretendTerminal& operator=(const PretendTerminal&) = delete;

  // The bytes `call` hands the terminal.
  template <typename Call>
  std::string Written(Call call) {
    return CapturedOutput([&] {
      call();
      Flush();
    });
  }

 private:
  int rows_, columns_;
  std::string locale_;
};
