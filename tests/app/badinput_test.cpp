// Bad input at start-up: the program ends with status 1 and a description a
// person can act on, and the settings stored before are still there after.
#include "tests/support/bexlowprocess.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <gtest/gtest.h>

namespace {

class BadInput : public ::testing::Test
{
protected:
    BadInput()
    {
        // No display: the program says what is wrong on stderr only, with no
        // message box to hold it open.
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        config.mapPort(1, line.path());
        config.write(QStringLiteral("BexxLow"), "[Properties]\nPort=1\nSettings=9600,n,8,1\n");
    }

    // Starts bexlow; true if it still runs after 1.5 s, past start-up (it is
    // then ended). A start expected to fail gets longer: a sanitizer build on
    // a busy machine can take over a second to exit.
    bool start(const QStringList &arguments, bool expectEnd = false)
    {
        BexlowProcess program;
        program.start(arguments);
        const bool running = !program.waitForEnd(expectEnd ? 20000 : 1500);
        exitCode = program.exitCode();
        message = QString::fromLocal8Bit(program.errorOutput());
        return running;
    }

    void saveStored(const QByteArray &properties)
    {
        config.write(QStringLiteral("bexlow"),
                     "[Ports]\nCom1=" + line.path().toUtf8() + "\n[Properties]\n" + properties);
    }

    TempConfig config; // XDG_CONFIG_HOME, which the program inherits
    PtyPair line;
    int exitCode = -1;
    QString message;
};

// Which texts the line settings and the port number refuse is the start-up
// and line settings tests' concern; here how the program says so.
TEST_F(BadInput, CommandLinesAndStoredValuesAreRefusedWithTheirReasonAndTheStoreIsKept)
{
    const QString huge(10000, QLatin1Char('9'));
    // A command line, or stored [Properties] lines and no command line.
    const std::tuple<QString, QByteArray, QString> cases[] = {
        {"abcdef", "", "Invalid line settings \"cdef\""},
        {"1," + huge, "", "Invalid line settings \"9999"},
        {"1,9600,n,8,1\n\x1b[2J", "", "\"9600,n,8,1\\n\\x1b[2J\""},
        {"0,9600,n,8,1", "", "Invalid port number 0"},
        {"", "CommPort=99999\n", "out of range"},
        {"", "CommPort=\"1\\n2\"\n", "Invalid port number \"1\\n2\""},
        {"", "Settings=\n", "Invalid line settings \"\""},
    };
    for (const auto &[argument, stored, expected] : cases) {
        SCOPED_TRACE(qPrintable((argument + QString::fromLatin1(stored)).left(60)));
        saveStored(stored);
        const QByteArray before = config.read(QStringLiteral("bexlow"));
        EXPECT_FALSE(start(argument.isEmpty() ? QStringList() : QStringList(argument), true)) << qPrintable(message);
        EXPECT_EQ(exitCode, 1);
        EXPECT_TRUE(message.contains(expected)) << qPrintable(message);
        // One line per message: nothing from outside breaks it up.
        for (const QString &printed : message.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            EXPECT_TRUE(printed.startsWith(QStringLiteral("bexlow: "))
                        || printed.startsWith(QStringLiteral("QStandardPaths")))
                << qPrintable(printed);
        EXPECT_EQ(config.read(QStringLiteral("bexlow")), before);
    }
    // The store took each command line verbatim, the huge one included, and
    // is still one readable file.
    EXPECT_TRUE(config.read(QStringLiteral("BexxLow")).startsWith("[Properties]\nPort=0\nSettings=9600,n,8,1\n"));
}

// An option bexlow does not have: one line names it, the saved settings are
// used as without arguments, and neither settings file is touched.
TEST_F(BadInput, AStrayOptionIsNamedAndTheSavedSettingsAreUsed)
{
    saveStored("Settings=4800,n,8,1\n");
    const auto files = [this] {
        return config.read(QStringLiteral("bexlow")) + config.read(QStringLiteral("BexxLow"));
    };
    const QByteArray stored = files();
    for (const QString option : {"-v", "-x", "--foo"}) {
        EXPECT_TRUE(start({option})) << qPrintable(message);
        EXPECT_EQ(
            message.split(u'\n').filter(option),
            QStringList(
                QStringLiteral("bexlow: unknown option \"%1\" ignored; starting with the saved settings").arg(option)));
        EXPECT_EQ(files(), stored);
    }
}

} // namespace
