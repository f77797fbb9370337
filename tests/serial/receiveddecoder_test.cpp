// Bytes from the line to text.
#include "serial/receiveddecoder.h"

#include <gtest/gtest.h>

namespace {

TEST(ReceivedDecoder, DecodesUtf8AndKeepsInvalidBytesAndEveryByteValueAsLatin1)
{
    ReceivedDecoder decoder;
    EXPECT_EQ(decoder.decode("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"), QStringLiteral("café € 😀"));
    // Latin-1 bytes that are no UTF-8: each becomes the character of its value.
    EXPECT_EQ(decoder.decode("caf\xe9!"), QStringLiteral("café!"));
    // Overlong forms and surrogates are not characters.
    EXPECT_EQ(decoder.decode("\xe0\x80\xaf"), QString::fromLatin1("\xe0\x80\xaf"));
    EXPECT_EQ(decoder.decode("\xed\xa0\x80"), QString::fromLatin1("\xed\xa0\x80"));
    // Every byte value, ASCII, NUL and controls included: in ascending order no
    // two bytes of 0x80-0xff form a character, so each comes out as the
    // character of its value, none held back.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(decoder.decode(all), QString::fromLatin1(all));
    EXPECT_FALSE(decoder.hasPending());
}

TEST(ReceivedDecoder, ASplitCharacterWaitsForItsRest)
{
    ReceivedDecoder decoder;
    EXPECT_EQ(decoder.decode("ab\xe2"), QStringLiteral("ab"));
    EXPECT_TRUE(decoder.hasPending());
    EXPECT_EQ(decoder.decode("\x82"), QString());
    EXPECT_EQ(decoder.decode("\xac!"), QStringLiteral("€!"));
    // A lead byte whose rest never comes is kept as Latin-1 once the next byte shows it.
    EXPECT_EQ(decoder.decode("\xc3"), QString());
    EXPECT_EQ(decoder.decode("\r"), QStringLiteral("Ã\r"));
    EXPECT_FALSE(decoder.hasPending());
}

TEST(ReceivedDecoder, ParityMarksBecomeQuestionMarks)
{
    ReceivedDecoder decoder;
    decoder.setParityMarking(true);
    // \377 \0 c is a character received with a parity error; \377 \377 is \377.
    EXPECT_EQ(decoder.decode(QByteArray("a\xff\0xb", 5)), QStringLiteral("a?b"));
    EXPECT_EQ(decoder.decode("\xff\xff"), QString::fromLatin1("\xff"));
    // Marks split across reads.
    EXPECT_EQ(decoder.decode("c\xff"), QStringLiteral("c"));
    EXPECT_EQ(decoder.decode(QByteArray("\0", 1)), QString());
    EXPECT_EQ(decoder.decode("zd"), QStringLiteral("?d"));
    // Without marking, \377 is an ordinary byte.
    ReceivedDecoder plain;
    EXPECT_EQ(plain.decode(QByteArray("\xff\0x", 3)), QString::fromLatin1("\xff\0x", 3));
}

} // namespace
