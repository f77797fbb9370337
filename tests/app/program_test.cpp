// The bexlow program itself, started as a user would start it, without a
// display: a pty as the serial line and a temporary settings folder.
#include "tests/support/bexlowprocess.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

class Program : public ::testing::Test
{
protected:
    Program()
    {
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("QT_QPA_PLATFORM");
    }

    TempConfig config; // XDG_CONFIG_HOME, which the program inherits
    BexlowProcess program;
};

TEST_F(Program, ACommandLineStartKeepsThePortOpenAndRecordsTheCommandLine)
{
    PtyPair line;
    config.mapPort(1, line.path());
    program.start({QStringLiteral("1,9600,n,8,1")});
    EXPECT_TRUE(program.waitForOpen(line.path(), 10000)) << program.errorOutput().constData();
    EXPECT_EQ(config.read(QStringLiteral("BexxLow")), QByteArray("[Properties]\nPort=1\nSettings=9600,n,8,1\n"));
}

TEST_F(Program, WithoutArgumentsAndAnEmptyStoreItTriesComOneAndWritesNothing)
{
    program.start({});
    // /dev/ttyS0 may or may not be usable here: the program either keeps it
    // open or ends saying why, naming it.
    if (!program.waitForOpen(QStringLiteral("/dev/ttyS0"), 10000)) {
        EXPECT_FALSE(program.running());
        EXPECT_EQ(program.exitCode(), 1);
        EXPECT_TRUE(program.errorOutput().contains("Com1 (/dev/ttyS0): ")) << program.errorOutput().constData();
    }
    EXPECT_TRUE(QDir(config.path()).isEmpty());
}

TEST_F(Program, HelpAndVersionPrintAndTouchNothing)
{
    program.start({QStringLiteral("--help")});
    ASSERT_TRUE(program.waitForEnd());
    EXPECT_EQ(program.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(program.output());
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: bexlow"))) << qPrintable(help);
    EXPECT_TRUE(help.contains(QStringLiteral("bexlow 1,9600,n,8,1")));
    program.start({QStringLiteral("--version")});
    ASSERT_TRUE(program.waitForEnd());
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.output().startsWith("bexlow "));
    EXPECT_TRUE(QDir(config.path()).isEmpty());
}

} // namespace
