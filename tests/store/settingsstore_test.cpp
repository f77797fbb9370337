// The INI settings store on a real temporary folder.
#include "store/inisettingsstore.h"
#include "store/settingslayout.h"
#include "tests/support/expecterror.h"
#include "tests/support/tempconfig.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString App = QStringLiteral("bexlow");
const QString Section = QStringLiteral("Properties");
const QString Key = QStringLiteral("Settings");

TEST(IniSettingsStore, ValuesRoundTripInAFolderItCreatesAndHandEditedFilesAreReadAndKept)
{
    TempConfig config;
    // Which texts survive encoding is the inivalue fuzz target's concern;
    // here that they survive the file (a fresh store reads them), a long one too.
    const QString folder = config.path() + QStringLiteral("/not/yet/there");
    for (const QString &value :
         {QString(), QStringLiteral("  \"quoted\" semi;colon = [bracket]  "),
          QStringLiteral("line\nbreak\rtab\t ünïcödé € 中文"), QString(10000, QLatin1Char('7'))}) {
        IniSettingsStore(folder).save(App, Section, Key, value);
        EXPECT_EQ(IniSettingsStore(folder).value(App, Section, Key, QStringLiteral("default")), value);
    }

    const QByteArray edited =
        "; edited by hand\n[Other]\nSettings=not this one\n[Properties)\nSettings=nor this\n"
        "[Properties]\n  settings = 19200,e,7,2  \r\nCommPort=\"3\"\nEmpty=\nunparsable \xff\xfe bytes\n\n"
        "[Ports]\nCom3=/dev/serial/by-id/usb-FTDI_FT232R-if00-port0\n";
    config.write(App, edited);
    IniSettingsStore store(config.path());
    EXPECT_EQ(store.value(App, Section, Key), QStringLiteral("19200,e,7,2"));
    EXPECT_EQ(store.value(App, Section, QStringLiteral("CommPort")), QStringLiteral("3"));
    EXPECT_EQ(store.value(App, Section, QStringLiteral("Empty"), QStringLiteral("default")), QString());
    EXPECT_EQ(store.value(App, Section, QStringLiteral("Missing"), QStringLiteral("default")),
              QStringLiteral("default"));
    EXPECT_EQ(SettingsLayout::deviceForPort(store, 3), QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"));
    EXPECT_EQ(SettingsLayout::deviceForPort(store, 16), QStringLiteral("/dev/ttyS15"));

    store.save(App, Section, QStringLiteral("CommPort"), QStringLiteral("4"));
    store.save(App, Section, QStringLiteral("Echo"), QStringLiteral("True"));
    store.save(App, QStringLiteral("New"), QStringLiteral("Key"), QStringLiteral("v"));
    // Every other line is kept as it was (line ends aside).
    QByteArray expected = edited;
    expected.replace("\r", "").replace("CommPort=\"3\"", "CommPort=4").replace("bytes\n", "bytes\nEcho=True\n");
    EXPECT_EQ(config.read(App), expected + "\n[New]\nKey=v\n");
}

// Runs the check as user "nobody" in a child, so that permissions apply even
// when the tests run as root; true if it held.
bool asNobody(const std::function<bool()> &check)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(IniSettingsStore, AFileThatCannotBeWrittenOrReadIsAFailureThatNamesItAndKeepsIt)
{
    TempConfig config;
    config.write(App, "[Properties]\nSettings=9600,n,8,1\n");
    const QByteArray folder = QFile::encodeName(config.path());
    const auto saysFileAnd = [&](const QString &what, const std::function<void()> &call) {
        return errorOf(call).description().contains(config.filePath(App) + what);
    };
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(config.filePath(App)).constData(), 0444), 0);
    // Read-only: reading works, saving says which file and why.
    EXPECT_TRUE(asNobody([&] {
        IniSettingsStore store(config.path());
        return store.value(App, Section, Key) == QStringLiteral("9600,n,8,1")
               && saysFileAnd(": cannot be saved", [&] { store.save(App, Section, Key, QStringLiteral("x")); });
    }));
    EXPECT_EQ(config.read(App), QByteArray("[Properties]\nSettings=9600,n,8,1\n"));
    // A folder that cannot be read: what is stored cannot be known, so
    // reading fails instead of giving the defaults.
    ASSERT_EQ(::chmod(folder.constData(), 0300), 0);
    EXPECT_TRUE(asNobody([&] {
        return saysFileAnd(": cannot be read: Permission denied",
                           [&] { IniSettingsStore(config.path()).value(App, Section, Key, QStringLiteral("d")); });
    }));
    ::chmod(folder.constData(), 0700);
}

TEST(IniSettingsStore, AFolderOrFileThatIsNotWhatItShouldBeOrANameThatLeavesTheFolderIsAFailure)
{
    TempConfig config;
    // The settings file is a folder.
    ASSERT_TRUE(QDir(config.path()).mkdir(QStringLiteral("bexlow.conf")));
    expectError([&] { IniSettingsStore(config.path()).value(App, Section, Key); }, EISDIR,
                QStringLiteral("bexlow.conf: cannot be read: Is a directory"));

    // The settings folder is a file: nothing to read, nothing can be saved.
    config.write(QStringLiteral("plainfile"), "x");
    IniSettingsStore inFile(config.filePath(QStringLiteral("plainfile")));
    EXPECT_EQ(inFile.value(App, Section, Key, QStringLiteral("d")), QStringLiteral("d"));
    expectError([&] { inFile.save(App, Section, Key, QStringLiteral("x")); }, OperationError::SettingsStoreFailure,
                QStringLiteral("plainfile.conf/bexlow.conf: %1: Not a directory")
                    .arg(config.filePath(QStringLiteral("plainfile"))));

    // Names that would leave the folder or break the format.
    IniSettingsStore fine(config.path() + QStringLiteral("/fine"));
    for (const auto &[app, section, key] :
         {std::tuple(QStringLiteral("../escape"), Section, Key), std::tuple(App, QStringLiteral("Bad]Section"), Key),
          std::tuple(App, Section, QStringLiteral("bad=key"))})
        EXPECT_THROW(fine.save(app, section, key, QStringLiteral("v")), OperationError);
    EXPECT_FALSE(QFile::exists(config.path() + QStringLiteral("/escape.conf")));
}

} // namespace
