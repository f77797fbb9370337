// Start-up on a real component (a pty as the line) and a temporary store.
#include "bridge/startup.h"
#include "core/operationerror.h"
#include "serial/mscomm.h"
#include "store/inisettingsstore.h"
#include "store/settingslayout.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <gtest/gtest.h>

namespace {

// Ports 1 to 10 each map to a pty of their own.
class StartUp : public ::testing::Test
{
protected:
    StartUp()
    {
        for (int port = 1; port <= 10; ++port) {
            lines.push_back(std::make_unique<PtyPair>());
            config.mapPort(port, lines.back()->path());
        }
        comm.setDeviceResolver([this](int port) { return SettingsLayout::deviceForPort(store, port); });
        mapOnly = config.read(QStringLiteral("bexlow"));
    }

    // Saves a value under the application title; it is no start's doing.
    void save(const char *key, const QString &value)
    {
        store.save(QStringLiteral("bexlow"), QStringLiteral("Properties"), QString::fromLatin1(key), value);
        mapOnly = config.read(QStringLiteral("bexlow"));
    }

    // A start on a fresh component.
    std::unique_ptr<MSComm> start(const QString &argumentText)
    {
        auto fresh = std::make_unique<MSComm>();
        fresh->setDeviceResolver([this](int port) { return SettingsLayout::deviceForPort(store, port); });
        openPortAtStartup(argumentText, store, *fresh);
        return fresh;
    }

    QString commandLineEntry(const QString &key) const
    {
        return store.value(QStringLiteral("BexxLow"), QStringLiteral("Properties"), key, QStringLiteral("<absent>"));
    }

    // Nothing was written by the start.
    void expectStoreUntouched() const
    {
        EXPECT_EQ(config.read(QStringLiteral("bexlow")), mapOnly);
        EXPECT_FALSE(config.exists(QStringLiteral("BexxLow")));
    }

    OperationError failingStart(const QString &argumentText, IniSettingsStore *other = nullptr)
    {
        try {
            openPortAtStartup(argumentText, other ? *other : store, comm);
        } catch (const OperationError &error) {
            return error;
        }
        ADD_FAILURE() << "start-up succeeded with " << qPrintable(argumentText);
        return OperationError(0, QString());
    }

