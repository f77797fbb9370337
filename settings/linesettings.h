#pragma once

#include <QString>

#include <optional>

// The line settings string "speed,parity,databits,stopbits", e.g. "9600,n,8,1".
namespace LineSettings {

inline const QString Default = QStringLiteral("9600,n,8,1");

struct Fields
{
    QString speed;
    QString parity;   // one character, case as given
    QString dataBits; // one character
    QString stopBits; // one or three characters
};

// Joins the four texts with commas. Speed, data bits and stop bits are
// trimmed; parity contributes its first character only (none when empty).
// Nothing is validated.
QString compose(const QString &speed, const QString &parity, const QString &dataBits, const QString &stopBits);

// Cuts the string at fixed distances from its end, never at its commas:
// parity and data bits are one character wide and the stop-bits field is
// three wide when the string holds a "." anywhere, else one. Gives nothing
// for strings shorter than 6 characters (8 with a ".").
std::optional<Fields> parseByPosition(const QString &settings);

} // namespace LineSettings
