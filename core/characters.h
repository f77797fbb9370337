#pragma once

#include <QString>
#include <QStringList>

#include <string>

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

// "é (U+00E9), 中 (U+4E2D)": printable characters named in a message.
inline QString namedCharacters(const std::u32string &characters)
{
    QStringList names;
    for (const char32_t c : characters)
        names << QStringLiteral("%1 (%2)").arg(QString::fromUcs4(&c, 1), codePointText(c));
    return names.join(QStringLiteral(", "));
}
