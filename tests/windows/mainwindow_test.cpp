// The main window's "Settings" button, the keyboard in the dialog, and the
// end of the program.
#include "tests/windows/windowfixture.h"

#include "tests/support/bexlowprocess.h"
#include "tests/support/eventloop.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

namespace {

using MainWindow = Windows;

TEST_F(MainWindow, ASecondClickBringsTheSameDialogToTheFrontAndAfterCancelOneLoadsAfresh)
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
    EXPECT_EQ(control<QComboBox>("cboPort")->count(), 16);
    EXPECT_EQ(properties()->pendingFlowChoice(), 3);
    EXPECT_TRUE(properties()->pendingEchoFlag());

    click("cmdCancel");
    comm().setSettings(QStringLiteral("38400,n,8,1"));
    openDialog();
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("38400"));
}

TEST_F(MainWindow, ABlankTypedAtTheButtonOpensTheDialogWhereEnterOnAClosedListPressesOkAndEscapeDoesNothing)
{
    start();
    mainWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow.get()));
    EXPECT_EQ(QApplication::focusWidget(), control("Command1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_NE(dialog(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog()));

    auto *port = control<QComboBox>("cboPort");
    port->setFocus();
    QTest::keyClick(port, Qt::Key_Escape);
    EXPECT_TRUE(properties()->isLoaded());

    click("optEcho_1");
    port->setFocus();
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_FALSE(properties()->isLoaded());
    EXPECT_EQ(saved("Echo"), QStringLiteral("True"));
}

// The visible windows with this title, as xdotool finds them.
QStringList windowsTitled(const QString &title)
{
    QProcess search;
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
    search.waitForFinished();
    return QString::fromLatin1(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The program as a user runs it: its window, the dialog opened from the
// keyboard, and the end when the main window is closed.
TEST(Program, ClosingTheMainWindowEndsTheProgramAndItsDialog)
{
    TempConfig config;
    std::vector<std::unique_ptr<PtyPair>> lines;
    BexlowProcess program; // inherits XDG_CONFIG_HOME from config

    QStringList mains;
    // A pty whose number a serial component elsewhere is waiting for can be
    // taken by it first (see Windows::start); then the program cannot open
    // it and ends, and the next attempt uses a fresh pty.
    for (int attempt = 1; attempt <= 5 && mains.isEmpty(); ++attempt) {
        lines.push_back(std::make_unique<PtyPair>());
        config.mapPort(1, lines.back()->path());
        program.start({});
        processEventsUntil(
            [&] {
                mains = windowsTitled(QStringLiteral("BexxLow"));
                return !mains.isEmpty() || !program.running();
            },
            10000);
        if (mains.isEmpty() && !program.errorOutput().contains("another program is using the port"))
            break;
    }
    ASSERT_EQ(mains.size(), 1) << program.errorOutput().constData();

    // The button has the focus: a blank typed into the window presses it.
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), mains.first(), QStringLiteral("key"),
                                                  QStringLiteral("--window"), mains.first(), QStringLiteral("space")});
    EXPECT_TRUE(
        processEventsUntil([] { return !windowsTitled(QStringLiteral("CommPort Properties")).isEmpty(); }, 10000));

    xRequestClose(WId(mains.first().toULong()));
    EXPECT_TRUE(program.waitForEnd());
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(windowsTitled(QStringLiteral("CommPort Properties")).isEmpty());
    EXPECT_FALSE(config.exists(QStringLiteral("BexxLow")));
}

} // namespace
