// The main window's "Settings" button, the keyboard in the dialog, and the
// end of the program.
#include "windowfixture.h"

#include "eventloop.h"
#include "settingslayout.h"
#include "xwindowproperties.h"

#include <QApplication>
#include <QProcess>
#include <QRadioButton>
#include <QTest>

namespace {

using MainWindow = Windows;

TEST_F(MainWindow, ASecondClickOnlyBringsTheOpenDialogToTheFrontWithTheUsersChoices)
{
    start();
    QDialog *window = openDialog();
    ASSERT_NE(window, nullptr);
    frmProperties *dialogObject = properties();
    choose("cboSpeed", QStringLiteral("57600"));
    choose("cboParity", QStringLiteral("Mark"));
    clickOption("optFlow_3");
    clickOption("optEcho_1");
    mainWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow.get()));

    mainWindow->findChild<QPushButton *>(QStringLiteral("Command1"))->click();

    EXPECT_EQ(properties(), dialogObject);
    EXPECT_EQ(dialog(), window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("57600"));
    EXPECT_EQ(selected("cboParity"), QStringLiteral("Mark"));
    EXPECT_EQ(entries("cboPort").size(), 16);
    EXPECT_TRUE(control<QRadioButton>("optFlow_3")->isChecked());
    EXPECT_EQ(properties()->pendingFlowChoice(), 3);
    EXPECT_TRUE(properties()->pendingEchoFlag());
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_EQ(std::count_if(windows.begin(), windows.end(),
                            [](QWidget *w) { return w->isVisible() && qobject_cast<QDialog *>(w); }),
              1);
}

TEST_F(MainWindow, AfterCancelTheNextClickLoadsAFreshDialogFromTheComponent)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    frmProperties *dialogObject = properties();
    choose("cboSpeed", QStringLiteral("57600"));
    clickButton("cmdCancel");
    comm().setSettings(QStringLiteral("38400,n,8,1"));
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_EQ(properties(), dialogObject);
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("38400"));
}

TEST_F(MainWindow, ABlankTypedAtTheButtonOpensTheDialog)
{
    start();
    mainWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow.get()));
    auto *button = mainWindow->findChild<QPushButton *>(QStringLiteral("Command1"));
    EXPECT_EQ(QApplication::focusWidget(), button);
    QTest::keyClick(button, Qt::Key_Space);
    ASSERT_NE(dialog(), nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog()));
}

TEST_F(MainWindow, EnterOnAClosedListPressesOkAndEscapeDoesNothing)
{
    start();
    QDialog *window = openDialog();
    ASSERT_NE(window, nullptr);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto *port = control<QComboBox>("cboPort");
    port->setFocus();

    QTest::keyClick(port, Qt::Key_Escape);
    EXPECT_TRUE(properties()->isLoaded());
    EXPECT_TRUE(window->isVisible());

    clickOption("optEcho_1");
    port->setFocus();
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_FALSE(properties()->isLoaded());
    EXPECT_EQ(saved(QStringLiteral("Echo")), QStringLiteral("True"));
}

TEST_F(MainWindow, ClosingTheMainWindowTakesTheDialogAlongApplyingNothing)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    choose("cboPort", QStringLiteral("Com2"));
    const QByteArray storeBefore = config.read(SettingsLayout::ApplicationTitle);
    mainWindow->close();
    EXPECT_FALSE(properties()->isLoaded());
    EXPECT_EQ(comm().CommPort(), 1);
    EXPECT_EQ(config.read(SettingsLayout::ApplicationTitle), storeBefore);
}

// The program as a user runs it: its window, the dialog opened from the
// keyboard, and the end when the main window is closed.
TEST(Program, ClosingTheMainWindowEndsTheProgramAndItsDialog)
{
    TempConfig config;
    std::vector<std::unique_ptr<PtyPair>> lines;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    program.setProcessEnvironment(environment);

    QList<WId> mains;
    // A pty whose number a serial component elsewhere is waiting for can be
    // taken by it first (see Windows::start); then the program cannot open
    // it and ends, and the next attempt uses a fresh pty.
    for (int attempt = 1; attempt <= 5 && mains.isEmpty(); ++attempt) {
        lines.push_back(std::make_unique<PtyPair>());
        config.mapPort(1, lines.back()->path());
        program.start(QStringLiteral(BEXLOW_BINARY), QStringList());
        ASSERT_TRUE(program.waitForStarted());
        processEventsUntil([&] {
            mains = XWindowProperties::findByTitle(QStringLiteral("BexxLow"));
            return !mains.isEmpty() || program.state() == QProcess::NotRunning;
        }, 10000);
        if (mains.isEmpty() && program.state() == QProcess::NotRunning
            && program.readAllStandardError().contains("another program is using the port")) {
            continue;
        }
        break;
    }
    ASSERT_FALSE(mains.isEmpty()) << program.readAllStandardError().constData();

    // The button has the focus: a blank typed into the window presses it.
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("windowfocus"), QString::number(mains.first()), QStringLiteral("key"),
                       QStringLiteral("--window"), QString::number(mains.first()), QStringLiteral("space")});
    EXPECT_TRUE(processEventsUntil(
        [] { return !XWindowProperties::findByTitle(QStringLiteral("CommPort Properties")).isEmpty(); }, 10000));

    XWindowProperties::requestClose(mains.first());
    EXPECT_TRUE(processEventsUntil([&] { return program.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(XWindowProperties::findByTitle(QStringLiteral("CommPort Properties")).isEmpty());
    EXPECT_FALSE(config.exists(QStringLiteral("BexxLow")));
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished();
    }
}

} // namespace