    TempConfig config;
    IniSettingsStore store{config.path()};
    std::vector<std::unique_ptr<PtyPair>> lines;
    MSComm comm;
    QByteArray mapOnly;
};

TEST_F(StartUp, WithoutACommandLineUsesTheSavedSettingsOrTheDefaultsAndWritesNothingEvenWhenItFails)
{
    auto started = start(QString());
    EXPECT_TRUE(started->PortOpen());
    EXPECT_EQ(started->Settings(), QStringLiteral("9600,n,8,1"));
    EXPECT_EQ(started->deviceName(), lines[0]->path());
    expectStoreUntouched();

    save("CommPort", QStringLiteral("10"));
    save("Settings", QStringLiteral("19200,E,7,1"));
    save("Handshaking", QStringLiteral("2"));
    // Up to 3 characters are no command line.
    for (const char *shortText : {"", "2", "2,9"}) {
        SCOPED_TRACE(shortText);
        started.reset(); // lets go of port 10
        started = start(QString::fromLatin1(shortText));
        // Only the saved settings select a port above 9; the saved flow
        // control is not applied at start.
        EXPECT_EQ(started->CommPort(), 10);
        EXPECT_EQ(started->Settings(), QStringLiteral("19200,e,7,1"));
        EXPECT_EQ(started->Handshaking(), 0);
        EXPECT_EQ(started->deviceName(), lines[9]->path());
        expectStoreUntouched();
    }

    // A stored empty port fails after the settings are applied.
    started.reset();
    save("CommPort", QString());
    EXPECT_EQ(failingStart(QString()).number(), OperationError::InvalidPortText);
    EXPECT_EQ(comm.Settings(), QStringLiteral("19200,e,7,1"));
    EXPECT_FALSE(comm.PortOpen());
    expectStoreUntouched();
}

TEST_F(StartUp, ACommandLineIsReadByPositionAndRecordedUnderItsOwnNameOnly)
{
    // The second character is skipped, whatever it is.
    const std::tuple<const char *, int, const char *> cases[] = {
        {"3;4800,e,7,1", 3, "4800,e,7,1"},
        {"9,115200,o,8,2", 9, "115200,o,8,2"},
    };
    for (const auto &[argumentText, port, settings] : cases) {
        SCOPED_TRACE(argumentText);
        const auto started = start(QString::fromLatin1(argumentText));
        EXPECT_TRUE(started->PortOpen());
        EXPECT_EQ(started->CommPort(), port);
        EXPECT_EQ(started->Settings(), QString::fromLatin1(settings));
        EXPECT_EQ(commandLineEntry(QStringLiteral("Port")), QString::number(port));
        EXPECT_EQ(commandLineEntry(QStringLiteral("Settings")), QString::fromLatin1(settings));
        // The entries under the application title are left alone.
        EXPECT_EQ(config.read(QStringLiteral("bexlow")), mapOnly);
    }
    // A later start without a command line does not read it back.
    const auto later = start(QString());
    EXPECT_EQ(later->CommPort(), 1);
    EXPECT_EQ(later->Settings(), QStringLiteral("9600,n,8,1"));
}

TEST_F(StartUp, AFailingStepEndsStartUpAndKeepsWhatWasDoneBefore)
{
    // A port that is no digit: both values written, Settings applied, then
    // the conversion fails: no port number set, nothing opened.
    EXPECT_EQ(failingStart(QStringLiteral("x,9600,e,8,1")).number(), OperationError::InvalidPortText);
    EXPECT_EQ(commandLineEntry(QStringLiteral("Port")), QStringLiteral("x"));
    EXPECT_EQ(commandLineEntry(QStringLiteral("Settings")), QStringLiteral("9600,e,8,1"));
    EXPECT_EQ(comm.Settings(), QStringLiteral("9600,e,8,1"));
    EXPECT_EQ(comm.CommPort(), 1);
    EXPECT_FALSE(comm.PortOpen());

    // "12,..." gives port text 1 and a settings text that starts with the
    // comma, which the component refuses: the port number is not set.
    comm.setCommPort(5);
    EXPECT_EQ(failingStart(QStringLiteral("12,9600,n,8,1")).number(), OperationError::InvalidPropertyValue);
    EXPECT_EQ(commandLineEntry(QStringLiteral("Port")), QStringLiteral("1"));
    EXPECT_EQ(commandLineEntry(QStringLiteral("Settings")), QStringLiteral(",9600,n,8,1"));
    EXPECT_EQ(comm.CommPort(), 5);

    // 4 characters are a command line: settings text "96" is refused.
    failingStart(QStringLiteral("2,96"));
    EXPECT_EQ(commandLineEntry(QStringLiteral("Settings")), QStringLiteral("96"));
    EXPECT_FALSE(comm.PortOpen());

    // A store that cannot be written (its folder is a plain file) stops a
    // command-line start before the port.
    config.write(QStringLiteral("blocked"), "x");
    IniSettingsStore blocked(config.filePath(QStringLiteral("blocked")));
    EXPECT_TRUE(
        failingStart(QStringLiteral("1,4800,n,8,1"), &blocked).description().contains(QStringLiteral("BexxLow.conf")));
    EXPECT_EQ(comm.CommPort(), 5);
    EXPECT_EQ(comm.Settings(), QStringLiteral("9600,e,8,1"));
    EXPECT_FALSE(comm.PortOpen());
}

TEST(PortText, BlanksAndASignAroundDecimalDigitsWithinSixteenBits)
{
    const std::pair<const char *, int> accepted[] = {
        {"1", 1}, {" 7 ", 7}, {"+3", 3}, {"-1", -1}, {"0010", 10}, {"32767", 32767}, {"-32768", -32768},
    };
    for (const auto &[text, value] : accepted)
        EXPECT_EQ(convertPortText(QString::fromLatin1(text)), value) << text;
    for (const char *refused : {"", " ", "x", "1.5", "1,", "0x10", "32768", "-32769", "1 2", "++1"})
        EXPECT_THROW(convertPortText(QString::fromLatin1(refused)), OperationError) << refused;
}

} // namespace
