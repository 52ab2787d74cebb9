// The program's own options come out of the command line before the port rule.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/serial_port.h"

namespace {

std::vector<std::string> Read(std::vector<const char*> words) {
  requested_job.clear();
  channel_list.clear();
  job_values.clear();
  port_device.clear();
  force_given = false;
  all_given = false;
  words.insert(words.begin(), "quenmar-setup");
  return ReadCommandLine(static_cast<int>(words.size()), words.data());
}

TEST(CommandLine, OptionsAreTakenOutBeforeThePortRule) {
  std::vector<std::string> rest = Read({"c=2", "--version", "x"});
  EXPECT_EQ(requested_job, "--version");
  EXPECT_EQ(PortNameFromArguments(rest), "COM2 X");
  EXPECT_EQ(PortNameFromArguments(Read({})), "COM1");
  // A job's value is taken out with it: it is a file name, not a port word.
  rest = Read({"--check", "c=2.txt", "c=3"});
  EXPECT_EQ(requested_job, "--check");
  EXPECT_EQ(job_values, std::vector<std::string>{"c=2.txt"});
  EXPECT_EQ(PortNameFromArguments(rest), "COM3");
}

TEST(CommandLine, AJobTakesItsFileName) {
  EXPECT_EQ(PortNameFromArguments(Read({"C=3", "--save", "mem.txt"})), "COM3");
  EXPECT_EQ(requested_job, "--save");
  EXPECT_EQ(job_values, std::vector<std::string>{"mem.txt"});
  Read({"--compare=C=2.txt"});
  EXPECT_EQ(job_values, std::vector<std::string>{"C=2.txt"});
  EXPECT_EXIT(Read({"--load"}), testing::ExitedWithCode(2), "--load needs a file name");
  EXPECT_EXIT(Read({"--clock", "--save", "x"}), testing::ExitedWithCode(2), "cannot be given");
  Read({"--force", "--load", "mem.txt"});
  EXPECT_TRUE(force_given);
  EXPECT_EQ(job_values, std::vector<std::string>{"mem.txt"});
  EXPECT_EXIT(Read({"--save", "x", "--force"}), testing::ExitedWithCode(2), "with --load only");
  EXPECT_EXIT(Read({"--force=yes", "--load", "x"}), testing::ExitedWithCode(2), "takes no value");
}

TEST(CommandLine, UnknownOrMisusedOptionsEndWithStatus2) {
  EXPECT_EXIT(Read({"--frobnicate"}), testing::ExitedWithCode(2), "unknown option '--frobnicate'");
  EXPECT_EXIT(Read({"-x"}), testing::ExitedWithCode(2), "unknown option '-x'");
  EXPECT_EXIT(Read({"--port", ""}), testing::ExitedWithCode(2), "'--port' was given an empty");
  EXPECT_EXIT(Read({"--port="}), testing::ExitedWithCode(2), "'--port' was given an empty");
  EXPECT_EXIT(Read({"--trace="}), testing::ExitedWithCode(2), "'--trace' was given an empty");
  EXPECT_EXIT(Read({"--help=x"}), testing::ExitedWithCode(2), "takes no value");
  EXPECT_EXIT(Read({"--help", "--version"}), testing::ExitedWithCode(2),
              "cannot be given together");
  EXPECT_EXIT(Read({"--to-csv", "mem.txt"}), testing::ExitedWithCode(2),
              "--to-csv needs two file names, MEMORY_FILE CSV_FILE");
  EXPECT_EXIT(Read({"--from-csv=a.csv", "b"}), testing::ExitedWithCode(2), "separate arguments");
}

// Every word is used or refused: none is dropped, none is taken twice over.
TEST(CommandLine, WordsThatWouldBeDroppedAreRefused) {
  const struct {
    std::vector<const char*> words;
    const char* message;
  } cases[] = {
      {{"--save", "a.txt", "b.txt"}, "'b.txt' is not used: it is neither an option"},
      {{"--probe", "extra"}, "'extra' is not used"},
      {{"x", "c=2"}, "'x' is not used"},
      {{"--check", "a.txt", "--", "b"}, "'b' is not used"},
      {{"--channels", "5", "--channels", "7", "--load", "a"}, "'--channels' is given twice"},
      {{"--load", "a", "--load=b"}, "'--load' is given twice"},
      {{"-h", "--help"}, "'--help' is given twice"},
      {{"--trace", "--probe"}, "--trace needs a file name; --probe is an option"},
      {{"--port", "--save=x"}, "--port needs a device name; --save=x is an option"},
      {{"--to-csv", "a", "-h"}, "needs two file names, MEMORY_FILE CSV_FILE; -h is an option"},
      {{"--channels", "--", "--load", "a"}, "; -- is an option"},
      {{"COM3"}, "COM3 is not opened: only C=n and --port name the port; to open it, use C=3"},
      {{"ttyUSB0", "c=1"}, "to open it, use --port "},
  };
  for (const auto& one : cases) {
    EXPECT_EXIT(Read(one.words), testing::ExitedWithCode(2), one.message) << one.words[0];
  }
  // What the port rule takes is used: the first word with C= and all after it.
  EXPECT_EQ(PortNameFromArguments(Read({"--probe", "c=2", "x"})), "COM2 X");
  // A value that only looks like an option is a value.
  Read({"--save", "-x.txt"});
  EXPECT_EQ(job_values, std::vector<std::string>{"-x.txt"});
}

TEST(CommandLine, AConversionTakesTwoFileNames) {
  std::vector<std::string> rest = Read({"C=2", "--from-csv", "list.csv", "mem.txt"});
  EXPECT_EQ(requested_job, "--from-csv");
  EXPECT_EQ(job_values, (std::vector<std::string>{"list.csv", "mem.txt"}));
  EXPECT_EQ(rest, std::vector<std::string>{"C=2"});
}

TEST(CommandLine, ShortSpellings) {
  const struct {
    const char* argument;
    const char* job;
  } cases[] = {{"-h", "--help"},
               {"-?", "--help"},
               {"-V", "--version"},
               {"--probe", "--probe"},
               {"--list-ports", "--list-ports"}};
  for (const auto& one : cases) {
    Read({one.argument});
    EXPECT_EQ(requested_job, one.job) << one.argument;
  }
}

TEST(CommandLine, ALoneDashIsAFileAndTwoDashesEndTheOptions) {
  EXPECT_EQ(Read({"--save", "-", "c=-"}), std::vector<std::string>{"c=-"});
  EXPECT_EQ(job_values, std::vector<std::string>{"-"});
  EXPECT_EQ(Read({"--", "c=2", "--save", "-h"}), (std::vector<std::string>{"c=2", "--save", "-h"}));
  EXPECT_EQ(requested_job, "");
}

TEST(CommandLine, TraceNamesItsFile) {
  Read({"--trace", "radio.trace", "--probe"});
  EXPECT_EQ(trace_name, "radio.trace");
  EXPECT_EQ(requested_job, "--probe");
  trace_name.clear();
}

}  // namespace
