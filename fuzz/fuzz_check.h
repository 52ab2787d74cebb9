// What the fuzz targets share: a property that does not hold ends the run with
// a message saying what was expected and what came, bytes shown in hex. The
// abort is what libFuzzer records as a crash, with the input that caused it.
//
// Fail   writes "property failed: ..." to the standard error stream and aborts
// Hex    a byte string as "20 20 35 B3 ...", its first and last 80 bytes when long
// Shown  a byte string in double quotes with its hex, for messages
// Quietly  runs a job with the standard output and error sent to the null
//        device, so that a long run does not fill the terminal
// ScratchFolder  a new folder for one run's files, in memory (/dev/shm) when
//        it can be: a target that writes files as a save does, flushed to the
//        disk, tries several times as many inputs there
#pragma once
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "\nproperty failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i++) {
    if (bytes.size() > 160 && i == 80) {
      text += " ... (" + std::to_string(bytes.size()) + " bytes) ...";
      i = bytes.size() - 80;
    }
    unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (i > 0) text += ' ';
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

inline std::string Shown(const std::string& bytes) {
  std::string printable;
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    printable += (byte >= 0x20 && byte < 0x7F) ? c : '.';
  }
  if (printable.size() > 80) {
    printable = printable.substr(0, 40) + "..." + printable.substr(printable.size() - 40);
  }
  return "\"" + printable + "\" [" + Hex(bytes) + "]";
}

inline std::string ScratchFolder(const std::string& prefix) {
  const char* temporary = getenv("TMPDIR");
  std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                     : temporary != nullptr        ? temporary
                                                   : "/tmp";
  std::string name = base + "/" + prefix + "-XXXXXX";
  if (mkdtemp(name.data()) == nullptr) Fail("mkdtemp failed for " + name);
  return name;
}

template <typename Job>
void Quietly(Job job) {
  static const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd < 0) Fail("cannot open /dev/null");
  std::fflush(stdout);
  std::fflush(stderr);
  int saved_out = dup(1), saved_err = dup(2);
  dup2(null_fd, 1);
  dup2(null_fd, 2);
  job();
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(saved_out, 1);
  dup2(saved_err, 2);
  close(saved_out);
  close(saved_err);
}
