// The system's own words for an error number: the one reason text that every
// failed platform step leaves, on both systems, for the complaints to quote.
//
// SystemErrorText  the words for an error number (errno on POSIX systems, a
//                  system error code on Windows), without a line end or a
//                  closing full stop
#pragma once
#include <string>

std::string SystemErrorText(unsigned long error);
