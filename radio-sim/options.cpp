// The virtual radio's options: one table of them, and the parse of the arguments.
#include "radio-sim/options.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "radio-sim/radio.h"
#include "text/text.h"

Options options;

namespace {

const char kUsage[] =
    "Usage: quenmar-radio-sim [options]\n"
    "\n"
    "Plays a Quenmar transceiver on a pseudo-terminal: prints the terminal's\n"
    "path on one line, returns every byte it receives (the line's echo),\n"
    "answers the command frames addressed to the radio (04, or --address) and\n"
    "to every radio (00), and serves until interrupted (SIGINT or SIGTERM).\n"
    "\n"
    "  --link PATH        also make PATH a symbolic link to the terminal\n"
    "  --rate BPS         pace every byte sent at 10 bits at this rate\n"
    "                     (default 1200; 0 sends at once); at a rate of 300 to\n"
    "                     115200 the radio hears only a program whose terminal\n"
    "                     is at that speed: at another it still echoes, but\n"
    "                     hears garbage and answers nothing\n"
    "  --address HEX      the radio's address, 01 to DF (default 04): it answers\n"
    "                     frames to it and to 00, from it\n"
    "  --batch-ms N       hand out bytes only at multiples of N ms, as a USB\n"
    "                     adapter's latency timer does (default 0: at once)\n"
    "  --reply-delay MS   answer MS ms after a frame's FD, as a radio takes its\n"
    "                     time (default 0); the line's echo is not held up\n"
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
    "  --duplicate-reply N\n"
    "                     send the reply to the Nth frame to the radio (counting\n"
    "                     as --collide does) twice: the copy one reply delay\n"
    "                     after the first, right behind it with no delay; may be\n"
    "                     repeated\n"
    "  --announce         before the reply to SetFrequency, SelectMemory,\n"
    "                     RecallMemory and ReadFrequency, announce the frequency\n"
    "                     to every device: FE FE 00 04 00, 4 frequency bytes, FD\n"
    "  --other-controller before every reply, put another controller's question\n"
    "                     (FE FE 04 E0 04 FD) and the radio's answer to it\n"
    "                     (FE FE E0 04 04, mode, filter, FD) on the line\n"
    "  --refuse-recall    answer every RecallMemory with FA\n"
    "  --refuse-reads     answer ReadFrequency, ReadMode and ReadName with FA\n"
    "  --short-names      answer ReadName without the name's trailing blanks\n"
    "  --mode-only        answer ReadMode with the mode alone, no filter byte\n"
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
    "The radio answers from its address to F1: FB when it accepts a setting, FA when it\n"
    "refuses one or does not know the command, the data for a read. A command\n"
    "with data it does not take (a wrong count, a digit that is not decimal, a\n"
    "value out of range) is refused and changes nothing.\n"
    "\n"
    "Log lines: seconds since the start (6 decimals), a kind and the bytes as\n"
    "upper-case hex pairs, all separated by blanks. in: the bytes received up to\n"
    "and including an FD, frame or not, logged when the FD arrives (and what is\n"
    "left at the stop); out: a reply; noise: junk bytes; other: a frame for\n"
    "another device (an announcement, another controller's exchange); all three\n"
    "logged when they are queued, before they go out; garbage: bytes received\n"
    "at another speed than --rate, which the radio cannot read, logged as they\n"
    "arrive.\n";

// One option: its name and where what it gives goes. An option that sets a
// flag takes no value; the others take the text after "=" or the next argument.
struct KnownOption {
  const char* name;
  bool* flag = nullptr;
  std::string* text = nullptr;                // a text that may not be empty
  std::vector<std::string>* texts = nullptr;  // the same, one for each time given
  long* number = nullptr;                     // a number from lowest to highest
  std::vector<long>* numbers = nullptr;       // the same, one for each time given
  long lowest = 0;
  long highest = 0;
  bool hex = false;                               // the number in two hexadecimal digits
  std::optional<FaultKind> fault = std::nullopt;  // "CODE[:CHANNEL[:TIMES]]", for AddFault
};

const KnownOption kOptions[] = {
    {.name = "--link", .text = &options.link},
    {.name = "--memory", .text = &options.memory},
    {.name = "--log", .text = &options.log},
    {.name = "--channel", .texts = &options.channels},
    {.name = "--rate", .number = &options.rate, .lowest = 0, .highest = 10000000},
    {.name = "--address",
     .number = &options.address,
     .lowest = kLowestRadioAddress,
     .highest = kHighestRadioAddress,
     .hex = true},
    {.name = "--batch-ms", .number = &options.batch_ms, .lowest = 0, .highest = 60000},
    {.name = "--reply-delay", .number = &options.reply_delay_ms, .lowest = 0, .highest = 60000},
    {.name = "--noise-gap-ms", .number = &options.noise_gap_ms, .lowest = 0, .highest = 60000},
    {.name = "--silent-for", .number = &options.silent_for, .lowest = 1, .highest = LONG_MAX},
    {.name = "--silent-after", .number = &options.silent_after, .lowest = 1, .highest = LONG_MAX},
    {.name = "--collide", .numbers = &options.collide, .lowest = 1, .highest = LONG_MAX},
    {.name = "--duplicate-reply",
     .numbers = &options.duplicate_reply,
     .lowest = 1,
     .highest = LONG_MAX},
    {.name = "--vanish-after", .number = &options.vanish_after, .lowest = 1, .highest = LONG_MAX},
    {.name = "--seed", .number = &options.seed, .lowest = 0, .highest = 4294967295L},
    {.name = "--refuse", .fault = FaultKind::kRefuse},
    {.name = "--foreign-reply", .fault = FaultKind::kForeign},
    {.name = "--short-reply", .fault = FaultKind::kShort},
    {.name = "--hex-digits", .fault = FaultKind::kHexDigits},
    {.name = "--demo", .flag = &options.demo},
    {.name = "--silent", .flag = &options.silent},
    {.name = "--no-echo", .flag = &options.no_echo},
    {.name = "--bad-echo", .flag = &options.bad_echo},
    {.name = "--announce", .flag = &options.announce},
    {.name = "--other-controller", .flag = &options.other_controller},
    {.name = "--refuse-recall", .flag = &refuse_recall},
    {.name = "--refuse-reads", .flag = &refuse_reads},
    {.name = "--short-names", .flag = &short_names},
    {.name = "--mode-only", .flag = &mode_only},
    {.name = "--cut-replies", .flag = &options.cut_replies},
    {.name = "--extra-bytes", .flag = &options.extra_bytes},
    {.name = "--noise", .flag = &options.noise},
    {.name = "--noise-before", .flag = &options.noise_before},
};

const KnownOption* FindOption(const std::string& name) {
  for (const KnownOption& known : kOptions) {
    if (name == known.name) return &known;
  }
  return nullptr;
}

// Puts an option's value where it goes; false when the value is not one it takes.
bool TakeValue(const KnownOption& known, const std::string& value) {
  if (known.fault) return AddFault(*known.fault, value);
  if (known.text || known.texts) {
    if (value.empty()) return false;
    if (known.text) *known.text = value;
    if (known.texts) known.texts->push_back(value);
    return true;
  }
  long number = 0;
  std::string byte;
  if (known.hex) {
    if (value.size() != 2 || !HexBytes(value, byte)) return false;
    number = static_cast<unsigned char>(byte[0]);
    if (number < known.lowest || number > known.highest) return false;
  } else if (!WholeNumber(value, known.lowest, known.highest, number)) {
    return false;
  }
  if (known.number) *known.number = number;
  if (known.numbers) known.numbers->push_back(number);
  return true;
}

}  // namespace

int ParseOptions(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    std::string option = argv[i];
    std::string value;
    size_t equals = option.find('=');
    bool has_value = option.compare(0, 2, "--") == 0 && equals != std::string::npos;
    if (has_value) {
      value = option.substr(equals + 1);
      option.resize(equals);
    }
    if (option == "--help") {
      std::fputs(kUsage, stdout);
      return -1;
    }
    const KnownOption* known = FindOption(option);
    if (!known || (known->flag && has_value)) {
      std::fprintf(stderr, "quenmar-radio-sim: unknown option %s (see --help)\n", argv[i]);
      return 2;
    }
    if (known->flag) {
      *known->flag = true;
      continue;
    }
    bool given = has_value || i + 1 < argc;
    if (given && !has_value) value = argv[++i];
    if (!given || !TakeValue(*known, value)) {
      std::fprintf(stderr, "quenmar-radio-sim: %s needs a valid value (see --help)\n",
                   option.c_str());
      return 2;
    }
  }
  return 0;
}
