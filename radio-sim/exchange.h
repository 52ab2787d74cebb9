// What the radio does with the bytes that reach it: each goes back as the
// line's echo (garbled when another device talks at the same time), each
// frame addressed to the radio gets its reply, and the options put noise and
// other devices' frames around that reply. All of it goes on the line's
// timetable and into the log.
//
// ExchangeBegin  takes the noise's seed and gap from the options; call once,
//                after the line's byte time is set
// TakeInput      reads what has arrived and answers every frame it completes;
//                stops at the frame after which the radio vanishes
// ExchangeDue    puts on the line what the radio says once its reply delay is over
// ExchangeNextWake  when ExchangeDue next has something to do, -1 for never
// ExchangeEnd    logs the bytes received since the last FD, if any
#pragma once
#include <cstdint>

// Set once the radio has heard and answered the frames --vanish-after gives
// it; written by TakeInput, read by the serving loop, which then lets the
// line drain and stops.
extern bool vanishing;

void ExchangeBegin();
void TakeInput();
void ExchangeDue(int64_t now);
int64_t ExchangeNextWake();
void ExchangeEnd();
