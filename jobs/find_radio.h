// Finding the radio on an open port: at which speed it answers, and from
// which address. Each look is one ReadFrequency, which changes nothing in
// the radio, with a short window: a radio answers in milliseconds.
//
// SearchOrder     the radios' speeds in the order they are tried: the given
//                 one first, then the others, fastest first
// SpeedsText      speeds in words: "1200, 115200, ... or 300 bit/s"
// LookForRadio    one look at the port's speed and the radio's address: true
//                 when it answered; `echoed` set when the line returned the frame
// FindRadioSpeed  --speed auto: a look at each speed in SearchOrder from 1200
//                 until the radio answers; the port is left at that speed, and
//                 it is returned; 0 when it answered at none
// SearchRadio     where a radio that did not answer at the port's speed and
//                 the radio's address is: the other speeds at its address
//                 (unless FindRadioSpeed has tried them), then the broadcast
//                 address at every speed; the port is left at the speed it
//                 had. A line that does not echo ends the search: nothing
//                 that is sent reaches a radio there
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What a search found: the speed and address a radio answered at, if one did,
// and whether the line echoed the frames sent.
struct RadioFound {
  uint32_t speed = 0;  // 0: no radio answered
  int address = -1;
  bool echoed = false;
};

std::vector<uint32_t> SearchOrder(uint32_t first);
std::string SpeedsText(const std::vector<uint32_t>& speeds);
bool LookForRadio(bool& echoed);
uint32_t FindRadioSpeed(bool& echoed);
RadioFound SearchRadio(bool speeds_tried);
