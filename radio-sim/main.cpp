// quenmar-radio-sim: a Quenmar transceiver on a pseudo-terminal, so that
// quenmar-setup can be shown and tested without the radio.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "link/civ_frame.h"
#include "radio-sim/line.h"
#include "radio-sim/radio.h"

namespace {

const char kUsage[] =
    "Usage: quenmar-radio-sim [options]\n"
    "\n"
    "Plays a Quenmar transceiver on a pseudo-terminal: prints the terminal's\n"
    "path on one line, returns every byte it receives (the line's echo),\n"
    "answers the command frames addressed to the radio (04), and serves until\n"
    "interrupted (SIGINT or SIGTERM).\n"
    "\n"
    "  --link PATH        also make PATH a symbolic link to the terminal\n"
    "  --rate BPS         pace every byte sent at 10 bits at this rate\n"
    "                     (default 1200; 0 sends at once)\n"
    "  --batch-ms N       hand out bytes only at multiples of N ms, as a USB\n"
    "                     adapter's latency timer does (default 0: at once)\n"
    "  --memory FILE      load the channels from FILE when it exists, and save\n"
    "                     them into it when the radio stops; a mode or filter\n"
    "                     text it does not know loads as LSB or 6.0\n"
    "  --demo             with no memory file to load, start with a few filled\n"
    "                     channels (0, 1, 2, 5, 10 and 20)\n"
    "  --channel N:DIGITS:MODE:FILTER:NAMEHEX\n"
    "                     fill channel N (0-61) with 7 frequency digits (10 Hz\n"
    "                     steps), mode and filter numbers 0-255 and a name of up\n"
    "                     to 7 bytes in hex (blanks added); may be repeated\n"
    "  --log FILE         append a line for every frame received and every reply\n"
    "                     or junk sent: seconds, in|out|noise, the bytes in hex\n"
    "  --silent           echo, but neither act on a command nor answer it\n"
    "  --silent-for N     the same for the first N frames only\n"
    "  --silent-after N   the same after the first N frames, as a radio switched\n"
    "                     off behind an interface that still echoes\n"
    "  --no-echo          do not return the received bytes\n"
    "  --bad-echo         return the fifth byte of every frame (its command)\n"
    "                     with its lowest bit turned over, as a collision would\n"
    "  --collide N        the Nth frame to the radio (counting from 1, frames\n"
    "                     sent again included) meets another device's bytes:\n"
    "                     its echo comes back as --bad-echo's does, and the\n"
    "                     radio, which heard garbage, neither acts nor answers;\n"
    "                     may be repeated\n"
    "  --announce         before the reply to SetFrequency, SelectMemory,\n"
    "                     RecallMemory and ReadFrequency, announce the frequency\n"
    "                     to every device: FE FE 00 04 00, 4 frequency bytes, FD\n"
    "  --other-controller before every reply, put another controller's question\n"
    "                     (FE FE 04 E0 04 FD) and the radio's answer to it\n"
    "                     (FE FE E0 04 04, mode, filter, FD) on the line\n"
    "  --refuse-recall    answer every RecallMemory with FA\n"
    "  --refuse-reads     answer ReadFrequency, ReadMode and ReadName with FA\n"
    "  --short-names      answer ReadName without the name's trailing blanks\n"
    "  --refuse CODE[:CHANNEL[:TIMES]]\n"
    "                     answer the command of that hex code (03 ReadFrequency,\n"
    "                     08 SelectMemory, ...) with FA and do not act on it:\n"
    "                     while channel CHANNEL (0-61, default any) is selected\n"
    "                     (for SelectMemory: the channel it selects), TIMES times\n"
    "                     (default always); may be repeated, the first that\n"
    "                     applies is used\n"
    "  --foreign-reply CODE[:CHANNEL[:TIMES]]\n"
    "                     the same, answering with the reply to another read\n"
    "                     (ReadMode's to ReadFrequency, ReadFrequency's to any\n"
    "                     other), as a late reply would come\n"
    "  --short-reply CODE[:CHANNEL[:TIMES]]\n"
    "                     the same, answering a read without the data it needs\n"
    "                     (two frequency bytes, no mode byte, no name) and a\n"
    "                     setting with no status byte (FE FE F1 04 FD)\n"
    "  --hex-digits 03[:CHANNEL[:TIMES]]\n"
    "                     the same, answering ReadFrequency with a 1 Hz digit A\n"
    "  --noise-before     put line noise before every reply, in turn: stray\n"
    "                     bytes ending in FD, a frame cut short (FE FE F1), a\n"
    "                     garbled preamble (FE, a byte, FD), a fragment (FE FE\n"
    "                     00 FD)\n"
    "  --cut-replies      send every reply without its final FD\n"
    "  --extra-bytes      send FE FE 00 right behind every reply's FD\n"
    "  --noise            send 1 to 4 random bytes (never FD or FE) after every\n"
    "                     reply, once the line has been quiet for a while\n"
    "  --noise-gap-ms N   that while (default: one byte time; none at rate 0)\n"
    "  --vanish-after N   after N frames to the radio and their replies, close\n"
    "                     the terminal, remove the link, save the memory file\n"
    "                     and stop with status 0\n"
    "  --seed N           seed of the noise (default 1)\n"
    "  --help             show this text\n"
    "\n"
    "The radio answers from 04 to F1: FB when it accepts a setting, FA when it\n"
    "refuses one or does not know the command, the data for a read. A command\n"
    "with data it does not take (a wrong count, a digit that is not decimal, a\n"
    "value out of range) is refused and changes nothing.\n"
    "\n"
    "Log lines: seconds since the start (6 decimals), a kind and the bytes as\n"
    "upper-case hex pairs, all separated by blanks. in: the bytes received up to\n"
    "and including an FD, frame or not, logged when the FD arrives (and what is\n"
    "left at the stop); out: a reply; noise: junk bytes; other: a frame for\n"
    "another device (an announcement, another controller's exchange); all three\n"
    "logged when they are queued, before they go out.\n";

struct Options {
  std::string link;
  std::string memory;
  std::string log;
  std::vector<std::string> channels;
  std::vector<long> collide;  // numbers of the frames that collide
  long rate = 1200;
  long batch_ms = 0;
  long noise_gap_ms = -1;  // -1: one byte time
  long vanish_after = 0;   // 0: never
  long silent_for = 0;     // frames heard but not answered at the start
  long silent_after = 0;   // frames answered before the radio falls silent; 0: never
  unsigned long seed = 1;
  bool demo = false;
  bool silent = false;
  bool no_echo = false;
  bool bad_echo = false;
  bool cut_replies = false;
  bool extra_bytes = false;
  bool noise = false;
  bool noise_before = false;
  bool announce = false;
  bool other_controller = false;
};

Options options;
volatile sig_atomic_t stop_requested = 0;
sigset_t serving_mask;  // the signal mask while waiting: SIGINT and SIGTERM let through

std::string received;  // the bytes since the last FD
long frames_heard = 0;
bool vanishing = false;
int64_t noise_gap = 0;
std::mt19937 noise_source;

// How often a vanishing radio looks whether the program has read its last bytes.
constexpr int64_t kDrainCheck = 10000000;

void OnStopSignal(int) {
  stop_requested = 1;
}

bool ParseLong(const char* text, long lowest, long highest, long& value) {
  const char* end = text + std::strlen(text);
  auto [stop, error] = std::from_chars(text, end, value);
  return error == std::errc() && stop == end && stop != text && value >= lowest && value <= highest;
}

// 0: go on; -1: --help was shown; otherwise the exit status.
int ParseOptions(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    std::string option = argv[i];
    std::string value;
    bool has_value = false;
    size_t equals = option.find('=');
    if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
      has_value = true;
    }
    auto next = [&]() -> const char* {
      if (has_value) return value.c_str();
      if (i + 1 >= argc) return nullptr;
      return argv[++i];
    };
    auto number = [&](long lowest, long highest, long& target) {
      const char* text = next();
      return text && ParseLong(text, lowest, highest, target);
    };
    bool ok = true;
    if (option == "--help") {
      std::fputs(kUsage, stdout);
      return -1;
    } else if (option == "--link" || option == "--memory" || option == "--log" ||
               option == "--channel") {
      const char* text = next();
      ok = text && *text;
      if (ok && option == "--link") options.link = text;
      if (ok && option == "--memory") options.memory = text;
      if (ok && option == "--log") options.log = text;
      if (ok && option == "--channel") options.channels.push_back(text);
    } else if (option == "--rate") {
      ok = number(0, 10000000, options.rate);
    } else if (option == "--batch-ms") {
      ok = number(0, 60000, options.batch_ms);
    } else if (option == "--noise-gap-ms") {
      ok = number(0, 60000, options.noise_gap_ms);
    } else if (option == "--silent-for") {
      ok = number(1, LONG_MAX, options.silent_for);
    } else if (option == "--silent-after") {
      ok = number(1, LONG_MAX, options.silent_after);
    } else if (option == "--collide") {
      long frame = 0;
      ok = number(1, LONG_MAX, frame);
      options.collide.push_back(frame);
    } else if (option == "--refuse" || option == "--foreign-reply" || option == "--short-reply" ||
               option == "--hex-digits") {
      FaultKind kind = option == "--refuse"          ? FaultKind::kRefuse
                       : option == "--foreign-reply" ? FaultKind::kForeign
                       : option == "--short-reply"   ? FaultKind::kShort
                                                     : FaultKind::kHexDigits;
      const char* text = next();
      ok = text && AddFault(kind, text);
    } else if (option == "--vanish-after") {
      ok = number(1, LONG_MAX, options.vanish_after);
    } else if (option == "--seed") {
      long seed = 0;
      ok = number(0, 4294967295L, seed);
      options.seed = static_cast<unsigned long>(seed);
    } else if (!has_value && option == "--demo") {
      options.demo = true;
    } else if (!has_value && option == "--silent") {
      options.silent = true;
    } else if (!has_value && option == "--no-echo") {
      options.no_echo = true;
    } else if (!has_value && option == "--bad-echo") {
      options.bad_echo = true;
    } else if (!has_value && option == "--announce") {
      options.announce = true;
    } else if (!has_value && option == "--other-controller") {
      options.other_controller = true;
    } else if (!has_value && option == "--refuse-recall") {
      refuse_recall = true;
    } else if (!has_value && option == "--refuse-reads") {
      refuse_reads = true;
    } else if (!has_value && option == "--short-names") {
      short_names = true;
    } else if (!has_value && option == "--cut-replies") {
      options.cut_replies = true;
    } else if (!has_value && option == "--extra-bytes") {
      options.extra_bytes = true;
    } else if (!has_value && option == "--noise") {
      options.noise = true;
    } else if (!has_value && option == "--noise-before") {
      options.noise_before = true;
    } else {
      std::fprintf(stderr, "quenmar-radio-sim: unknown option %s (see --help)\n", argv[i]);
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "quenmar-radio-sim: %s needs a valid value (see --help)\n",
                   option.c_str());
      return 2;
    }
  }
  return 0;
}

