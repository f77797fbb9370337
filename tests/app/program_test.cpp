// The bexlow program itself, started as a user would start it, without a
// display: a pty as the serial line and a temporary settings folder.
#include "tests/support/eventloop.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

class Program : public ::testing::Test
{
protected:
    ~Program() override
    {
        // Ended as a user would end it, so that it releases the port's lock file.
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(10000))
                process.kill();
        }
    }

    void start(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BEXLOW_BINARY), arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    // Runs the program to its end; gives its exit status.
    int run(const QStringList &arguments)
    {
        start(arguments);
        EXPECT_TRUE(process.waitForFinished(10000));
        return process.exitCode();
    }

    QStringList openFiles() const
    {
        QStringList targets;
        const QString folder = QStringLiteral("/proc/%1/fd").arg(process.processId());
        for (const QString &entry : QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System))
            targets << QFile::symLinkTarget(folder + QLatin1Char('/') + entry);
        return targets;
    }

    QString standardError() { return QString::fromLocal8Bit(process.readAllStandardError()); }

    TempConfig config; // XDG_CONFIG_HOME, which the program inherits
    QProcess process;
};

TEST_F(Program, ACommandLineStartKeepsThePortOpenAndRecordsTheCommandLine)
{
    PtyPair line;
    config.mapPort(1, line.path());
    start({QStringLiteral("1,9600,n,8,1")});
    EXPECT_TRUE(processEventsUntil([&] { return openFiles().contains(line.path()); }, 10000))
        << qPrintable(standardError());
    EXPECT_EQ(process.state(), QProcess::Running);
    EXPECT_EQ(config.read(QStringLiteral("BexxLow")), QByteArray("[Properties]\nPort=1\nSettings=9600,n,8,1\n"));
}

TEST_F(Program, APortThatIsNoNumberEndsTheProgramAfterRecordingBothValues)
{
    EXPECT_EQ(run({QStringLiteral("x,9600,n,8,1")}), 1);
    EXPECT_TRUE(standardError().contains(QStringLiteral("Invalid port number \"x\"")));
    EXPECT_EQ(config.read(QStringLiteral("BexxLow")), QByteArray("[Properties]\nPort=x\nSettings=9600,n,8,1\n"));
}

TEST_F(Program, WithoutArgumentsAndAnEmptyStoreItTriesComOneAndWritesNothing)
{
    start({});
    // /dev/ttyS0 may or may not be usable here: the program either keeps it
    // open or ends saying why, naming it.
    EXPECT_TRUE(processEventsUntil(
        [&] { return process.state() == QProcess::NotRunning || openFiles().contains(QStringLiteral("/dev/ttyS0")); },
        10000));
    if (process.state() == QProcess::NotRunning) {
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(standardError().contains(QStringLiteral("Com1 (/dev/ttyS0): "))) << qPrintable(standardError());
    }
    EXPECT_TRUE(QDir(config.path()).isEmpty());
}

TEST_F(Program, HelpAndVersionPrintAndTouchNothing)
{
    EXPECT_EQ(run({QStringLiteral("--help")}), 0);
    const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: bexlow"))) << qPrintable(help);
    EXPECT_TRUE(help.contains(QStringLiteral("bexlow 1,9600,n,8,1")));
    EXPECT_EQ(run({QStringLiteral("--version")}), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardOutput()).startsWith(QStringLiteral("bexlow ")));
    EXPECT_TRUE(QDir(config.path()).isEmpty());
}

} // namespace
