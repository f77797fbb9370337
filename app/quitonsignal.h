#pragma once

// Ends the program in an orderly way on SIGTERM, SIGINT and SIGHUP, so that
// the program's destructors run: the port and its locks are released and the
// keyboard is left as it was found. The handler only notes the signal and
// writes a byte to a pipe. Whichever event loop runs next reads it, the main
// one or a message box's own, also before the main loop has started, and
// every running loop is left; the main loop returns exitStatus().
namespace QuitOnSignal {

void install();

// 128 plus the number of the signal that asked the program to end, as a
// shell reports a process a signal ended; 0 while none has.
int exitStatus();

} // namespace QuitOnSignal
