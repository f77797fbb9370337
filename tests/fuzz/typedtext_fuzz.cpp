// Fuzz target: received text to key strokes. Whatever arrives, only the
// literal characters and the four editing keys are typed, and how the text
// is split between calls changes nothing.
#include "keyboard/typedtext.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool isTypedControl(char32_t c)
{
    return c == U'\r' || c == U'\t' || c == U'\b' || c == 0x1b;
}

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    TypedText whole;
    const std::u32string strokes = whole.strokesFor(text);
    for (const char32_t c : strokes) {
        if (isControl(c) && !isTypedControl(c))
            std::abort();
    }

    // Split anywhere, also between a CR and its LF: the same strokes.
    qsizetype at = text.isEmpty() ? 0 : data[0] % (text.size() + 1);
    if (at > 0 && at < text.size() && text[at - 1].isHighSurrogate())
        ++at; // received text never splits a character

    TypedText pieces;
    std::u32string split = pieces.strokesFor(text.left(at));
    split += pieces.strokesFor(text.mid(at));
    if (split != strokes)
        std::abort();

    // Without line ends every character that is not a control is typed, in order.
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))) {
        std::u32string printable;
        for (const char32_t c : text.toStdU32String()) {
            if (!isControl(c) || isTypedControl(c))
                printable += c;
        }
        if (printable != strokes)
            std::abort();
    }
    return 0;
}
