// Frames to and from the radio: FE FE, destination, source, command, data, FD.
// A job hands a command frame to SendFrame, takes the reply from ReceiveReply
// as a value, and reads it with the Reply helpers below, each given the reply.
// civ_buffer mirrors the last frame sent or taken; nothing decides on it.
//
// SendFrame        clears stale input, writes the frame in one write, eats its echo;
//                  sends it again when the echo comes back changed (a collision),
//                  three tries in all; returns how that went (FrameSent)
// ReceiveReply     collects the reply, the first frame from the radio to this program,
//                  until its first FD, or for the window (3 seconds unless a
//                  search for the radio asks for less), or up to a bound of bytes;
//                  frames for other devices pass by; the reply into `reply`,
//                  true when it ended at the FD
// ForSomeoneElse   whether bytes ending in FD hold a whole frame that is not the
//                  radio's to this program (an announcement, another controller's)
// ShowFrame        prints a frame in hex, up to and including its first FD, under
//                  its heading
// FrameHex         bytes in hex, "FE FE F1 04 FB FD", up to and including the first FD
// EncodeFrequency  seven frequency digits to the four packed-decimal bytes
// DecodeFrequency  the seven frequency digits of a reply, from 10 MHz down to
//                  10 Hz ("1423450"); nine zeros when the reply is empty
// PackedDecimal    two digit characters to one packed-decimal byte
// ReplyByte        the byte of a reply at a position, 0 past its end
// ReplyFilter      the filter of a ReadMode reply; 0 when the radio sent the
//                  mode alone
// ReplyAnswers     whether a reply answers a command: a read's data
//                  (4 or 5 decimal frequency bytes, only 5 once the radio has sent
//                  5, the mode byte, a name), a setting's
//                  FB; or FA, when a refusal is an answer too
// ReplyStatusIs    whether the reply's status byte (position 5) is the given one
// UseRadioAddress  frames go to that address from then on, and only replies
//                  from it count; to the broadcast address, replies from any
//                  radio count
// ReplySource      the address a reply came from
// ByteTime         seconds one byte takes on the line at the port's speed
// NoteFrequencyAnswer  notes a ReadFrequency reply taken as the answer: once the
//                  radio has given five frequency bytes, four are a damaged reply
// DrainStale       throws away what is waiting before a frame goes out (traced as
//                  stale); true when a reply from the radio was among it
// LetRepliesSettle waits until the line has been quiet for longer than the radio
//                  takes to answer, throwing away what comes (traced as late);
//                  true when a reply from the radio came meanwhile
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The frame buffer: the last frame SendFrame sent, then the last reply
// ReceiveReply took; written by those two alone. A mirror for looking at
// the line (a debugger, a dump): callers learn the reply from ReceiveReply.
extern std::string civ_buffer;

// How one SendFrame went: how many times the frame went out, and how the echo
// of the last try came back.
struct FrameSent {
  int tries = 0;
  bool echo_as_sent = false;  // whole and as sent
  bool echo_changed = false;  // changed: another device talked at the same time
  // A reply from the radio that answers no try of the frame, come while the
  // line fell quiet after a collision: an earlier frame's, late; "" for none.
  std::string stray_reply;
};

// Tries of one frame whose echo keeps coming back changed; bytes one reply
// window takes in at most, frames for other devices included.
constexpr int kSendTries = 3;
constexpr size_t kReplyLimit = 256;
constexpr double kReplyWindow = 3.0;  // seconds

// FE FE 04 F1: preamble, the radio's address, the program's address; the
// radio's address is 04 unless UseRadioAddress gave another.
extern std::string frame_header;

// The radio's address when nothing names another, and the broadcast address,
// which every radio answers from its own.
constexpr char kDefaultRadioAddress = 0x04;
constexpr char kBroadcastAddress = 0x00;
// The addresses a radio may have: below E0, where the controllers' are.
constexpr int kLowestRadioAddress = 0x01;
constexpr int kHighestRadioAddress = 0xDF;

// The speeds the radios of the family run at, in bit/s, and the one the
// program uses when none is given.
constexpr uint32_t kRadioSpeeds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr uint32_t kDefaultSpeed = 1200;

// Replies out of step: a frame from the radio to this program came where no
// reply can be (waiting before a frame went out, ahead of its echo, behind the
// reply just taken); set by SendFrame and ReceiveReply, cleared by the jobs
// that start a channel. The last such frame, for the user.
extern bool replies_out_of_step;
extern std::string late_reply;

// The radio has given five frequency bytes in this run (NoteFrequencyAnswer);
// the longest it took to answer, in seconds from a reply window's start to
// its reply's FD (ReceiveReply), which LetRepliesSettle's quiet while follows.
extern bool five_frequency_bytes;
extern double longest_answer;

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
constexpr char ReplyRefused = static_cast<char>(0xFA);
constexpr char FrameEnd = static_cast<char>(0xFD);

// Byte positions of a reply, counted from 1.
constexpr size_t kReplyStatus = 5;     // the command echoed, or FB / FA
constexpr size_t kReplyFrequency = 6;  // 6-9: the frequency, lowest byte first
constexpr size_t kReplyMode = 6;
constexpr size_t kReplyFilter = 7;
constexpr size_t kReplyName = 6;  // 6-12: the seven name bytes
constexpr size_t kNameLength = 7;

FrameSent SendFrame(const std::string& frame);
bool ReceiveReply(std::string& reply, double window = kReplyWindow);
bool ForSomeoneElse(const std::string& bytes);
void ShowFrame(const std::string& frame);
std::string FrameHex(const std::string& bytes);
std::string EncodeFrequency(const std::string& digits);
std::string DecodeFrequency(const std::string& reply);
char PackedDecimal(char tens, char units);
int ReplyByte(const std::string& reply, size_t position);
int ReplyFilter(const std::string& reply);
bool ReplyAnswers(const std::string& reply, char command, bool refusal_answers);
bool ReplyStatusIs(const std::string& reply, char code);
void UseRadioAddress(char address);
int ReplySource(const std::string& reply);
double ByteTime();
void NoteFrequencyAnswer(const std::string& reply);
bool DrainStale();
bool LetRepliesSettle();

// The radio's side of a frame, as the virtual radio builds and reads it:
// ReplyHeader        FE FE F1 04 (the radio's address last), the start of a frame
//                    from the radio to this program
// FrequencyDigitsOf  the seven digits (10 Hz steps) of four packed-decimal bytes
// PackedValue        a packed-decimal byte's value 0-99; -1 when a half is no digit
std::string ReplyHeader();
std::string FrequencyDigitsOf(const std::string& bytes);
int PackedValue(char byte);