// The command and data of the frame that `bytes` (up to and including an FD)
// holds, when that frame is addressed to the radio. Bytes before the
// preamble, and a preamble of more than two FE, are passed over.
bool CommandIn(const std::string& bytes, char& command, std::string& data) {
  const char preamble = frame_header[0];
  size_t start = bytes.find(frame_header.substr(0, 2));
  if (start == std::string::npos) return false;
  while (start < bytes.size() && bytes[start] == preamble) start++;
  size_t end = bytes.size() - 1;  // the FD
  if (end < start + 3 || bytes[start] != frame_header[2]) return false;
  command = bytes[start + 2];
  data = bytes.substr(start + 3, end - (start + 3));
  return true;
}

std::string NoiseBytes() {
  std::uniform_int_distribution<int> count(1, 4);
  std::uniform_int_distribution<int> value(0, 253);
  std::string bytes;
  for (int n = count(noise_source); n > 0; n--) {
    int byte = value(noise_source);
    if (byte >= 0xFD) byte += 2;  // FD and FE would look like frames
    bytes += static_cast<char>(byte);
  }
  return bytes;
}

// The noise put before the reply to the Nth frame: each kind in turn.
std::string NoiseBefore(long frame) {
  const char kPreamble = frame_header[0];
  switch (frame % 4) {
    case 0:
      return NoiseBytes() + FrameEnd;
    case 1:
      return {kPreamble, kPreamble, frame_header[3]};
    case 2:
      return {kPreamble, 0x33, FrameEnd};
  }
  return {kPreamble, kPreamble, 0x00, FrameEnd};
}

