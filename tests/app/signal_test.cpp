// SIGTERM, SIGINT and SIGHUP end the real program in order on a private X
// display while it waits in a message box or types: within a second, with
// 128 + the signal's number, the port's lock file gone and the keymap as it
// was found. xdotool plays the user.
#include "tests/receivers/typingtestsupport.h"
#include "tests/support/eventloop.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Runs xdotool; gives what it printed, or an empty text when it failed.
QString xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// The shown window with this exact title, waited for.
QString shownWindow(const QString &title)
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
}

// Waits until bexlow shows this many windows; a message box has no title of
// its own to search for.
bool showsWindows(int count)
{
    return processEventsUntil(
        [count] {
            return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                            QStringLiteral("^bexlow$")})
                       .split('\n', Qt::SkipEmptyParts)
                       .size()
                   == count;
        },
        10000);
}

// QSerialPort's lock file for the device, in the folders it uses.
bool lockFileExists(const QString &device)
{
    const QString name = QStringLiteral("LCK..") + QFileInfo(device).canonicalFilePath().mid(5).replace('/', '_');
    for (const char *folder : {"/var/lock", "/run/lock", "/tmp"}) {
        if (QFileInfo::exists(QLatin1String(folder) + QLatin1Char('/') + name))
            return true;
    }
    return false;
}

enum class Waiting { StartupBox, OkBox, Typing };

TEST(Signals, EndTheProgramInOrderWhileABoxIsShownOrWhileItTypes)
{
    struct Row
    {
        Waiting waiting;
        int signal;
    };
    const Row rows[] = {
        {Waiting::StartupBox, SIGTERM}, {Waiting::StartupBox, SIGINT}, {Waiting::StartupBox, SIGHUP},
        {Waiting::OkBox, SIGTERM},      {Waiting::OkBox, SIGINT},      {Waiting::OkBox, SIGHUP},
        {Waiting::Typing, SIGTERM},
    };
    // Characters the keymap lacks, so that typing binds spare keys; many
    // distinct ones take a few hundred milliseconds to type.
    QString missing;
    for (char16_t c = u'\u4e00'; c < u'\u4e00' + 300; ++c)
        missing += QChar(c);

    KeyboardState keyboard;
    const QByteArray keymap = keyboard.keymapText();
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << "waiting " << int(row.waiting) << ", signal " << row.signal);
        TempConfig config;
        PtyPair line;
        config.mapPort(1, line.path());
        QProcess bexlow;
        bexlow.start(
            QStringLiteral(BEXLOW_BINARY),
            {row.waiting == Waiting::StartupBox ? QStringLiteral("x,9600,n,8,1") : QStringLiteral("1,9600,n,8,1")});
        ASSERT_TRUE(bexlow.waitForStarted());

        if (row.waiting == Waiting::StartupBox) {
            ASSERT_TRUE(showsWindows(1));
        } else {
            const QString mainWindow = shownWindow(QStringLiteral("BexxLow"));
            ASSERT_FALSE(mainWindow.isEmpty());
            EXPECT_TRUE(lockFileExists(line.path()));
            if (row.waiting == Waiting::OkBox) {
                // Settings; in the dialog, Tab to the data bits and take 4,
                // which the port refuses, then OK (Return).
                xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), mainWindow, QStringLiteral("54"),
                         QStringLiteral("20"), QStringLiteral("click"), QStringLiteral("1")});
                const QString dialog = shownWindow(QStringLiteral("CommPort Properties"));
                ASSERT_FALSE(dialog.isEmpty());
                xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialog});
                xdotool(QStringLiteral("key --delay 20 Tab Tab Tab Tab Tab Home Return").split(' '));
                ASSERT_TRUE(showsWindows(3)); // with the main window and the dialog
                ASSERT_FALSE(shownWindow(QStringLiteral("bexlow")).isEmpty());
            }
            // Typing starts by binding spare keys: the keymap changes.
            line.send((row.waiting == Waiting::Typing ? missing : missing.left(2)).toUtf8());
            ASSERT_TRUE(processEventsUntil([&] { return keyboard.keymapText() != keymap; }, 10000));
        }

        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(bexlow.processId()), row.signal);
        const bool ended = bexlow.waitForFinished(5000);
        const qint64 took = clock.elapsed();
        if (!ended) {
            ADD_FAILURE() << "still running after 5 s";
            bexlow.kill();
            bexlow.waitForFinished();
            continue;
        }
        EXPECT_LE(took, 1000);
        EXPECT_EQ(bexlow.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(bexlow.exitCode(), 128 + row.signal);
        EXPECT_FALSE(lockFileExists(line.path()));
        EXPECT_EQ(keyboard.keymapText(), keymap);
    }
}

} // namespace
