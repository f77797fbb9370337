// Start-up on a real component (a pty as the line) and a temporary store.
#include "inisettingsstore.h"
#include "mscomm.h"
#include "operationerror.h"
#include "ptypair.h"
#include "settingslayout.h"
#include "startup.h"
#include "tempconfig.h"

#include <QDir>

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

    void save(const QString &key, const QString &value)
    {
        store.SaveSetting(QStringLiteral("bexlow"), QStringLiteral("Properties"), key, value);
        mapOnly = config.read(QStringLiteral("bexlow"));
    }

    QString commandLineEntry(const QString &key) const
    {
        return store.GetSetting(QStringLiteral("BexxLow"), QStringLiteral("Properties"), key, QStringLiteral("<absent>"));
    }

    // Nothing was written by the start.
    void expectStoreUntouched() const
    {
        EXPECT_EQ(config.read(QStringLiteral("bexlow")), mapOnly);
        EXPECT_FALSE(config.exists(QStringLiteral("BexxLow")));
    }

    OperationError failingStart(const QString &argumentText)
    {
        try {
            openPortAtStartup(argumentText, store, comm);
        } catch (const OperationError &error) {
            return error;
        }
        ADD_FAILURE() << "start-up succeeded with " << qPrintable(argumentText);
        return OperationError(0, QString());
    }

    TempConfig config;
    IniSettingsStore store { config.path() };
    std::vector<std::unique_ptr<PtyPair>> lines;
    MSComm comm;
    QByteArray mapOnly;
};

TEST_F(StartUp, WithoutACommandLineUsesTheSavedSettingsOrTheDefaultsAndWritesNothing)
{
    openPortAtStartup(QString(), store, comm);
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(comm.CommPort(), 1);
    EXPECT_EQ(comm.Settings(), QStringLiteral("9600,n,8,1"));
    EXPECT_EQ(comm.deviceName(), lines[0]->path());
    expectStoreUntouched();
}

TEST_F(StartUp, ShortArgumentTextsCountAsNoCommandLine)
{
    save(QStringLiteral("CommPort"), QStringLiteral("10"));
    save(QStringLiteral("Settings"), QStringLiteral("19200,E,7,1"));
    save(QStringLiteral("Handshaking"), QStringLiteral("2"));
    for (const char *shortText : { "", "2", "2,", "2,9" }) {
        SCOPED_TRACE(shortText);
        MSComm fresh;
        fresh.setDeviceResolver([this](int port) { return SettingsLayout::deviceForPort(store, port); });
        openPortAtStartup(QString::fromLatin1(shortText), store, fresh);
        // Only the saved settings select a port above 9; the saved flow
        // control is not applied at start.
        EXPECT_EQ(fresh.CommPort(), 10);
        EXPECT_EQ(fresh.Settings(), QStringLiteral("19200,e,7,1"));
        EXPECT_EQ(fresh.Handshaking(), 0);
        EXPECT_EQ(fresh.deviceName(), lines[9]->path());
        expectStoreUntouched();
    }
}

TEST_F(StartUp, ACommandLineIsReadByPositionAndRecordedUnderItsOwnName)
{
    const std::tuple<const char *, int, const char *> cases[] = {
        { "2,9600,n,8,1", 2, "9600,n,8,1" },
        { "3;4800,e,7,1", 3, "4800,e,7,1" },
        { "3 4800,e,7,1", 3, "4800,e,7,1" },
        { "9,115200,o,8,2", 9, "115200,o,8,2" },
    };
    for (const auto &[argumentText, port, settings] : cases) {
        SCOPED_TRACE(argumentText);
        MSComm fresh;
        fresh.setDeviceResolver([this](int n) { return SettingsLayout::deviceForPort(store, n); });
        openPortAtStartup(QString::fromLatin1(argumentText), store, fresh);
        EXPECT_TRUE(fresh.PortOpen());
        EXPECT_EQ(fresh.CommPort(), port);
        EXPECT_EQ(fresh.Settings(), QString::fromLatin1(settings));
        EXPECT_EQ(commandLineEntry(QStringLiteral("Port")), QString::number(port));
        EXPECT_EQ(commandLineEntry(QStringLiteral("Settings")), QString::fromLatin1(settings));
        // The entries under the application title are left alone.
        EXPECT_EQ(config.read(QStringLiteral("bexlow")), mapOnly);
    }
}

TEST_F(StartUp, ACommandLineStartIsNotReadBackByALaterStart)
{
    openPortAtStartup(QStringLiteral("4,19200,n,8,1"), store, comm);
    EXPECT_EQ(comm.CommPort(), 4);
    MSComm later;
    later.setDeviceResolver([this](int port) { return SettingsLayout::deviceForPort(store, port); });
    openPortAtStartup(QString(), store, later);
    EXPECT_EQ(later.CommPort(), 1);
    EXPECT_EQ(later.Settings(), QStringLiteral("9600,n,8,1"));
}

