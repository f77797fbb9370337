// The line settings string: the positional cut, and the serial component's
// strict reading, whose refusals also check how the cut fields join again.
#include "serial/lineconfig.h"
#include "settings/linesettings.h"
#include "tests/support/expecterror.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

TEST(LineSettingsParse, CutsFieldsAtFixedDistancesFromTheEndAndNeedsSixPlusOffset)
{
    // settings, speed, parity, data bits, stop bits
    const std::array<const char *, 5> cases[] = {
        {"9600,n,8,1", "9600", "n", "8", "1"},
        // Exactly 6 + offset is long enough.
        {",n,8,1", "", "n", "8", "1"},
        {",e,7,1.5", "", "e", "7", "1.5"},
        {"x,n,8,1", "x", "n", "8", "1"},
        // A "." anywhere sets the wide stop-bits field.
        {"96.0,n,8,1", "96", "0", "n", "8,1"},
        // A two-digit field shifts everything; the string is never split at commas.
        {"9600,n,10,1", "9600,", ",", "0", "1"},
        {"9600, n, 8, 1", "9600, n", " ", ",", "1"},
        {"9600,N,8,1", "9600", "N", "8", "1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        const auto fields = LineSettings::parseByPosition(QString::fromUtf8(c[0]));
        ASSERT_TRUE(fields.has_value());
        EXPECT_EQ(QStringList({fields->speed, fields->parity, fields->dataBits, fields->stopBits}),
                  QStringList({c[1], c[2], c[3], c[4]}));
    }
    // One character less fails.
    for (const char *tooShort : {"", "n,8,1", "12345", "9,n,1.5"})
        EXPECT_FALSE(LineSettings::parseByPosition(QString::fromUtf8(tooShort)).has_value()) << tooShort;
}

TEST(LineConfig, ReadsBackCanonicallyAndRefusesMalformedAndUnsupportedStringsWithAReason)
{
    EXPECT_EQ(LineConfig::parse(QStringLiteral("009600,N,8,2")).toString(), QStringLiteral("9600,n,8,2"));
    // The reason the description gives, and the strings refused for it.
    const std::pair<const char *, std::vector<const char *>> cases[] = {
        {"expected speed", {"9600,n,8", " 9600,n,8,1", "9600,n,8,1,", "9600,,8,1"}},
        {"decimal number", {"96x0,n,8,1", ",9600,n,8,1"}},
        {"out of range", {"0,n,8,1", "99999999999999999999,n,8,1"}},
        {"parity", {"9600,x,8,1", "9600,,,8,1"}},
        {"data bits", {"9600,n,9,1", "9600,n,3,1"}},
        {"not supported", {"9600,n,4,1", "9600,n,8,1.5"}},
        {"stop bits", {"9600,n,8,3", "9600,n,8,1.0"}},
    };
    for (const auto &[reason, refused] : cases) {
        for (const char *given : refused)
            expectError([&] { LineConfig::parse(QString::fromUtf8(given)); }, OperationError::InvalidPropertyValue,
                        reason);
    }
}

} // namespace
