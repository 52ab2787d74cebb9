// The program's own options, read before the "C=" port rule.
#include "app/command_line.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/terminal.h"
#include "ending/fatal.h"
#include "jobs/backup_name.h"
#include "jobs/jobs.h"
#include "jobs/memory_file.h"
#include "link/civ_frame.h"
#include "link/serial_port.h"
#include "text/text.h"

std::string requested_job;
std::string channel_list;
std::vector<std::string> job_values;
bool force_given = false;
std::string trace_name;
bool all_given = false;
uint32_t line_speed = kDefaultSpeed;
bool probe_listed_ports = false;

namespace {

std::string speed_given;    // the text of --speed, "" when not given
std::string address_given;  // the text of --address, "" when not given

struct Option {
  const char* name;
  const char* values;  // the values it takes, as --help names them; "" for none
  int value_count;
  // Where a setting's value goes; nullptr for a job (at most one job a run)
  // or a flag.
  std::string* setting;
  bool* flag = nullptr;  // set by an option that takes no value and is no job
};

// Every option the program knows. --help lists them (main.cpp); keep the two
// and the manual page in step.
const Option kOptions[] = {
    {"--help", "", 0, nullptr},
    {"--version", "", 0, nullptr},
    {"--port", "DEVICE", 1, &port_device},
    {"--trace", "FILE", 1, &trace_name},
    {"--speed", "BPS", 1, &speed_given},
    {"--address", "HEX", 1, &address_given},
    {"--probe", "", 0, nullptr},
    {"--list-ports", "", 0, nullptr},
    {"--check", "FILE", 1, nullptr},
    {"--to-csv", "MEMORY_FILE CSV_FILE", 2, nullptr},
    {"--from-csv", "CSV_FILE MEMORY_FILE", 2, nullptr},
    {"--save", "FILE", 1, nullptr},
    {"--load", "FILE", 1, nullptr},
    {"--force", "", 0, nullptr, &force_given},
    {"--clock", "", 0, nullptr},
    {"--compare", "FILE", 1, nullptr},
    {"--channels", "LIST", 1, &channel_list},
    {"--list", "FILE", 1, nullptr},
    {"--list-radio", "", 0, nullptr},
    {"--all", "", 0, nullptr, &all_given},
    {"--edit", "FILE", 1, nullptr},
};

// The short spellings everyone tries first.
struct ShortOption {
  const char* spelling;
  const char* option;
};
const ShortOption kShortOptions[] = {{"-h", "--help"}, {"-?", "--help"}, {"-V", "--version"}};

// The option an argument spells, or the argument itself.
std::string LongForm(const std::string& argument) {
  for (const ShortOption& short_option : kShortOptions) {
    if (argument == short_option.spelling) return short_option.option;
  }
  if (kSystemHelpOption && argument == kSystemHelpOption) return "--help";
  return argument;
}

const Option* FindOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// A mistake in the options: what is wrong, and where to read how it is meant.
[[noreturn]] void UsageError(const std::string& message) {
  EndWithUsageError(message + " (see quenmar-setup --help)");
}

// --channels goes with a job that walks the channels; its list is read now,
// so that a bad one ends the run before any port is opened.
void ChooseChannelsOrEnd() {
  if (channel_list.empty() || requested_job == "--help" || requested_job == "--version") return;
  if (requested_job != "--save" && requested_job != "--load" && requested_job != "--compare" &&
      requested_job != "--list" && requested_job != "--list-radio")
    UsageError("option '--channels' goes with --save, --load, --compare, --list or --list-radio");
  std::string problem = ChooseChannels(channel_list);
  if (!problem.empty()) UsageError(problem);
}

// The speed of a --speed text or QUENMAR_SPEED: one of the radios' speeds,
// or 0 for "auto"; -1 for anything else.
long SpeedOf(const std::string& text) {
  if (text == "auto") return 0;
  for (uint32_t speed : kRadioSpeeds) {
    if (text == std::to_string(speed)) return speed;
  }
  return -1;
}

// The line's speed and the radio's address, read now, so that a bad one
// ends the run before any port is opened.
void ChooseLineOrEnd() {
  if (requested_job == "--help" || requested_job == "--version") return;
  const char* variable = std::getenv("QUENMAR_SPEED");
  std::string speed = speed_given;
  std::string source = "--speed " + Quoted(speed_given);
  // Set but empty is a mistake too (an unset variable in a cron line).
  if (speed.empty() && variable) speed = variable, source = "QUENMAR_SPEED=" + Quoted(variable);
  if (!speed_given.empty() || variable) {
    long chosen = SpeedOf(speed);
    if (chosen < 0)
      UsageError(source +
                 ": give one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 "
                 "(bit/s) or auto");
    line_speed = static_cast<uint32_t>(chosen);
  }
  if (address_given.empty()) return;
  std::string bytes;
  std::string hex = address_given.size() == 1 ? "0" + address_given : address_given;
  if (hex.size() != 2 || !HexBytes(hex, bytes) ||
      static_cast<unsigned char>(bytes[0]) < kLowestRadioAddress ||
      static_cast<unsigned char>(bytes[0]) > kHighestRadioAddress)
    UsageError("--address " + Quoted(address_given) +
               ": give the radio's address in hex, 01 to DF (00 is every radio's, E0 to FF "
               "are the controllers')");
  UseRadioAddress(bytes[0]);
}

// The digits of an argument that is COMn (in any case), else "".
std::string ComNumber(const std::string& argument) {
  std::string upper = UpperCase(argument);
  if (upper.size() < 4 || upper.compare(0, 3, "COM") != 0) return "";
  std::string digits = upper.substr(3);
  return digits.find_first_not_of("0123456789") == std::string::npos ? digits : "";
}

// A path, or a device's own name: ttyUSB0, cuaU0. Whether it exists does not
// matter: an adapter that is unplugged is still what the user meant.
bool LooksLikeDevice(const std::string& argument) {
  if (argument.find_first_of("/\\") != std::string::npos) return true;
  return argument.size() > 3 &&
         (argument.compare(0, 3, "tty") == 0 || argument.compare(0, 3, "cua") == 0);
}

// True when an argument is one of this program's options (with or without
// a value after "="), or the "--" that ends them.
bool IsOptionWord(const std::string& argument) {
  std::string name = LongForm(argument);
  if (name == "--") return true;
  if (name.compare(0, 2, "--") == 0) name = name.substr(0, name.find('='));
  return FindOption(name) != nullptr;
}

// What an option's values are, in words: "a file name" for FILE, "two file
// names" for MEMORY_FILE CSV_FILE; a value not named here as --help names it.
std::string ValueWords(const Option& option) {
  std::string values = option.values;
  if (values == "DEVICE") return "a device name";
  if (values == "LIST") return "a list of channels";
  if (values == "BPS") return "a speed in bit/s";
  if (values == "HEX") return "an address in hex";
  if (values.size() >= 4 && values.compare(values.size() - 4, 4, "FILE") == 0)
    return option.value_count == 1 ? "a file name" : "two file names, " + values;
  return option.value_count == 1 ? "a value, " + values : "its values, " + values;
}

// The values of an option: the one after "=", then the arguments after it,
// as many as it takes. An option where a value belongs was meant as an
// option: the value is missing.
void TakeValues(const Option& option, const std::string& name, std::vector<std::string>& values,
                int argc, const char* const* argv, int& i) {
  if (static_cast<int>(values.size()) > option.value_count) {
    UsageError("option '" + name + "' takes no value");
  }
  if (!values.empty() && option.value_count != 1) {
    UsageError("option '" + name + "' takes its values as separate arguments");
  }
  while (static_cast<int>(values.size()) < option.value_count) {
    if (++i >= argc) UsageError(name + " needs " + ValueWords(option));
    if (IsOptionWord(argv[i]))
      UsageError(name + " needs " + ValueWords(option) + "; " + argv[i] + " is an option");
    values.push_back(argv[i]);
  }
}

// Where an option goes: into its setting, or it is the job asked for.
void Keep(const Option& option, const std::string& name, const std::vector<std::string>& values) {
  if (option.flag) {
    *option.flag = true;
    return;
  }
  if (option.setting) {
    // An empty device or file name never stands for a default.
    if (values[0].empty()) UsageError("option '" + name + "' was given an empty " + option.values);
    *option.setting = values[0];
    return;
  }
  // The list of ports can probe each of them.
  if ((requested_job == "--list-ports" && name == "--probe") ||
      (requested_job == "--probe" && name == "--list-ports")) {
    requested_job = "--list-ports";
    probe_listed_ports = true;
    return;
  }
  if (!requested_job.empty()) {
    UsageError("options '" + requested_job + "' and '" + name + "' cannot be given together");
  }
  requested_job = name;
  job_values = values;
}

// A word the options leave over is used only by the port rule, which takes
// the first word that holds "C=" and everything after it. Any word before
// that one would be dropped without a word: it is refused instead, a device
// with the way to name it so that it opens.
void RefuseUnusedWords(const std::vector<std::string>& rest) {
  for (const std::string& argument : rest) {
    if (UpperCase(argument).find("C=") != std::string::npos) return;
    std::string number = ComNumber(argument);
    if (!number.empty() || LooksLikeDevice(argument)) {
      UsageError(argument + " is not opened: only C=n and --port name the port; to open it, use " +
                 PortAdvice(argument, number));
    }
    UsageError("'" + argument +
               "' is not used: it is neither an option, an option's value nor after C=");
  }
}

}  // namespace

