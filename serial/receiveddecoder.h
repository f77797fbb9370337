#pragma once

#include <QByteArray>
#include <QString>

// Turns the bytes read from the line into text. Bytes are UTF-8; a character
// whose bytes are split across reads waits for its rest; a byte that is not
// valid UTF-8 becomes the Latin-1 character of the same value, so nothing
// received is dropped. With parity marking on, the kernel's marks for a
// character received with a parity error (\377 \0 c) become "?", and a doubled
// \377 becomes one.
class ReceivedDecoder
{
public:
    void setParityMarking(bool on) { m_parityMarking = on; }

    QString decode(const QByteArray &bytes);

    // Bytes held back because they may be the start of a split character.
    bool hasPending() const { return !m_markPending.isEmpty() || !m_utf8Pending.isEmpty(); }
    void reset();

private:
    QByteArray unmark(const QByteArray &bytes);

    bool m_parityMarking = false;
    QByteArray m_markPending;
    QByteArray m_utf8Pending;
};
