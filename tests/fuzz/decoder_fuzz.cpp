// Fuzz target: received bytes to text. However the bytes are split into
// reads, the text is the same, and no byte is lost.
#include "serial/receiveddecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first byte chooses where to split and whether parity is marked.
    const bool marking = data[0] & 1;
    // A newline at the end ends any character or mark left open.
    const QByteArray ended = QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)) + '\n';

    ReceivedDecoder whole;
    whole.setParityMarking(marking);
    const QString expected = whole.decode(ended);
    if (whole.hasPending())
        std::abort();

    ReceivedDecoder pieces;
    pieces.setParityMarking(marking);
    QString text;
    const int step = 1 + (data[0] >> 1) % 7;
    for (qsizetype at = 0; at < ended.size(); at += step)
        text += pieces.decode(ended.mid(at, step));
    if (text != expected || pieces.hasPending())
        std::abort();

    // Without parity marks every byte shows: a character takes at most four
    // bytes, and ASCII comes through as itself.
    if (!marking) {
        if (expected.size() * 4 < ended.size())
            std::abort();
        const bool ascii = std::all_of(ended.begin(), ended.end(), [](char c) { return uchar(c) < 0x80; });
        if (ascii && expected != QString::fromLatin1(ended))
            std::abort();
    }
    return 0;
}
