// Frames to and from the radio: FE FE, destination, source, command, data, FD.
// A job builds a command frame in civ_buffer, calls SendFrame and ReceiveReply,
// and reads the reply out of civ_buffer.
//
// SendFrame        clears stale input, writes civ_buffer in one write, eats its echo;
//                  sets echo_as_sent
// ReceiveReply     collects the reply until its first FD, or for 3 seconds; sets
//                  reply_complete
// ShowFrame        prints civ_buffer in hex, up to and including its first FD
// FrameHex         bytes in hex, "FE FE F1 04 FB FD", up to and including the first FD
// EncodeFrequency  seven frequency digits to the four packed-decimal bytes
// DecodeFrequency  the frequency digits of the reply in civ_buffer
// PackedDecimal    two digit characters to one packed-decimal byte
// Hex2             a byte as two upper-case hexadecimal digits
#pragma once
#include <string>

// The frame buffer shared by every exchange; written by the jobs (command)
// and by ReceiveReply (reply).
extern std::string civ_buffer;

// Whether the last exchange was answered: the whole echo came back as sent
// (written by SendFrame) and the reply window ended at an FD (written by
// ReceiveReply). A refusal is an answer; silence, a lost echo or a reply cut
// short is not.
extern bool echo_as_sent;
extern bool reply_complete;

// FE FE 04 F1: preamble, the radio's address, the program's address.
extern const std::string frame_header;

constexpr char ReadFrequency = 0x03;
constexpr char ReadMode = 0x04;
constexpr char SetFrequency = 0x05;
constexpr char SetModeFilter = 0x06;
constexpr char SelectMemory = 0x08;
constexpr char StoreMemory = 0x09;
constexpr char RecallMemory = 0x0A;
constexpr char ReadName = 0x10;
constexpr char SetName = 0x11;
constexpr char SetClock = 0x14;
constexpr char ReplyOk = static_cast<char>(0xFB);
constexpr char FrameEnd = static_cast<char>(0xFD);

void SendFrame();
void ReceiveReply();
void ShowFrame();
std::string FrameHex(const std::string& bytes);
std::string EncodeFrequency(const std::string& digits);
std::string DecodeFrequency();
char PackedDecimal(char tens, char units);
std::string Hex2(unsigned char byte);
