#pragma once

#include <QString>

class SettingsStore;

// Where the program keeps its entries in the per-user settings store.
namespace SettingsLayout {

// The application title: the dialog's writes and every read use it.
inline const QString ApplicationTitle = QStringLiteral("bexlow");
// A separate application name that only a command-line start writes to.
inline const QString CommandLineApplication = QStringLiteral("BexxLow");

inline const QString Section = QStringLiteral("Properties");

// Under the application title.
inline const QString CommPortKey = QStringLiteral("CommPort");
inline const QString SettingsKey = QStringLiteral("Settings");
inline const QString HandshakingKey = QStringLiteral("Handshaking");
inline const QString EchoKey = QStringLiteral("Echo");
// Under the command-line application name.
inline const QString PortKey = QStringLiteral("Port");

inline const QString DefaultCommPort = QStringLiteral("1");

// The port map: section "Ports" under the application title, key "Com<n>",
// value the device path, e.g. Com3=/dev/serial/by-id/usb-FTDI_...
inline const QString PortsSection = QStringLiteral("Ports");

// The keyboard backend, under the application title: [Typing] Backend=
// auto (the default), wayland, gnome, kde, portal or x11.
inline const QString TypingSection = QStringLiteral("Typing");
inline const QString BackendKey = QStringLiteral("Backend");
// The desktop portal's token that lets the next start skip its dialog:
// [Typing] PortalRestoreToken=
inline const QString PortalTokenKey = QStringLiteral("PortalRestoreToken");

// Texts typed in place of control characters, under the application title:
// [ControlCharacters] GS=| and so on, one key per ASCII name.
inline const QString ControlCharactersSection = QStringLiteral("ControlCharacters");

QString portKey(int port);
QString defaultDevice(int port); // /dev/ttyS<n-1>
QString deviceForPort(const SettingsStore &store, int port);

} // namespace SettingsLayout
