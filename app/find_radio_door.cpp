// The search for the radio as the command line shows it: which speed and
// address to give, or what is wrong with the line.
#include "app/find_radio_door.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/main_menu.h"
#include "console/console.h"
#include "ending/fatal.h"
#include "jobs/find_radio.h"
#include "link/civ_frame.h"
#include "link/serial_port.h"
#include "text/text.h"

std::string AddressText(int address) {
  return Hex2(static_cast<unsigned char>(address));
}

std::string RadioText() {
  return "radio " + AddressText(static_cast<unsigned char>(frame_header[2]));
}

namespace {

// What a search found, in words: where the radio answered and what to give
// for it to answer at the settings; "" when no radio answered.
std::string FoundText(const RadioFound& found, uint32_t speed_given) {
  if (found.speed == 0) return "";
  const std::string speed = std::to_string(found.speed);
  if (found.address == static_cast<unsigned char>(frame_header[2]))
    return RadioText() + " answers at " + speed + " bit/s: give --speed " + speed;
  const std::string address = AddressText(found.address);
  if (found.speed == speed_given)
    return "a radio at address " + address + " answered: give --address " + address;
  return "a radio at address " + address + " answered at " + speed + " bit/s: give --address " +
         address + " --speed " + speed;
}

const char kNoEcho[] =
    "the line does not echo what is sent, so no radio hears it: this is not the radio's port, "
    "or the interface's cable is not connected";

// The words for a line that echoed and where no radio answered.
std::string NoRadioText() {
  return "no radio answered ReadFrequency at address " +
         AddressText(static_cast<unsigned char>(frame_header[2])) +
         " or at the broadcast address 00, at " + SpeedsText(SearchOrder(kDefaultSpeed)) +
         "; the line echoes, so the port and the cable are right: the radio is off, or its"
         " remote control is off";
}

void PrintResult(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// One port probed, opened by the caller: what was found there, in words,
// and the search's outcome; `at_settings` when the radio answered as given.
std::string ProbeOpenPort(RadioFound& found, bool& at_settings) {
  const uint32_t speed_given = PortSpeed();
  found = RadioFound();
  found.speed = line_speed == 0 ? FindRadioSpeed(found.echoed) : 0;
  if (line_speed != 0 && LookForRadio(found.echoed)) found.speed = speed_given;
  found.address = static_cast<unsigned char>(frame_header[2]);
  at_settings = found.speed != 0;
  if (at_settings) return RadioText() + " answered at " + std::to_string(found.speed) + " bit/s";
  if (!found.echoed) return "no echo: not the radio's port";
  found = SearchRadio(line_speed == 0);
  if (found.speed != 0) return FoundText(found, line_speed == 0 ? 0 : speed_given);
  return found.echoed ? "echoes, but no radio answered" : "no echo: not the radio's port";
}

}  // namespace

void FindSpeedOrEnd() {
  bool echoed = false;
  uint32_t speed = FindRadioSpeed(echoed);
  if (speed != 0) {
    PrintProblem(RadioText() + " answers at " + std::to_string(speed) + " bit/s");
    return;
  }
  PrintProblem(RadioText() + " did not answer ReadFrequency at " +
               SpeedsText(SearchOrder(kDefaultSpeed)) +
               (echoed ? "; --probe looks for it further"
                       : "; the line does not echo what is sent: check the port and the cable"));
  EndProgram(kRadioStoppedAnswering);
}

int ReportRadioSearch(bool speeds_tried) {
  const uint32_t speed_given = PortSpeed();
  RadioFound found = SearchRadio(speeds_tried);
  if (found.speed != 0)
    PrintResult(FoundText(found, line_speed == 0 ? 0 : speed_given));
  else
    PrintProblem(found.echoed ? NoRadioText() : kNoEcho);
  return kRadioStoppedAnswering;
}

int ReportNoEcho() {
  PrintProblem(kNoEcho);
  return kRadioStoppedAnswering;
}

int ProbeListedPortsJob() {
  for (const std::string& line : PortListing()) PrintResult(line);
  std::string radio_port, give;
  bool at_settings = false;
  for (const std::string& path : ListedDevices()) {
    port_device = path;
    if (PortOpen(port_name + port_settings) != 0) {
      PrintResult("probe of " + path + ": not opened: " + Displayed(port_problem));
      continue;
    }
    RadioFound found;
    bool answered = false;
    std::string outcome = ProbeOpenPort(found, answered);
    PortClose();
    PrintResult("probe of " + path + ": " + outcome);
    // The first port where the radio answered as given, else the first
    // where a radio answered at all.
    if (found.speed == 0 || at_settings || (!answered && !radio_port.empty())) continue;
    radio_port = path;
    at_settings = answered;
    give = answered ? "" : outcome.substr(outcome.find(": give ") + 2);
  }
  if (radio_port.empty()) {
    PrintResult("no radio answered on any port listed");
    return kRadioStoppedAnswering;
  }
  PrintResult("the radio is on " + radio_port + ": " + (give.empty() ? "give" : give) + " --port " +
              radio_port);
  return at_settings ? kAllWell : kRadioStoppedAnswering;
}