bool Collides(long frame) {
  return std::find(options.collide.begin(), options.collide.end(), frame) != options.collide.end();
}

bool Answers(long frame) {
  return !options.silent && frame > options.silent_for &&
         (options.silent_after == 0 || frame <= options.silent_after) && !Collides(frame);
}

// A frame for another device, put on the line ahead of the radio's reply.
void SendOther(const std::string& frame, int64_t now) {
  LineSchedule(frame, now);
  LogBytes("other", frame, now);
}

// What other devices on the line say before the radio's reply to `command`.
void OtherTraffic(char command, int64_t now) {
  const char kAll = 0x00, kController = static_cast<char>(0xE0), kRadio = frame_header[2];
  if (options.other_controller) {
    SendOther({frame_header[0], frame_header[0], kRadio, kController, ReadMode, FrameEnd}, now);
    SendOther({frame_header[0], frame_header[0], kController, kRadio, ReadMode,
               static_cast<char>(vfo.mode), static_cast<char>(vfo.filter), FrameEnd},
              now);
  }
  if (options.announce && (command == SetFrequency || command == SelectMemory ||
                           command == RecallMemory || command == ReadFrequency)) {
    SendOther(frame_header.substr(0, 2) + kAll + kRadio + kAll + vfo.frequency + FrameEnd, now);
  }
}

