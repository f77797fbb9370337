// The dialog and the serial component: what the dialog shows when it opens
// (the component's configuration of that moment, selected in its lists),
// what OK and Cancel pass to the component and the settings store, and what
// the user is told when the component refuses.
#include "tests/windows/windowfixture.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>

#include <functional>
#include <tuple>

namespace {

using Loading = Windows;

TEST_F(Loading, EachLoadShowsTheComponentsConfiguration)
{
    // Port, settings, flow control; shown: port, speed, parity, data and stop bits.
    const std::tuple<short, const char *, int, QStringList> loads[] = {
        {1, "9600,n,8,1", 0, {"Com1", "9600", "None", "8", "1"}},
        {2, "19200,o,7,2", 3, {"Com2", "19200", "Odd", "7", "2"}},
        // The component reports the letter in lower case, which the dialog knows.
        {1, "4800,E,7,1", 2, {"Com1", "4800", "Even", "7", "1"}},
        // A value outside its list leaves only that list without a selection.
        {16, "1234,m,5,2", 1, {"Com16", "<none>", "Mark", "5", "2"}},
        {20, "115200,s,6,1", 0, {"<none>", "115200", "Space", "6", "1"}},
    };
    start();
    comm().setPortOpen(false);
    for (const auto &[port, settings, flow, shown] : loads) {
        SCOPED_TRACE(settings);
        comm().setCommPort(port);
        comm().setSettings(QString::fromLatin1(settings));
        comm().setHandshaking(flow);
        openDialog();
        EXPECT_EQ((QStringList{selected("cboPort"), selected("cboSpeed"), selected("cboParity"),
                               selected("cboDataBits"), selected("cboStopBits")}),
                  shown);
        // The flow control in force is recorded, replacing a choice left
        // over from the last load; echo always opens Off.
        EXPECT_EQ(properties()->pendingFlowChoice(), flow);
        EXPECT_TRUE(control<QRadioButton>("optEcho_0")->isChecked());
        EXPECT_FALSE(properties()->pendingEchoFlag());
        click(qPrintable(QStringLiteral("optFlow_%1").arg((flow + 1) % 4)));
        click("optEcho_1");
        // OK keeps a value missing from its list (speed 1234, port 20).
        click("cmdOK");
        EXPECT_EQ(comm().CommPort(), port);
    }
    EXPECT_EQ(saved("Echo"), QStringLiteral("True"));
    EXPECT_TRUE(messages.isEmpty());
}

using Applying = Windows;

TEST_F(Applying, OkAppliesTheChoicesAndTakesANewPortOpenOrClosedAsThePortWas)
{
    start();
    openDialog();
    OpenCounter device1(device(1));
    choose("cboSpeed", QStringLiteral("4800"));
    choose("cboParity", QStringLiteral("Odd"));
    choose("cboDataBits", QStringLiteral("7"));
    choose("cboStopBits", QStringLiteral("2"));
    click("optFlow_2");
    click("cmdOK");
    EXPECT_EQ(device1.take(), 0); // an unchanged port is not reopened
    EXPECT_TRUE(comm().PortOpen());
    EXPECT_FALSE(properties()->isLoaded());
    // The four entries, in the order written, as the component reports them.
    EXPECT_EQ(savedFile(), QByteArray("[Ports]\nCom1=") + device(1).toUtf8() + "\nCom2=" + device(2).toUtf8()
                               + "\n\n[Properties]\nSettings=4800,o,7,2\nCommPort=1\nHandshaking=2\nEcho=False\n");

    for (const bool wasOpen : {true, false}) {
        SCOPED_TRACE(wasOpen ? "open" : "closed");
        if (!wasOpen)
            comm().setPortOpen(false);
        const short from = comm().CommPort(), to = short(3 - from);
        openDialog();
        OpenCounter newLine(device(to));
        choose("cboPort", QStringLiteral("Com%1").arg(to));
        click("cmdOK");
        EXPECT_EQ(newLine.take() > 0, wasOpen);
        EXPECT_EQ(comm().CommPort(), to);
        EXPECT_EQ(comm().PortOpen(), wasOpen);
        EXPECT_EQ(saved("CommPort"), QString::number(to));
    }
    EXPECT_TRUE(messages.isEmpty());
}

// OK stops at the component's first refusal: one warning, what was applied
// before stays, nothing after it is applied, nothing is saved and the dialog
// stays open.
TEST_F(Applying, ARefusalIsReportedOnceAndStopsOkWithNothingSaved)
{
    const QString missing = config.path() + QStringLiteral("/no-such-tty");
    config.mapPort(3, missing);
    start();
    const QByteArray before = savedFile();
    // Port and data bits chosen; port number and state after; the component's
    // words, in one modal box with one button.
    const std::tuple<const char *, const char *, short, bool, QString> refusals[] = {
        // Line settings refused after a port change: the change stays.
        {"Com2", "4", 2, true,
         "Invalid line settings \"9600,N,4,1\": 4 data bits are not supported by Linux serial drivers; use 5 to 8"},
        // A port that cannot open: the number goes back to 2, where the case
        // above left it, and the port is left closed.
        {"Com3", "7", 2, false, QStringLiteral("Com3 (%1): No such file or directory").arg(missing)},
    };
    for (const auto &[port, dataBits, portAfter, openAfter, warning] : refusals) {
        SCOPED_TRACE(port);
        openDialog();
        choose("cboPort", QString::fromLatin1(port));
        choose("cboDataBits", QString::fromLatin1(dataBits));
        click("optFlow_2");
        click("cmdOK");
        EXPECT_EQ(messages, QStringList{warning + " [bexlow, warning icon, 1 button(s), modal]"});
        EXPECT_EQ(comm().CommPort(), portAfter);
        EXPECT_EQ(comm().PortOpen(), openAfter);
        EXPECT_EQ(comm().Settings(), QStringLiteral("9600,n,8,1"));
        EXPECT_EQ(comm().Handshaking(), 0);
        EXPECT_EQ(savedFile(), before);
        EXPECT_TRUE(properties()->isLoaded());
        messages.clear();
        click("cmdCancel");
    }
}

// Cancel, the dialog's title bar and closing the main window, which takes the
// dialog along, all apply nothing.
TEST_F(Applying, CancelAndClosingEitherWindowChangeNothing)
{
    start();
    const QByteArray storeBefore = savedFile();
    const std::pair<const char *, std::function<void()>> ways[] = {{"Cancel", [this] { click("cmdCancel"); }},
                                                                   {"title bar", [this] { dialog()->close(); }},
                                                                   {"main window", [this] { mainWindow->close(); }}};
    for (const auto &[way, close] : ways) {
        SCOPED_TRACE(way);
        openDialog();
        choose("cboPort", QStringLiteral("Com2"));
        click("optEcho_1");
        close();
        EXPECT_FALSE(properties()->isLoaded());
        EXPECT_EQ(comm().CommPort(), 1);
        EXPECT_TRUE(comm().PortOpen());
        EXPECT_EQ(savedFile(), storeBefore);
    }
}

TEST_F(Applying, AFailedSaveIsNotedOnStderrAndTheDialogStillCloses)
{
    start();
    openDialog();
    // The store cannot replace a folder that stands where its file belongs.
    const QString file = config.filePath(SettingsLayout::ApplicationTitle);
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));

    testing::internal::CaptureStderr();
    click("cmdOK");
    const QString written = QString::fromStdString(testing::internal::GetCapturedStderr());

    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(properties()->isLoaded());
    for (const char *key : {"Settings", "CommPort", "Handshaking", "Echo"})
        EXPECT_TRUE(written.contains(QLatin1String(key) + QStringLiteral(" was not saved"))) << qPrintable(written);
}

} // namespace
