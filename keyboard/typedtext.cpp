#include "keyboard/typedtext.h"

#include "core/characters.h"

namespace {

constexpr char32_t Tab = 0x09;
constexpr char32_t LineFeed = 0x0a;
constexpr char32_t CarriageReturn = 0x0d;
constexpr char32_t BackSpace = 0x08;
constexpr char32_t Escape = 0x1b;

bool isSurrogate(char32_t c)
{
    return c >= 0xd800 && c <= 0xdfff;
}

} // namespace

bool TypedText::typesAsKey(char32_t c)
{
    return c == CarriageReturn || c == LineFeed || c == Tab || c == BackSpace || c == Escape;
}

std::u32string TypedText::strokesFor(const QString &text)
{
    std::u32string strokes;
    strokes.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), text.at(i + 1).unicode());
            ++i;
        }
        const bool lineFeedAfterReturn = c == LineFeed && m_afterCarriageReturn;
        m_afterCarriageReturn = c == CarriageReturn;
        if (lineFeedAfterReturn)
            continue;
        if (c == CarriageReturn || c == LineFeed)
            strokes += CarriageReturn;
        else if (typesAsKey(c) || (!isControlCharacter(c) && !isSurrogate(c)))
            strokes += c;
    }
    return strokes;
}