void Answer(const std::string& bytes, int64_t now) {
  char command = 0;
  std::string data;
  if (!CommandIn(bytes, command, data)) return;
  frames_heard++;
  if (Answers(frames_heard)) {
    std::string reply = AnswerCommand(command, data);
    if (options.cut_replies) reply.pop_back();
    OtherTraffic(command, now);
    if (options.noise_before) {
      std::string noise = NoiseBefore(frames_heard);
      LineSchedule(noise, now);
      LogBytes("noise", noise, now);
    }
    LineSchedule(reply, now);
    LogBytes("out", reply, now);
    if (options.extra_bytes) {
      const std::string extra("\xFE\xFE\x00", 3);
      LineSchedule(extra, now);
      LogBytes("noise", extra, now);
    }
    if (options.noise) {
      std::string noise = NoiseBytes();
      LineSchedule(noise, now, noise_gap);
      LogBytes("noise", noise, now);
    }
  }
  if (options.vanish_after > 0 && frames_heard >= options.vanish_after) vanishing = true;
}

void TakeInput() {
  std::string bytes = LineRead();
  int64_t now = NowNs();
  for (char byte : bytes) {
    received += byte;
    // The line returns each byte while it is on the wire.
    bool garbled = options.bad_echo || Collides(frames_heard + 1);
    char echo = garbled && received.size() == 5 ? static_cast<char>(byte ^ 1) : byte;
    if (!options.no_echo) LineSchedule(std::string(1, echo), now);
    if (byte != FrameEnd) continue;
    LogBytes("in", received, now);
    Answer(received, now);
    received.clear();
    if (vanishing) return;  // the radio is gone: the rest is never heard
  }
}

