// The doors of the search for the radio: --speed auto before a job or the
// menu, what --probe found when the radio did not answer at the settings
// given, and --list-ports --probe.
//
// AddressText          an address as two hex digits: "5C"
// RadioText            "radio 04": the radio at the address in use
// FindSpeedOrEnd       --speed auto: the speed at which the radio answers, said
//                      on the error stream; none ends the program with one line
//                      naming the speeds tried and status 5
// ReportRadioSearch    after no answer at the settings given on a line that
//                      echoed: the other speeds (unless --speed auto tried
//                      them) and the broadcast address, and one line saying
//                      what to give or what is wrong; status 5
// ReportNoEcho         one line for a line that returned nothing sent; status 5
// ProbeListedPortsJob  --list-ports --probe: the list, then each device
//                      opened, probed read-only and closed again, a line
//                      each, then the one with the radio; status 0 when a
//                      radio answered at the settings given, else 5
#pragma once
#include <string>

std::string AddressText(int address);
std::string RadioText();
void FindSpeedOrEnd();
int ReportRadioSearch(bool speeds_tried);
int ReportNoEcho();
int ProbeListedPortsJob();
