#pragma once

#include <QString>

// C0 controls, DEL and C1 controls: characters that are never shown or typed
// as themselves.
constexpr bool isControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

// "U+00E9": how messages name a character by its code point.
inline QString codePointText(char32_t c)
{
    return QStringLiteral("U+%1").arg(QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}