// The serving loop; returns the exit status.
int Serve() {
  while (!stop_requested) {
    int64_t now = NowNs();
    if (!LineDeliver(now)) {
      std::perror("quenmar-radio-sim: writing to the terminal");
      return 1;
    }
    if (vanishing && LineDrained(now)) return 0;
    struct pollfd port = {line_fd, static_cast<short>(vanishing ? 0 : POLLIN), 0};
    int64_t wake = LineNextWake();
    if (LineBlocked()) {
      port.events |= POLLOUT;
      wake = -1;
    }
    if (vanishing) wake = wake < 0 ? now + kDrainCheck : std::min(wake, now + kDrainCheck);
    struct timespec pause;
    struct timespec* timeout = nullptr;
    if (wake >= 0) {
      int64_t wait = std::max<int64_t>(0, wake - now);
      pause.tv_sec = wait / 1000000000;
      pause.tv_nsec = wait % 1000000000;
      timeout = &pause;
    }
    int ready = ppoll(&port, 1, timeout, &serving_mask);
    if (ready < 0 && errno != EINTR) {
      std::perror("quenmar-radio-sim: poll");
      return 1;
    }
    if (ready <= 0) continue;
    // Our own slave side keeps the master from a hang-up; one now is an error.
    if (port.revents & (POLLERR | POLLNVAL | POLLHUP)) {
      std::fputs("quenmar-radio-sim: the terminal failed\n", stderr);
      return 1;
    }
    if (port.revents & POLLIN) TakeInput();
  }
  return 0;
}

void RemoveLink(const std::string& target) {
  if (options.link.empty()) return;
  char pointed[PATH_MAX];
  ssize_t n = readlink(options.link.c_str(), pointed, sizeof pointed - 1);
  // Only our own link: another radio may have taken the name since.
  if (n >= 0 && std::string(pointed, n) == target) unlink(options.link.c_str());
}

bool MakeLink(const std::string& target) {
  if (options.link.empty()) return true;
  struct stat seen;
  if (lstat(options.link.c_str(), &seen) == 0 && S_ISLNK(seen.st_mode))
    unlink(options.link.c_str());  // left behind by a radio that was killed
  return symlink(target.c_str(), options.link.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int parsed = ParseOptions(argc, argv);
  if (parsed != 0) return parsed < 0 ? 0 : parsed;
  NowNs();  // the log's times count from here

  // SIGINT and SIGTERM are let through only while the loop waits, so that a
  // stop request can never fall between a test of the flag and the wait.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop_signals, &serving_mask);
  sigdelset(&serving_mask, SIGINT);
  sigdelset(&serving_mask, SIGTERM);
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  if (options.rate > 0) byte_time_ns = 10000000000LL / options.rate;
  batch_ns = options.batch_ms * 1000000LL;
  noise_gap = options.noise_gap_ms < 0 ? byte_time_ns : options.noise_gap_ms * 1000000LL;
  noise_source.seed(static_cast<std::mt19937::result_type>(options.seed));

  struct stat seen;
  if (!options.memory.empty() && stat(options.memory.c_str(), &seen) == 0) {
    if (!LoadChannels(options.memory)) {
      std::fprintf(stderr, "quenmar-radio-sim: cannot read %s\n", options.memory.c_str());
      return 1;
    }
  } else if (options.demo) {
    FillDemoChannels();
  }
  for (const std::string& text : options.channels) {
    if (!FillChannel(text)) {
      std::fprintf(stderr, "quenmar-radio-sim: bad --channel %s (see --help)\n", text.c_str());
      return 2;
    }
  }
  if (!options.log.empty() && !LogOpen(options.log)) {
    std::fprintf(stderr, "quenmar-radio-sim: cannot open the log %s: %s\n", options.log.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::string slave = LineOpen();
  if (slave.empty()) {
    std::perror("quenmar-radio-sim: cannot make a pseudo-terminal");
    return 1;
  }
  if (!MakeLink(slave)) {
    std::fprintf(stderr, "quenmar-radio-sim: cannot make the link %s: %s\n", options.link.c_str(),
                 std::strerror(errno));
    LineClose();
    return 1;
  }
  std::printf("%s\n", slave.c_str());
  std::fflush(stdout);

  int status = Serve();
  if (!received.empty()) LogBytes("in", received, NowNs());
  LineClose();
  RemoveLink(slave);
  if (!options.memory.empty() && !SaveChannels(options.memory)) {
    std::fprintf(stderr, "quenmar-radio-sim: cannot save the channels into %s\n",
                 options.memory.c_str());
    if (status == 0) status = 1;
  }
  return status;
}
