// The standard streams on Windows. The port and the files are opened as
// handles of their own, never as the C library's descriptors 0 to 2, so a
// closed standard stream cannot hand its number to them: nothing to take.
#include "app/process.h"

bool stream_was_closed[3] = {false, false, false};

void TakeStandardStreams() {}
