// The line between the program and the virtual radio: a pseudo-terminal
// whose master side the radio holds, the timetable of the bytes the radio
// puts on the line, and the log of what passes.
//
// LineOpen       creates the pseudo-terminal at the given speed (1200 when the
//                terminal has none such); the slave's path, "" on failure
// LineAtSpeed    whether the program's end of the terminal is at the given
//                speed, as a radio at that speed hears it; always at 0
// LineByteTimeNs how long one byte takes at the terminal's speed (the
//                program's), 0 when it has none of the radios' speeds
// LineClose      closes both sides, which the program sees as a hang-up
// LineRead       the bytes that have arrived, "" when none are waiting
// LineSchedule   puts bytes on the timetable behind those already on it, each
//                byte_time_ns apart unless given another time
// LineDeliver    writes the bytes whose time has come; false on a failed write
// LineNextWake   when LineDeliver next has something to do, -1 for never
// LineBlocked    true when the pseudo-terminal took no more bytes (wait for POLLOUT)
// LineDrained    nothing left to send, and what was sent has been read
// LogOpen        opens the frame log for appending; false on failure
// LogBytes       one log line: seconds since the start, a kind, the bytes in hex
// NowNs          nanoseconds on a monotonic clock since the first call
#pragma once
#include <cstdint>
#include <string>

// The master side of the pseudo-terminal, -1 when closed; written by
// LineOpen and LineClose, polled by the serving loop.
extern int line_fd;

// How long one byte is on the line (10 bits at the rate), 0 for no pacing,
// and the period at which bytes are handed out, 0 for at once; set from the
// options before the first byte.
extern int64_t byte_time_ns;
extern int64_t batch_ns;

std::string LineOpen(long rate);
bool LineAtSpeed(long rate);
int64_t LineByteTimeNs();
void LineClose();
std::string LineRead();
void LineSchedule(const std::string& bytes, int64_t earliest, int64_t gap = 0,
                  int64_t byte_ns = -1);
bool LineDeliver(int64_t now);
int64_t LineNextWake();
bool LineBlocked();
bool LineDrained(int64_t now);

bool LogOpen(const std::string& path);
void LogBytes(const char* kind, const std::string& bytes, int64_t when);

int64_t NowNs();
