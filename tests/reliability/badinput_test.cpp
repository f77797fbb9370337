// Bad input at start-up: the program ends with status 1 and a description a
// person can act on, and the settings stored before are still there after.
#include "eventloop.h"
#include "ptypair.h"
#include "tempconfig.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct Outcome
{
    int exitCode = -1;
    bool running = false;
    QString message;
};

class BadInput : public ::testing::Test
{
protected:
    BadInput()
    {
        ::chmod(QFile::encodeName(line.path()).constData(), 0666);
        config.mapPort(1, line.path());
        config.write(QStringLiteral("BexxLow"), "[Properties]\nPort=1\nSettings=9600,n,8,1\n");
    }

    // Starts bexlow; a program that is still running after a second has got
    // past start-up and is ended.
    Outcome start(const QStringList &arguments, const QStringList &prefix = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        QProcess process;
        process.setProcessEnvironment(environment);
        if (prefix.isEmpty())
            process.start(QStringLiteral(BEXLOW_BINARY), arguments);
        else
            process.start(prefix.front(), prefix.mid(1) + QStringList(QStringLiteral(BEXLOW_BINARY)) + arguments);
        EXPECT_TRUE(process.waitForStarted());
        Outcome outcome;
        outcome.running = !process.waitForFinished(1500);
        if (outcome.running) {
            process.terminate();
            process.waitForFinished();
        }
        outcome.exitCode = process.exitCode();
        outcome.message = QString::fromLocal8Bit(process.readAllStandardError());
        return outcome;
    }

