// What every ending of the program lets go of, in one place: the memory file,
// the serial port and the terminal's input mode.
#include "console/terminal.h"
#include "ending/fatal.h"
#include "jobs/memory_file.h"
#include "link/serial_port.h"

void CloseEverything() {
  MemoryFileAbandon();  // an unfinished save keeps the old file
  PortAbandon();        // the driver gets its own settings back
  TerminalRestore();
}