TEST_F(StartUp, AFailingStepEndsStartUpAndKeepsWhatWasDoneBefore)
{
    // A port that is no digit: both values written, Settings applied, then
    // the conversion fails: no port number set, nothing opened.
    OperationError error = failingStart(QStringLiteral("x,9600,e,8,1"));
    EXPECT_EQ(error.number(), OperationError::InvalidPortText);
    EXPECT_TRUE(error.description().contains(QStringLiteral("\"x\"")));
    EXPECT_EQ(commandLineEntry(QStringLiteral("Port")), QStringLiteral("x"));
    EXPECT_EQ(commandLineEntry(QStringLiteral("Settings")), QStringLiteral("9600,e,8,1"));
    EXPECT_EQ(comm.Settings(), QStringLiteral("9600,e,8,1"));
    EXPECT_EQ(comm.CommPort(), 1);
    EXPECT_FALSE(comm.PortOpen());

    // "12,..." gives port text 1 and a settings text that starts with the
    // comma, which the component refuses: the port number is not set.
    comm.setCommPort(5);
    error = failingStart(QStringLiteral("12,9600,n,8,1"));
    EXPECT_EQ(error.number(), OperationError::InvalidPropertyValue);
    EXPECT_TRUE(error.description().contains(QStringLiteral(",9600,n,8,1")));
    EXPECT_EQ(commandLineEntry(QStringLiteral("Port")), QStringLiteral("1"));
    EXPECT_EQ(commandLineEntry(QStringLiteral("Settings")), QStringLiteral(",9600,n,8,1"));
    EXPECT_EQ(comm.CommPort(), 5);
    EXPECT_FALSE(comm.PortOpen());

    // 4 characters are a command line: settings text "96" is refused.
    error = failingStart(QStringLiteral("2,96"));
    EXPECT_EQ(commandLineEntry(QStringLiteral("Settings")), QStringLiteral("96"));
    EXPECT_FALSE(comm.PortOpen());

    // Port 0 converts but the component refuses it.
    error = failingStart(QStringLiteral("0,9600,n,8,1"));
    EXPECT_EQ(error.number(), OperationError::InvalidPropertyValue);
    EXPECT_FALSE(comm.PortOpen());

    // A port whose device is busy: everything before the open stays done.
    MSComm holder;
    holder.setDeviceResolver([this](int) { return lines[6]->path(); });
    holder.setPortOpen(true);
    error = failingStart(QStringLiteral("7,2400,n,8,1"));
    EXPECT_EQ(error.number(), EBUSY);
    EXPECT_TRUE(error.description().startsWith(QStringLiteral("Com7 (%1)").arg(lines[6]->path())));
    EXPECT_EQ(comm.CommPort(), 7);
    EXPECT_EQ(comm.Settings(), QStringLiteral("2400,n,8,1"));
    EXPECT_FALSE(comm.PortOpen());
}

TEST_F(StartUp, AStoredPortThatIsNoNumberFailsAfterTheSettingsAreApplied)
{
    save(QStringLiteral("CommPort"), QString());
    save(QStringLiteral("Settings"), QStringLiteral("1200,o,7,1"));
    const OperationError error = failingStart(QString());
    EXPECT_EQ(error.number(), OperationError::InvalidPortText);
    EXPECT_EQ(comm.Settings(), QStringLiteral("1200,o,7,1"));
    EXPECT_FALSE(comm.PortOpen());
    expectStoreUntouched();
}

TEST_F(StartUp, AStoreThatCannotBeWrittenStopsACommandLineStartBeforeThePort)
{
    // The settings folder is a plain file.
    config.write(QStringLiteral("blocked"), "x");
    IniSettingsStore blocked(config.filePath(QStringLiteral("blocked")));
    try {
        openPortAtStartup(QStringLiteral("1,4800,n,8,1"), blocked, comm);
        ADD_FAILURE() << "start-up succeeded";
    } catch (const OperationError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("BexxLow.conf")));
    }
    EXPECT_EQ(comm.Settings(), QStringLiteral("9600,n,8,1"));
    EXPECT_FALSE(comm.PortOpen());
}

TEST(PortText, BlanksAndASignAroundDecimalDigitsWithinSixteenBits)
{
    const std::pair<const char *, int> accepted[] = {
        { "1", 1 }, { "16", 16 }, { " 7 ", 7 }, { "+3", 3 }, { "-1", -1 }, { "0010", 10 },
        { "32767", 32767 }, { "-32768", -32768 },
    };
    for (const auto &[text, value] : accepted)
        EXPECT_EQ(convertPortText(QString::fromLatin1(text)), value) << text;
    for (const char *refused : { "", " ", "x", "1.5", "1,", "0x10", "32768", "-32769", "1 2", "++1",
                                 "99999999999999999999" }) {
        EXPECT_THROW(convertPortText(QString::fromLatin1(refused)), OperationError) << refused;
    }
}

} // namespace
