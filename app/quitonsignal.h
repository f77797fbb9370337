#pragma once

// Ends the event loop in an orderly way on SIGTERM, SIGINT and SIGHUP, so
// that the program's destructors run: the port and its locks are released
// and the keyboard is left as it was found. The handler only writes a byte to
// a pipe; the event loop reads it and quits.
namespace QuitOnSignal {

void install();

} // namespace QuitOnSignal
