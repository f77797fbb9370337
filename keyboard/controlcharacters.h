#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <utility>

// The user's texts to type in place of control characters (GS=| makes the
// field separator of GS1 barcodes a visible '|'), and the naming of control
// characters that are not typed.
//
// A character without an entry keeps its rule (see TypedText): CR, LF, TAB,
// BS and ESC are keys, and the other C0 controls, DEL and C1 controls are not
// typed. An entry puts its text in the character's place, to be typed as
// received text is; an empty text drops the character without naming it.
class ControlCharacters
{
public:
    static constexpr qsizetype LongestReplacement = 64;

    // The table from stored entries: the key is an ASCII name (NUL to US,
    // TAB for HT, DEL), in any case, and the value the text. An unknown
    // name, a name given before, a text holding a control character or
    // longer than LongestReplacement is left out, and rejected gets a line
    // that names the entry and says why.
    static ControlCharacters fromEntries(const QList<std::pair<QString, QString>> &entries, QStringList *rejected);

    struct Replaced
    {
        QString text;
        // The control characters dropped without an entry, each named once
        // with its count: "GS (U+001D) ×2, SOH (U+0001) ×1". Empty if none.
        QString notTyped;
    };
    // The text with each control character that has an entry replaced by its
    // text, and those that are not typed taken out.
    Replaced replace(const QString &text) const;

private:
    std::map<char32_t, QString> m_replacements;
};
