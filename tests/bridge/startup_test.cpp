// Start-up on a real component (a pty as the line) and a temporary store.
#include "bridge/startup.h"
#include "serial/mscomm.h"
#include "store/inisettingsstore.h"
#include "store/settingslayout.h"
#include "tests/support/expecterror.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// Each row starts on a fresh store whose ports 1 to 10 map to ptys of their
// own, with the given entries saved, and on a component at port 5 with
// "1200,n,8,1". Start-up never writes under the application title; a command
// line (4 characters or more) is recorded under BexxLow before anything else.
struct Row
{
    const char *argumentText;
    const char *stored; // "file:key=value" entries under [Properties], blank-separated
    int error;          // 0: none
    short port;
    const char *settings;
    int device; // the index of the pty opened; -1: nothing open
    const char *recordedPort, *recordedSettings;
    bool unwritableStore = false;
};

TEST(StartUp, TakesTheCommandLineOrTheStoreRecordsTheCommandLineAndStopsAtTheFirstFailure)
{
    const char *saved = "bexlow:CommPort=10 bexlow:Settings=19200,E,7,1 bexlow:Handshaking=2";
    const auto none = OperationError::Number(0);
    const char *absent = "<absent>";
    const Row rows[] = {
        {"", "", none, 1, "9600,n,8,1", 0, absent, absent},
        // Only the saved settings select a port above 9; the saved flow
        // control is not applied. Up to 3 characters are no command line.
        {"2,9", saved, none, 10, "19200,e,7,1", 9, absent, absent},
        // A stored empty port fails after the settings are applied.
        {"", "bexlow:CommPort= bexlow:Settings=19200,E,7,1", OperationError::InvalidPortText, 5, "19200,e,7,1", -1,
         absent, absent},
        // Read by position: the second character is skipped, whatever it is.
        {"3;4800,e,7,1", "", none, 3, "4800,e,7,1", 2, "3", "4800,e,7,1"},
        {"9,115200,o,8,2", saved, none, 9, "115200,o,8,2", 8, "9", "115200,o,8,2"},
        // A port that is no number: both values recorded, the settings
        // applied, then the conversion fails.
        {"x,9600,e,8,1", "", OperationError::InvalidPortText, 5, "9600,e,8,1", -1, "x", "9600,e,8,1"},
        // Port text "1" and settings that start with the comma, refused.
        {"12,9600,n,8,1", "", OperationError::InvalidPropertyValue, 5, "1200,n,8,1", -1, "1", ",9600,n,8,1"},
        {"2,96", "", OperationError::InvalidPropertyValue, 5, "1200,n,8,1", -1, "2", "96"},
        // A store that cannot be written stops a command-line start first.
        {"1,4800,n,8,1", "", OperationError::SettingsStoreFailure, 5, "1200,n,8,1", -1, absent, absent, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.argumentText);
        TempConfig config;
        std::array<PtyPair, 10> lines;
        for (int port = 1; port <= 10; ++port)
            config.mapPort(port, lines[size_t(port - 1)].path());
        IniSettingsStore store{config.path()};
        for (const QString &entry : QString::fromLatin1(row.stored).split(u' ', Qt::SkipEmptyParts))
            store.save(entry.section(u':', 0, 0), SettingsLayout::Section, entry.section(u':', 1).section(u'=', 0, 0),
                       entry.section(u'=', 1));
        const QByteArray before = config.read(QStringLiteral("bexlow"));
        config.write(QStringLiteral("blocked"), "a file where the folder should be");
        IniSettingsStore blocked(config.filePath(QStringLiteral("blocked")));

        MSComm comm;
        comm.setDeviceResolver([&](int port) { return SettingsLayout::deviceForPort(store, port); });
        comm.setCommPort(5);
        comm.setSettings(QStringLiteral("1200,n,8,1"));
        const auto start = [&] {
            openPortAtStartup(QString::fromLatin1(row.argumentText), row.unwritableStore ? blocked : store, comm);
        };
        if (row.error != none)
            EXPECT_EQ(errorOf(start).number(), row.error);
        else
            start();

        EXPECT_EQ(comm.CommPort(), row.port);
        EXPECT_EQ(comm.Settings(), QString::fromLatin1(row.settings));
        EXPECT_EQ(comm.Handshaking(), 0);
        // The device open, if any.
        EXPECT_EQ(comm.PortOpen() ? comm.deviceName() : QString(),
                  row.device >= 0 ? lines[size_t(row.device)].path() : QString());
        for (const auto &[key, value] : {std::pair{"Port", row.recordedPort}, {"Settings", row.recordedSettings}})
            EXPECT_EQ(store.value(SettingsLayout::CommandLineApplication, SettingsLayout::Section,
                                  QString::fromLatin1(key), QString::fromLatin1(absent)),
                      QString::fromLatin1(value));
        EXPECT_EQ(config.read(QStringLiteral("bexlow")), before);
    }
}

TEST(PortText, BlanksAndASignAroundDecimalDigitsWithinSixteenBits)
{
    for (const auto &[text, value] :
         {std::pair{"1", 1}, {" 7 ", 7}, {"+3", 3}, {"-1", -1}, {"0010", 10}, {"32767", 32767}, {"-32768", -32768}})
        EXPECT_EQ(convertPortText(QString::fromLatin1(text)), value) << text;
    for (const char *refused : {"", " ", "x", "1.5", "1,", "0x10", "32768", "-32769", "1 2", "++1"})
        EXPECT_THROW(convertPortText(QString::fromLatin1(refused)), OperationError) << refused;
}

} // namespace
