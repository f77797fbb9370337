#pragma once

#include <QString>

// Why a serial device could not be opened, found out and told in the
// system's words: missing, refused, busy with another program, or held by a
// lock file that no program uses any more.
namespace OpenFailure {

// Throws the OperationError that says why device (shown as label, such as
// "Com3 (/dev/ttyUSB0)") did not open. lockRefused: the serial library
// reported a permission error, which is how it reports a held lock file.
[[noreturn]] void raise(const QString &label, const QString &device, bool lockRefused, const QString &libraryReason);

// "Device or resource busy: another program is using the port".
QString busyReason();

} // namespace OpenFailure
