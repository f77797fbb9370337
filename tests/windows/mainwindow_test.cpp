// The main window's "Settings" button, the keyboard in the dialog, and the
// end of the program.
#include "tests/windows/windowfixture.h"

#include "tests/support/bexlowprocess.h"
#include "tests/support/eventloop.h"

#include <QFile>
#include <QTest>

#include <csignal>

namespace {

using MainWindow = Windows;

TEST_F(MainWindow, ASecondClickBringsTheSameDialogToTheFrontWhereEscapeDoesNothingAndEnterOnAClosedListPressesOk)
{
    start();
    QDialog &window = openDialog();
    choose("cboSpeed", QStringLiteral("57600"));
    click("optFlow_3");
    click("optEcho_1");
    mainWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow.get()));

    click("Command1");
    EXPECT_EQ(dialog(), &window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("57600"));
    EXPECT_EQ(properties()->pendingFlowChoice(), 3);

    auto *port = control<QComboBox>("cboPort");
    port->setFocus();
    QTest::keyClick(port, Qt::Key_Escape);
    EXPECT_TRUE(properties()->isLoaded());
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_FALSE(properties()->isLoaded());
    EXPECT_EQ(saved("Echo"), QStringLiteral("True"));
}

// The program as a user runs it ends in order: when its main window is closed
// with the dialog open (status 0), and on SIGTERM, SIGINT or SIGHUP also while
// the start-up failure's message box waits (128 + the signal's number).
// Within a second, with the port's lock file gone. (That the spare keys are
// emptied is the X11 typing tests' concern.)
TEST(Program, EndsInOrderWhenItsWindowClosesOrOnASignalAlsoWhileABoxWaits)
{
    TempConfig config; // XDG_CONFIG_HOME, which the program inherits
    PtyPair line;
    config.mapPort(1, line.path());
    const QString lockFile = QStringLiteral("/run/lock/LCK..") + line.path().mid(5).replace(u'/', u'_');
    QFile::remove(lockFile); // left by a program that was killed
    // Each signal once: the program handles the three alike.
    const std::pair<const char *, int> rows[] = {
        {"x,9600,n,8,1", SIGHUP}, {"1,9600,n,8,1", 0}, {"1,9600,n,8,1", SIGTERM}, {"1,9600,n,8,1", SIGINT}};
    for (const auto &[arguments, signal] : rows) {
        SCOPED_TRACE(::testing::Message() << arguments << ", signal " << signal);
        BexlowProcess program;
        program.start({QString::fromLatin1(arguments)});
        const QString search = QStringLiteral("xdotool search --all --onlyvisible --pid %1 ").arg(program.processId());
        const auto shows = [&search](int windows) {
            return processEventsUntil([&] { return run(search).count(u'\n') == windows; }, 10000);
        };
        ASSERT_TRUE(shows(1)); // the start-up failure's box, or the main window
        if (signal == 0) {
            // The button has the focus: a blank typed into the window presses it.
            run(search + QStringLiteral("--name ^BexxLow$ windowfocus --sync key space"));
            ASSERT_TRUE(shows(2));
            xRequestClose(WId(run(search + QStringLiteral("--name ^BexxLow$")).trimmed().toULong()));
        } else {
            EXPECT_EQ(QFile::exists(lockFile), arguments[0] != 'x');
            ::kill(pid_t(program.processId()), signal);
        }
        EXPECT_TRUE(program.waitForEnd(1000));
        EXPECT_EQ(program.exitCode(), signal == 0 ? 0 : 128 + signal);
        EXPECT_FALSE(QFile::exists(lockFile));
    }
}

} // namespace
