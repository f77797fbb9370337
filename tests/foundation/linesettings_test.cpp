// The line settings string: positional parse, compose, and the serial
// component's own strict reading of it.
#include "lineconfig.h"
#include "linesettings.h"
#include "operationerror.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase
{
    const char *settings;
    const char *speed;
    const char *parity;
    const char *dataBits;
    const char *stopBits;
};

TEST(LineSettingsParse, CutsFieldsAtFixedDistancesFromTheEnd)
{
    const ParseCase cases[] = {
        { "9600,n,8,1", "9600", "n", "8", "1" },
        { "115200,e,7,1.5", "115200", "e", "7", "1.5" },
        { "110,n,8,2", "110", "n", "8", "2" },
        { "9600,n,8,1.5", "9600", "n", "8", "1.5" },
        { "256000,s,4,2", "256000", "s", "4", "2" },
        { ",n,8,1", "", "n", "8", "1" },
        { "x,n,8,1", "x", "n", "8", "1" },
        // A "." anywhere sets the wide stop-bits field.
        { "96.0,n,8,1", "96", "0", "n", "8,1" },
        // A two-digit field shifts everything; the string is never split at commas.
        { "9600,n,10,1", "9600,", ",", "0", "1" },
        { "9600, n, 8, 1", "9600, n", " ", ",", "1" },
        // Case is kept.
        { "9600,N,8,1", "9600", "N", "8", "1" },
    };
    for (const ParseCase &c : cases) {
        SCOPED_TRACE(c.settings);
        const auto fields = LineSettings::parseByPosition(QString::fromUtf8(c.settings));
        ASSERT_TRUE(fields.has_value());
        EXPECT_EQ(fields->speed, QString::fromUtf8(c.speed));
        EXPECT_EQ(fields->parity, QString::fromUtf8(c.parity));
        EXPECT_EQ(fields->dataBits, QString::fromUtf8(c.dataBits));
        EXPECT_EQ(fields->stopBits, QString::fromUtf8(c.stopBits));
    }
}

TEST(LineSettingsParse, FailsForStringsShorterThanSixPlusOffset)
{
    for (const char *tooShort : { "", "n,8,1", "12345", "9,n,1.5" }) {
        SCOPED_TRACE(tooShort);
        EXPECT_FALSE(LineSettings::parseByPosition(QString::fromUtf8(tooShort)).has_value());
    }
    // Exactly 6 + offset is long enough.
    EXPECT_TRUE(LineSettings::parseByPosition(QStringLiteral(",n,8,1")).has_value());
    EXPECT_TRUE(LineSettings::parseByPosition(QStringLiteral(",n,8,1.5")).has_value());
}

TEST(LineSettingsCompose, TrimsAllButParityAndTakesItsFirstLetter)
{
    EXPECT_EQ(LineSettings::compose("9600", "None", "8", "1"), "9600,N,8,1");
    EXPECT_EQ(LineSettings::compose(" 19200 ", "Even", "7 ", "1.5"), "19200,E,7,1.5");
    EXPECT_EQ(LineSettings::compose("9600", "", "8", "1"), "9600,,8,1");
    EXPECT_EQ(LineSettings::compose("9600", "Odd", "8", "1"), "9600,O,8,1");
    EXPECT_EQ(LineSettings::compose("", "", "", ""), ",,,");
}

TEST(LineConfig, AcceptsBothParityCasesAndReadsBackCanonically)
{
    const std::pair<const char *, const char *> cases[] = {
        { "9600,n,8,1", "9600,n,8,1" },     { "9600,N,8,1", "9600,n,8,1" },
        { "19200,O,7,2", "19200,o,7,2" },   { "4800,E,7,1", "4800,e,7,1" },
        { "110,m,5,2", "110,m,5,2" },       { "256000,S,6,1", "256000,s,6,1" },
        { "009600,n,8,1", "9600,n,8,1" },   { "3000000,n,8,1", "3000000,n,8,1" },
    };
    for (const auto &[given, canonical] : cases) {
        SCOPED_TRACE(given);
        EXPECT_EQ(LineConfig::parse(QString::fromUtf8(given)).toString(), QString::fromUtf8(canonical));
    }
}

TEST(LineConfig, RefusesMalformedAndUnsupportedStringsWithAReason)
{
    const std::pair<const char *, const char *> cases[] = {
        { "", "expected speed" },
        { "9600,n,8", "expected speed" },
        { ",9600,n,8,1", "expected speed" },
        { "9600,n,8,1,", "expected speed" },
        { "96x0,n,8,1", "decimal number" },
        { "-9600,n,8,1", "decimal number" },
        { " 9600,n,8,1", "decimal number" },
        { "0,n,8,1", "out of range" },
        { "99999999999999999999,n,8,1", "out of range" },
        { "9600,x,8,1", "parity" },
        { "9600,,8,1", "parity" },
        { "9600,nn,8,1", "parity" },
        { "9600,n,9,1", "data bits" },
        { "9600,n,3,1", "data bits" },
        { "9600,n,88,1", "data bits" },
        { "9600,n,4,1", "not supported" },
        { "9600,n,8,1.5", "not supported" },
        { "9600,n,8,3", "stop bits" },
        { "9600,n,8,1.0", "stop bits" },
    };
    for (const auto &[given, reason] : cases) {
        SCOPED_TRACE(given);
        try {
            LineConfig::parse(QString::fromUtf8(given));
            ADD_FAILURE() << "accepted";
        } catch (const OperationError &error) {
            EXPECT_EQ(error.number(), OperationError::InvalidPropertyValue);
            EXPECT_TRUE(error.description().contains(QString::fromUtf8(given)));
            EXPECT_TRUE(error.description().contains(QString::fromUtf8(reason))) << qPrintable(error.description());
        }
    }
}

TEST(LineConfig, FlowControlCodesZeroToThree)
{
    EXPECT_EQ(flowControlFromCode(0), FlowControl::None);
    EXPECT_EQ(flowControlFromCode(1), FlowControl::XonXoff);
    EXPECT_EQ(flowControlFromCode(2), FlowControl::RtsCts);
    EXPECT_EQ(flowControlFromCode(3), FlowControl::XonXoffAndRtsCts);
    EXPECT_THROW(flowControlFromCode(-1), OperationError);
    EXPECT_THROW(flowControlFromCode(4), OperationError);
}

} // namespace
