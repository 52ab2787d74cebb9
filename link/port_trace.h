// The port trace: when --trace or QUENMAR_TRACE names a file, every byte
// written to and read from the port is appended to it as timestamped hex
// lines, so that "no reply from the radio" can be told apart from "no echo"
// or "a late reply".
//
// TraceStart        starts the trace in a file opened to append (start-up opens
//                   the one --trace or QUENMAR_TRACE names), or in a standard
//                   stream; nullptr: no trace
// TraceBytes        one line: the time, what the bytes are, the bytes in hex
// TraceEchoDiffers  one line: where the echo of a frame first differs from it
// TraceNote         one line of words: what the program made of an exchange
// TraceWindow       one line: how a reply window ended, after how long, with how many bytes
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

void TraceStart(std::FILE* file);
void TraceBytes(const char* kind, const std::string& bytes);
void TraceEchoDiffers(const std::string& sent, const std::string& echo);
void TraceNote(const std::string& text);
void TraceWindow(const char* how, double seconds, size_t count);
