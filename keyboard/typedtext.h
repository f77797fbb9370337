#pragma once

#include <QString>

#include <string>

// Turns received text into the characters to type, one key stroke each.
//
// The text is literal: there is no key syntax. CR, LF and a CR LF pair each
// become one '\r' (Return); a LF right after a CR types nothing, also when
// the CR ended the previous text. TAB, BS (0x08) and ESC stay as they are
// (Tab, BackSpace, Escape). Every other control character (C0, DEL, C1) is
// dropped. Everything else is kept as it is.
class TypedText
{
public:
    std::u32string strokesFor(const QString &text);

    // CR, LF, TAB, BS and ESC: the control characters that are typed as keys.
    static bool typesAsKey(char32_t c);

    // Forgets a CR that ended the previous text.
    void reset() { m_afterCarriageReturn = false; }

private:
    bool m_afterCarriageReturn = false;
};
