// The rules that turn received text into key strokes, without a display.
#include "typedtext.h"

#include <gtest/gtest.h>

namespace {

std::u32string strokes(const QString &text)
{
    TypedText typed;
    return typed.strokesFor(text);
}

} // namespace

TEST(TypedText, KeySyntaxCharactersAreTypedAsThemselves)
{
    EXPECT_EQ(strokes(QStringLiteral("+^%~(){}[]")), U"+^%~(){}[]");
    EXPECT_EQ(strokes(QStringLiteral("{ENTER}~+a")), U"{ENTER}~+a");
}

TEST(TypedText, EveryKindOfLineEndTypesOneReturn)
{
    EXPECT_EQ(strokes(QStringLiteral("a\rb")), U"a\rb");
    EXPECT_EQ(strokes(QStringLiteral("a\nb")), U"a\rb");
    EXPECT_EQ(strokes(QStringLiteral("a\r\nb")), U"a\rb");
    EXPECT_EQ(strokes(QStringLiteral("a\n\rb")), U"a\r\rb");
    EXPECT_EQ(strokes(QStringLiteral("\r\r\n\n")), U"\r\r\r");
}

TEST(TypedText, LineFeedAfterReturnOfThePreviousTextTypesNothing)
{
    TypedText typed;
    EXPECT_EQ(typed.strokesFor(QStringLiteral("12.5 kg\r")), U"12.5 kg\r");
    EXPECT_EQ(typed.strokesFor(QStringLiteral("\n13.0 kg\r")), U"13.0 kg\r");
    // An empty text between does not break the pair.
    EXPECT_EQ(typed.strokesFor(QString()), U"");
    EXPECT_EQ(typed.strokesFor(QStringLiteral("\nx")), U"x");
    // Another character between does.
    EXPECT_EQ(typed.strokesFor(QStringLiteral("\r")), U"\r");
    EXPECT_EQ(typed.strokesFor(QStringLiteral("y\n")), U"y\r");
}

TEST(TypedText, TabBackSpaceAndEscapeAreTypedOtherControlsAreNot)
{
    EXPECT_EQ(strokes(QStringLiteral("a\tb\bc\x1b" "d")), U"a\tb\bc\x1b" "d");
    const QString controls = QString(QChar(0)) + QStringLiteral("\x01\x07\x0b\x0c\x1f\x7f") + QChar(0x80)
                             + QChar(0x85) + QChar(0x9f);
    EXPECT_EQ(strokes(QStringLiteral("<") + controls + QStringLiteral(">")), U"<>");
}

TEST(TypedText, CharactersBeyondAsciiAreKeptExactly)
{
    EXPECT_EQ(strokes(QStringLiteral("é€✓中文ΩØø “”")), U"é€✓中文ΩØø “”");
    // Outside the basic plane: one stroke, not two surrogates.
    EXPECT_EQ(strokes(QString::fromUcs4(U"a😀b")), U"a😀b");
    // A lone surrogate cannot be typed.
    EXPECT_EQ(strokes(QStringLiteral("a") + QChar(0xd800) + QStringLiteral("b")), U"ab");
}