    void expectFailure(const Outcome &outcome, const QString &expected)
    {
        EXPECT_FALSE(outcome.running) << qPrintable(outcome.message);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_TRUE(outcome.message.contains(expected)) << qPrintable(outcome.message);
        // One line per message: nothing from outside breaks it up.
        for (const QString &line : outcome.message.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            EXPECT_TRUE(line.startsWith(QStringLiteral("bexlow: ")) || line.startsWith(QStringLiteral("QStandardPaths")))
                << qPrintable(line);
    }

    void saveStored(const QByteArray &properties)
    {
        config.write(QStringLiteral("bexlow"), "[Ports]\nCom1=" + line.path().toUtf8() + "\n[Properties]\n" + properties);
    }

    TempConfig config;
    PtyPair line;
};

TEST_F(BadInput, CommandLinesAreRefusedWithTheirReason)
{
    const QString huge(10000, QLatin1Char('9'));
    const std::pair<QStringList, QString> cases[] = {
        { { QStringLiteral("    ") }, QStringLiteral("Invalid line settings \"  \"") },
        { { QStringLiteral("abcdef") }, QStringLiteral("Invalid line settings \"cdef\"") },
        { { QStringLiteral("x,y,z,w") }, QStringLiteral("Invalid line settings \"y,z,w\"") },
        { { QStringLiteral("1,99999999999999999999,n,8,1") }, QStringLiteral("out of range") },
        { { QStringLiteral("1,") + huge }, QStringLiteral("Invalid line settings \"9999") },
        { { QStringLiteral("1,9600,n,8,1\n\x01") }, QStringLiteral("\"9600,n,8,1\\n\\x01\"") },
        { { QStringLiteral("1,9600,q,8,1") }, QStringLiteral("parity") },
        { { QStringLiteral("1,9600,n,4,1") }, QStringLiteral("4 data bits are not supported") },
        { { QStringLiteral("1,9600,n,8,1.5") }, QStringLiteral("1.5 stop bits are not supported") },
        { { QStringLiteral("\x01,9600,n,8,1") }, QStringLiteral("Invalid port number \"\\x01\"") },
        { { QStringLiteral("0,9600,n,8,1") }, QStringLiteral("Invalid port number 0") },
    };
    for (const auto &[arguments, expected] : cases) {
        SCOPED_TRACE(qPrintable(arguments.join(QLatin1Char(' ')).left(60)));
        expectFailure(start(arguments), expected);
    }
    // The store took each command line verbatim, the huge one included, and
    // is still one readable file.
    EXPECT_TRUE(config.read(QStringLiteral("BexxLow")).startsWith("[Properties]\nPort=0\nSettings=9600,n,8,1\n"));
}

TEST_F(BadInput, StoredValuesAreRefusedWithTheirReasonAndKept)
{
    const std::pair<QByteArray, QString> cases[] = {
        { "CommPort=\nSettings=9600,n,8,1\n", QStringLiteral("Invalid port number \"\"") },
        { "CommPort=   \n", QStringLiteral("Invalid port number \"\"") },
        { "CommPort=one\n", QStringLiteral("Invalid port number \"one\"") },
        { "CommPort=99999\n", QStringLiteral("out of range") },
        { "CommPort=300\n", QStringLiteral("Invalid port number 300") },
        { "CommPort=\"1\\n2\"\n", QStringLiteral("Invalid port number \"1\\n2\"") },
        { "Settings=\n", QStringLiteral("Invalid line settings \"\"") },
        { "Settings=" + QByteArray(10000, 'x') + "\n", QStringLiteral("Invalid line settings \"xxxx") },
        { "Settings=\"\\x07\\x1b[2J\"\n", QStringLiteral("\"\\x07\\x1b[2J\"") },
    };
    for (const auto &[properties, expected] : cases) {
        SCOPED_TRACE(properties.left(60).constData());
        saveStored(properties);
        const QByteArray before = config.read(QStringLiteral("bexlow"));
        expectFailure(start({}), expected);
        EXPECT_EQ(config.read(QStringLiteral("bexlow")), before);
    }
}

TEST_F(BadInput, ACorruptSettingsFileIsReadAroundAndNeverCut)
{
    QByteArray corrupt = QByteArray("\x00", 1) + "\xff\xfe garbage [[[ \n=novalue\n[Properties\nSettings=19200,n,8,1\n";
    corrupt += QByteArray(5000, '\xaa') + "\n";
    config.write(QStringLiteral("BexxLow"), corrupt + "[Properties]\nPort=7\n");
    saveStored("Settings=4800,n,8,1\n");
    config.write(QStringLiteral("bexlow"), "\x01\x02 binary \xff\n" + config.read(QStringLiteral("bexlow")));

    // A start with arguments rewrites the corrupt file and keeps every line.
    const Outcome outcome = start({ QStringLiteral("1,2400,n,8,1") });
    EXPECT_TRUE(outcome.running) << qPrintable(outcome.message);
    const QByteArray after = config.read(QStringLiteral("BexxLow"));
    EXPECT_TRUE(after.startsWith(corrupt)) << after.left(200).constData();
    EXPECT_TRUE(after.endsWith("[Properties]\nPort=1\nSettings=2400,n,8,1\n")) << after.right(80).constData();

    // A start without arguments still finds its entries around the garbage.
    EXPECT_TRUE(start({}).running);
}

TEST_F(BadInput, ConfigFoldersThatCannotBeUsed)
{
    // The settings file is a folder.
    ASSERT_TRUE(QFile::remove(config.filePath(QStringLiteral("bexlow"))));
    ASSERT_TRUE(QDir(config.path()).mkdir(QStringLiteral("bexlow.conf")));
    expectFailure(start({}), config.filePath(QStringLiteral("bexlow")) + QStringLiteral(": cannot be read: Is a directory"));
    ASSERT_TRUE(QDir(config.path()).rmdir(QStringLiteral("bexlow.conf")));

    // A read-only folder, for a user other than root: reading works, the
    // command-line record cannot be written and the program says which file.
    saveStored("Settings=4800,n,8,1\n");
    QFile::remove(config.filePath(QStringLiteral("BexxLow")));
    ::chmod(QFile::encodeName(config.path()).constData(), 0555);
    // A lock file left by an earlier root run on the same pty number would
    // stop "nobody" here; that case has its own message, not tested here.
    QFile::remove(QStringLiteral("/run/lock/LCK..") + line.path().mid(5).replace(QLatin1Char('/'), QLatin1Char('_')));
    const QStringList asNobody = { QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                                   QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups") };
    EXPECT_TRUE(start({}, asNobody).running);
    expectFailure(start({ QStringLiteral("1,9600,n,8,1") }, asNobody),
                  config.filePath(QStringLiteral("BexxLow")) + QStringLiteral(": cannot be saved"));
    EXPECT_FALSE(config.exists(QStringLiteral("BexxLow")));

    // A folder the user cannot read: the stored settings cannot be trusted to
    // be absent, so the program stops instead of falling back to defaults.
    ::chmod(QFile::encodeName(config.path()).constData(), 0300);
    expectFailure(start({}, asNobody), config.filePath(QStringLiteral("bexlow")) + QStringLiteral(": cannot be read: Permission denied"));
    ::chmod(QFile::encodeName(config.path()).constData(), 0700);
    EXPECT_TRUE(config.read(QStringLiteral("bexlow")).contains("Settings=4800,n,8,1"));
}

} // namespace