void EndWithUsageError(const std::string& text) {
  PrintProblem(text);
  EndProgram(kUsageError);
}

std::string OptionFormFor(const std::string& name) {
  const Option* option = FindOption(name);
  if (!option || !*option->values) return name;
  return name + " " + option->values;
}

std::vector<std::string> ReadCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> rest;
  std::vector<std::string> given;  // the options read so far
  bool options_ended = false;
  for (int i = 1; i < argc; i++) {
    std::string argument = argv[i];
    // A lone "-" is a file name (standard input or output); after "--" every
    // argument is one for the port rule, whatever it begins with.
    if (!options_ended) argument = LongForm(argument);
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      rest.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    // --name=value is the same as --name value, for options that take one value.
    std::string name = argument;
    std::vector<std::string> values;
    size_t equals = argument.find('=');
    if (equals != std::string::npos && argument[1] == '-') {
      name = argument.substr(0, equals);
      values.push_back(argument.substr(equals + 1));
    }
    const Option* option = FindOption(name);
    if (!option) UsageError("unknown option '" + name + "'");
    // Given twice, one of the two would be dropped without a word.
    for (const std::string& earlier : given) {
      if (earlier == name) UsageError("option '" + name + "' is given twice");
    }
    given.push_back(name);
    TakeValues(*option, name, values, argc, argv, i);
    Keep(*option, name, values);
  }
  // The file a job writes, named as the standard output by the system's
  // names for it, is the standard output as "-" is: written in order, never
  // replaced, so that no backup takes what a redirection had put there.
  bool writes =
      requested_job == "--save" || requested_job == "--to-csv" || requested_job == "--from-csv";
  if (writes && IsStandardOutputName(job_values.back())) job_values.back() = kStandardStreamName;
  // Only a load has findings to send despite.
  if (force_given && requested_job != "--load")
    UsageError("option '--force' goes with --load only");
  if (all_given && requested_job != "--list" && requested_job != "--list-radio")
    UsageError("option '--all' goes with --list or --list-radio");
  ChooseChannelsOrEnd();
  ChooseLineOrEnd();
  RefuseUnusedWords(rest);
  return rest;
}

std::string PortNameFromArguments(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) {
    if (&argument != &arguments.front()) joined += ' ';
    joined += argument;
  }
  joined = UpperCase(joined);
  size_t at = joined.find("C=");
  if (at == std::string::npos) return "COM1";
  return "COM" + joined.substr(at + 2);
}

std::string TraceName() {
  const char* name = trace_name.empty() ? std::getenv("QUENMAR_TRACE") : trace_name.c_str();
  return name ? name : "";
}

bool TraceWritesInto(const std::string& file) {
  std::string trace = TraceName();
  if (trace.empty() || trace == kStandardStreamName || file == kStandardStreamName) return false;
  return SameFile(trace, file) || NamesFileOrBackup(trace, file);
}
