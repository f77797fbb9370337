// The INI settings store on a real temporary folder.
#include "inisettingsstore.h"
#include "operationerror.h"
#include "settingslayout.h"
#include "tempconfig.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString App = QStringLiteral("bexlow");
const QString Section = QStringLiteral("Properties");

// Runs the body in a child process as user "nobody", so that file permissions
// apply even when the tests run as root. Gives the child's exit status.
int runAsNobody(const std::function<int()> &body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(IniSettingsStore, ValuesRoundTripVerbatim)
{
    TempConfig config;
    IniSettingsStore store(config.path());
    const QString values[] = {
        QStringLiteral("9600,n,8,1"),
        QStringLiteral(",9600,n,8,1"),
        QString(),
        QStringLiteral("  leading and trailing  "),
        QStringLiteral("\"quoted\""),
        QStringLiteral("back\\slash and \"quote\" inside"),
        QStringLiteral("semi;colon = equals # hash [bracket]"),
        QStringLiteral("line\nbreak\rcarriage\ttab\x01\x7f"),
        QStringLiteral("ünïcödé € ✓ 中文"),
        QStringLiteral("@Variant(x)"),
        QString(10000, QLatin1Char('7')),
    };
    int index = 0;
    for (const QString &value : values) {
        const QString key = QStringLiteral("Key%1").arg(index++);
        store.SaveSetting(App, Section, key, value);
        EXPECT_EQ(store.GetSetting(App, Section, key, QStringLiteral("default")), value) << qPrintable(key);
    }
    // A fresh store on the same folder reads the same.
    IniSettingsStore again(config.path());
    index = 0;
    for (const QString &value : values)
        EXPECT_EQ(again.GetSetting(App, Section, QStringLiteral("Key%1").arg(index++)), value);
}

TEST(IniSettingsStore, ReadsHandEditedFilesAsWritten)
{
    TempConfig config;
    config.write(App, "; edited by hand\n"
                      "[Other]\n"
                      "Settings=not this one\n"
                      "\n"
                      "[Properties]\n"
                      "  settings = 19200,e,7,2  \r\n"
                      "CommPort=\"3\"\n"
                      "Empty=\n"
                      "garbage line without equals\n"
                      "[Ports]\n"
                      "Com3=/dev/serial/by-id/usb-FTDI_FT232R-if00-port0\n");
    IniSettingsStore store(config.path());
    EXPECT_EQ(store.GetSetting(App, Section, QStringLiteral("Settings")), QStringLiteral("19200,e,7,2"));
    EXPECT_EQ(store.GetSetting(App, Section, QStringLiteral("CommPort")), QStringLiteral("3"));
    EXPECT_EQ(store.GetSetting(App, Section, QStringLiteral("Empty"), QStringLiteral("default")), QString());
    EXPECT_EQ(store.GetSetting(App, Section, QStringLiteral("Missing"), QStringLiteral("default")),
              QStringLiteral("default"));
    EXPECT_EQ(store.GetSetting(QStringLiteral("BexxLow"), Section, QStringLiteral("Settings"), QStringLiteral("d")),
              QStringLiteral("d"));
    EXPECT_EQ(SettingsLayout::deviceForPort(store, 3), QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"));
    EXPECT_EQ(SettingsLayout::deviceForPort(store, 1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(SettingsLayout::deviceForPort(store, 16), QStringLiteral("/dev/ttyS15"));
}

TEST(IniSettingsStore, SavingKeepsEverythingElseInTheFile)
{
    TempConfig config;
    const QByteArray original = "; comment kept\n"
                                "[Properties]\n"
                                "Settings=9600,n,8,1\n"
                                "unparsable \xff\xfe bytes\n"
                                "\n"
                                "[Ports]\n"
                                "Com1=/dev/ttyUSB0\n";
    config.write(App, original);
    IniSettingsStore store(config.path());
    store.SaveSetting(App, Section, QStringLiteral("Settings"), QStringLiteral("4800,e,7,1"));
    store.SaveSetting(App, Section, QStringLiteral("Echo"), QStringLiteral("True"));
    store.SaveSetting(App, QStringLiteral("New"), QStringLiteral("Key"), QStringLiteral("v"));
    EXPECT_EQ(config.read(App), QByteArray("; comment kept\n"
                                           "[Properties]\n"
                                           "Settings=4800,e,7,1\n"
                                           "unparsable \xff\xfe bytes\n"
                                           "Echo=True\n"
                                           "\n"
                                           "[Ports]\n"
                                           "Com1=/dev/ttyUSB0\n"
                                           "\n"
                                           "[New]\n"
                                           "Key=v\n"));
}

TEST(IniSettingsStore, CreatesTheFolderAndEachApplicationsOwnFile)
{
    TempConfig config;
    const QString nested = config.path() + QStringLiteral("/not/yet/there");
    IniSettingsStore store(nested);
    store.SaveSetting(QStringLiteral("BexxLow"), Section, QStringLiteral("Port"), QStringLiteral("2"));
    EXPECT_TRUE(QFile::exists(nested + QStringLiteral("/BexxLow.conf")));
    EXPECT_FALSE(QFile::exists(nested + QStringLiteral("/bexlow.conf")));
}

TEST(IniSettingsStore, AnUnwritableFileIsAFailureThatNamesTheFileAndKeepsItIntact)
{
    TempConfig config;
    config.write(App, "[Properties]\nSettings=9600,n,8,1\n");
    ASSERT_TRUE(QFile::setPermissions(config.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther
                                                         | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    ASSERT_TRUE(QFile::setPermissions(config.filePath(App), QFile::ReadOwner | QFile::ReadOther | QFile::ReadGroup));
    const QString path = config.path();
    const int status = runAsNobody([&] {
        IniSettingsStore store(path);
        if (store.GetSetting(App, Section, QStringLiteral("Settings")) != QStringLiteral("9600,n,8,1"))
            return 2;
        try {
            store.SaveSetting(App, Section, QStringLiteral("Settings"), QStringLiteral("4800,e,7,1"));
        } catch (const OperationError &error) {
            const bool named = error.description().contains(path + QStringLiteral("/bexlow.conf"));
            const bool reasoned = error.description().contains(QStringLiteral("not writable"), Qt::CaseInsensitive)
                || error.description().contains(QStringLiteral("Permission denied"), Qt::CaseInsensitive);
            return named && reasoned ? 0 : 3;
        }
        return 4; // saved although the file is read-only
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(config.read(App), QByteArray("[Properties]\nSettings=9600,n,8,1\n"));
    QFile::setPermissions(config.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(IniSettingsStore, FolderOrFileThatIsNotWhatItShouldBeIsAFailure)
{
    TempConfig config;
    // The settings file is a folder.
    ASSERT_TRUE(QDir(config.path()).mkdir(QStringLiteral("bexlow.conf")));
    IniSettingsStore store(config.path());
    try {
        store.GetSetting(App, Section, QStringLiteral("Settings"), QStringLiteral("d"));
        ADD_FAILURE() << "read a folder as settings";
    } catch (const OperationError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("bexlow.conf")));
        EXPECT_TRUE(error.description().contains(QStringLiteral("directory")));
    }
    EXPECT_THROW(store.SaveSetting(App, Section, QStringLiteral("Settings"), QStringLiteral("x")), OperationError);

    // The settings folder is a file.
    config.write(QStringLiteral("plainfile"), "x");
    IniSettingsStore inFile(config.filePath(QStringLiteral("plainfile")));
    EXPECT_EQ(inFile.GetSetting(App, Section, QStringLiteral("Settings"), QStringLiteral("d")), QStringLiteral("d"));
    try {
        inFile.SaveSetting(App, Section, QStringLiteral("Settings"), QStringLiteral("x"));
        ADD_FAILURE() << "saved below a plain file";
    } catch (const OperationError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("plainfile.conf/bexlow.conf")));
        EXPECT_TRUE(error.description().contains(QStringLiteral("Not a directory")));
    }
}

TEST(IniSettingsStore, RefusesNamesThatWouldLeaveTheFolderOrBreakTheFormat)
{
    TempConfig config;
    IniSettingsStore store(config.path());
    EXPECT_THROW(store.SaveSetting(QStringLiteral("../escape"), Section, QStringLiteral("k"), QStringLiteral("v")),
                 OperationError);
    EXPECT_THROW(store.SaveSetting(App, QStringLiteral("Bad]Section"), QStringLiteral("k"), QStringLiteral("v")),
                 OperationError);
    EXPECT_THROW(store.SaveSetting(App, Section, QStringLiteral("bad=key"), QStringLiteral("v")), OperationError);
    EXPECT_FALSE(QFile::exists(config.path() + QStringLiteral("/../escape.conf")));
}

} // namespace
