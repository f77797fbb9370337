#include "serial/receiveddecoder.h"

namespace {

constexpr char ParityReplacement = '?';

bool isContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF)
{
    return byte >= low && byte <= high;
}

// The number of bytes that follow a lead byte, and the allowed range of the
// first of them; 0 for a byte that cannot start a character.
int followingBytes(unsigned char lead, unsigned char *low, unsigned char *high)
{
    *low = 0x80;
    *high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 1;
    if (lead == 0xE0)
        *low = 0xA0;
    else if (lead == 0xED)
        *high = 0x9F;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 2;
    if (lead == 0xF0)
        *low = 0x90;
    else if (lead == 0xF4)
        *high = 0x8F;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 3;
    return 0;
}

} // namespace

void ReceivedDecoder::reset()
{
    m_markPending.clear();
    m_utf8Pending.clear();
}

QByteArray ReceivedDecoder::unmark(const QByteArray &bytes)
{
    const QByteArray input = m_markPending + bytes;
    m_markPending.clear();
    QByteArray out;
    out.reserve(input.size());
    for (int i = 0; i < input.size(); ++i) {
        if (uchar(input[i]) != 0xFF) {
            out += input[i];
            continue;
        }
        if (i + 1 == input.size()) {
            m_markPending = input.mid(i);
            break;
        }
        if (uchar(input[i + 1]) == 0xFF) {
            out += input[i];
            ++i;
        } else if (input[i + 1] == '\0') {
            if (i + 2 == input.size()) {
                m_markPending = input.mid(i);
                break;
            }
            out += ParityReplacement;
            i += 2;
        } else {
            out += input[i];
        }
    }
    return out;
}

QString ReceivedDecoder::decode(const QByteArray &bytes)
{
    const QByteArray input = m_utf8Pending + (m_parityMarking ? unmark(bytes) : bytes);
    m_utf8Pending.clear();
    QString text;
    text.reserve(input.size());
    const int size = int(input.size());
    int i = 0;
    while (i < size) {
        const auto lead = uchar(input[i]);
        if (lead < 0x80) {
            text += QChar(lead);
            ++i;
            continue;
        }
        unsigned char low = 0, high = 0;
        const int following = followingBytes(lead, &low, &high);
        bool valid = following > 0;
        bool complete = true;
        for (int k = 1; valid && k <= following; ++k) {
            if (i + k >= size) {
                complete = false;
                break;
            }
            valid = k == 1 ? isContinuation(uchar(input[i + k]), low, high) : isContinuation(uchar(input[i + k]));
        }
        if (valid && !complete) {
            m_utf8Pending = input.mid(i);
            break;
        }
        if (!valid) {
            text += QChar(lead); // Latin-1 character of the same value
            ++i;
            continue;
        }
        char32_t codePoint = lead & (0x3F >> following);
        for (int k = 1; k <= following; ++k)
            codePoint = (codePoint << 6) | (uchar(input[i + k]) & 0x3F);
        text += QString::fromUcs4(&codePoint, 1);
        i += following + 1;
    }
    return text;
}
