#pragma once

#include "keyboard/controlcharacters.h"

#include <QString>

class MSComm;
class SettingsStore;

// The start-up step: decides where the port configuration comes from, records
// a command-line configuration, then configures the serial component and
// opens the port. The first operation that fails throws OperationError; what
// was done before it stays done.
void openPortAtStartup(const QString &argumentText, SettingsStore &store, MSComm &port);

// Port text to port number: optional blanks around an optional sign and
// decimal digits, within -32768 to 32767. Throws OperationError otherwise.
short convertPortText(const QString &portText);

// The [ControlCharacters] table as stored. Each entry it cannot use is
// reported in one line, and the rest of the table is used.
ControlCharacters readControlCharacters(const SettingsStore &store);
