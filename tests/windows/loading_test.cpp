// What the dialog shows when it opens: the serial component's configuration
// of that moment, selected in its lists.
#include "tests/windows/windowfixture.h"

#include <QRadioButton>

namespace {

using Loading = Windows;

struct Load
{
    short port;
    const char *settings;
    int flow;
    QStringList shown; // port, speed, parity, data bits, stop bits
};

TEST_F(Loading, EachLoadShowsTheComponentsConfiguration)
{
    const Load loads[] = {
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
    for (const Load &load : loads) {
        SCOPED_TRACE(load.settings);
        comm().setCommPort(load.port);
        comm().setSettings(QString::fromLatin1(load.settings));
        comm().setHandshaking(load.flow);
        openDialog();
        EXPECT_EQ((QStringList{selected("cboPort"), selected("cboSpeed"), selected("cboParity"),
                               selected("cboDataBits"), selected("cboStopBits")}),
                  load.shown);
        // The flow control in force is selected and recorded, replacing a
        // choice left over from the last load; echo always opens Off.
        EXPECT_TRUE(control<QRadioButton>(qPrintable(QStringLiteral("optFlow_%1").arg(load.flow)))->isChecked());
        EXPECT_EQ(properties()->pendingFlowChoice(), load.flow);
        EXPECT_TRUE(control<QRadioButton>("optEcho_0")->isChecked());
        EXPECT_FALSE(properties()->pendingEchoFlag());
        click(qPrintable(QStringLiteral("optFlow_%1").arg((load.flow + 1) % 4)));
        click("optEcho_1");
        // Closed by OK once, with values the component takes, otherwise by Cancel.
        click(load.port == 2 ? "cmdOK" : "cmdCancel");
        EXPECT_FALSE(properties()->isLoaded());
    }
    EXPECT_EQ(saved("Echo"), QStringLiteral("True"));
    EXPECT_TRUE(messages.isEmpty());
}

} // namespace
