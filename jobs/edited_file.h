// A memory file as the channel editor holds it: its bytes read whole, the
// place of each channel's line in them, and the bytes written back with some
// lines replaced. Lines end in CR LF, LF or a CR alone, mixed as they come,
// and every byte outside a replaced line's text stays as it was: its line end,
// a byte-order mark, lines after the 62nd, what follows a Ctrl-Z.
//
// ReadEditedFile     the bytes of a memory file (a byte-order mark taken off and
//                    noted); a missing file gives none and `missing`. "" or why
//                    it cannot be edited, in words
// WithLinesReplaced  the bytes with the lines of some channels replaced (an empty
//                    text keeps a line); a channel past the file's last line gets
//                    a new line, the channels between it and that line empty ones,
//                    each ended by CR LF
// WriteEditedFile    the bytes written through the file layer (its backup and its
//                    refusals; the old file kept when the write fails), the mark
//                    put back in front; "" or why not, in words
#pragma once
#include <string>
#include <vector>

#include "jobs/jobs.h"
#include "jobs/memory_file.h"

std::string ReadEditedFile(const std::string& name, FileBytes& file, bool& missing);
std::string WithLinesReplaced(const std::string& bytes, const std::string (&lines)[kChannels]);
std::string WriteEditedFile(const std::string& name, const std::string& bytes, bool mark);
