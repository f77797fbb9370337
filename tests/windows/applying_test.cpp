// OK and Cancel: what reaches the serial component and the settings store,
// and what the user is told when the component refuses.
#include "windowfixture.h"

#include "mscomm.h"
#include "operationerror.h"
#include "settingslayout.h"

#include <QFile>
#include <QRadioButton>
#include <QTemporaryFile>

#include <QDir>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

using Applying = Windows;

const QString Settings = QStringLiteral("Settings");
const QString CommPort = QStringLiteral("CommPort");
const QString Handshaking = QStringLiteral("Handshaking");
const QString Echo = QStringLiteral("Echo");

// The description the component gives when it cannot open this device.
QString openFailure(short port, const QString &device)
{
    MSComm probe;
    probe.setDeviceResolver([device](int) { return device; });
    probe.setCommPort(port);
    try {
        probe.setPortOpen(true);
    } catch (const OperationError &error) {
        return error.description();
    }
    return QStringLiteral("<opened>");
}

QString settingsRefusal(const QString &settings)
{
    MSComm probe;
    try {
        probe.setSettings(settings);
    } catch (const OperationError &error) {
        return error.description();
    }
    return QStringLiteral("<accepted>");
}

TEST_F(Applying, OkWithoutChangeKeepsThePortOpenSavesFourEntriesAndCloses)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    OpenCounter device(line().path());
    clickButton("cmdOK");

    const OpenCounter::Counts counts = device.take();
    EXPECT_EQ(counts.opens, 0);
    EXPECT_EQ(counts.closes, 0);
    EXPECT_TRUE(comm().PortOpen());
    EXPECT_FALSE(properties()->isLoaded());
    // The four entries, in the order written, as the component reports them.
    EXPECT_EQ(config.read(SettingsLayout::ApplicationTitle),
              QByteArray("[Ports]\nCom1=") + line().path().toUtf8() + "\nCom2=" + secondLine().path().toUtf8()
                  + "\n\n[Properties]\nSettings=9600,n,8,1\nCommPort=1\nHandshaking=0\nEcho=False\n");
}

TEST_F(Applying, TheListsComposeTheLineSettingsWithAnUpperCaseParityLetter)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    choose("cboSpeed", QStringLiteral("4800"));
    choose("cboParity", QStringLiteral("Odd"));
    choose("cboDataBits", QStringLiteral("7"));
    choose("cboStopBits", QStringLiteral("2"));
    clickButton("cmdOK");
    EXPECT_EQ(comm().Settings(), QStringLiteral("4800,o,7,2"));
    EXPECT_EQ(comm().lineState().inputSpeed, 4800u);
    EXPECT_EQ(saved(Settings), QStringLiteral("4800,o,7,2"));
}

TEST_F(Applying, ANewPortWhileOpenClosesRenumbersAndReopens)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    OpenCounter first(line().path());
    OpenCounter second(secondLine().path());
    choose("cboPort", QStringLiteral("Com2"));
    clickButton("cmdOK");

    EXPECT_EQ(first.take().closes, 1);
    EXPECT_GE(second.take().opens, 1);
    EXPECT_EQ(comm().CommPort(), 2);
    EXPECT_TRUE(comm().PortOpen());
    EXPECT_EQ(comm().deviceName(), secondLine().path());
    EXPECT_EQ(saved(CommPort), QStringLiteral("2"));
    EXPECT_FALSE(properties()->isLoaded());
}

TEST_F(Applying, ANewPortWhileClosedOnlyChangesTheNumber)
{
    start();
    comm().setPortOpen(false);
    ASSERT_NE(openDialog(), nullptr);
    OpenCounter second(secondLine().path());
    choose("cboPort", QStringLiteral("Com2"));
    clickButton("cmdOK");
    EXPECT_EQ(comm().CommPort(), 2);
    EXPECT_FALSE(comm().PortOpen());
    EXPECT_EQ(second.take().opens, 0);
    EXPECT_EQ(saved(CommPort), QStringLiteral("2"));
}

TEST_F(Applying, APortThatCannotOpenIsReportedOnceRolledBackAndLeftClosed)
{
    const QString missing = config.path() + QStringLiteral("/no-such-tty");
    config.mapPort(3, missing);
    start();
    const QString expected = openFailure(3, missing);
    ASSERT_NE(expected, QStringLiteral("<opened>"));
    ASSERT_NE(openDialog(), nullptr);
    choose("cboPort", QStringLiteral("Com3"));
    choose("cboDataBits", QStringLiteral("7"));
    clickOption("optFlow_2");

    MessageBoxCatcher catcher;
    clickButton("cmdOK");

    ASSERT_EQ(catcher.messages.size(), 1);
    const MessageBoxCatcher::Message &message = catcher.messages.first();
    EXPECT_EQ(message.text, expected);
    EXPECT_EQ(message.icon, QMessageBox::Warning);
    EXPECT_EQ(message.buttons, 1);
    EXPECT_TRUE(message.modal);
    EXPECT_EQ(message.title, QStringLiteral("bexlow"));
    EXPECT_EQ(message.xTitle, QStringLiteral("bexlow"));

    EXPECT_EQ(comm().CommPort(), 1);
    EXPECT_FALSE(comm().PortOpen());
    EXPECT_EQ(comm().Settings(), QStringLiteral("9600,n,8,1"));
    EXPECT_EQ(comm().Handshaking(), 0);
    EXPECT_EQ(saved(Settings), QStringLiteral("<absent>"));
    EXPECT_TRUE(properties()->isLoaded());

    // A second OK after choosing a port that works: the port was found closed,
    // so it is renumbered but not opened.
    choose("cboPort", QStringLiteral("Com2"));
    clickButton("cmdOK");
    EXPECT_EQ(catcher.messages.size(), 1);
    EXPECT_EQ(comm().CommPort(), 2);
    EXPECT_FALSE(comm().PortOpen());
    EXPECT_EQ(comm().Handshaking(), 2);
    EXPECT_FALSE(properties()->isLoaded());
}

TEST_F(Applying, RefusedLineSettingsAreReportedAndKeepThePortChange)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    choose("cboPort", QStringLiteral("Com2"));
    choose("cboDataBits", QStringLiteral("4"));
    clickOption("optFlow_1");

    MessageBoxCatcher catcher;
    clickButton("cmdOK");

    ASSERT_EQ(catcher.messages.size(), 1);
    EXPECT_EQ(catcher.messages.first().text, settingsRefusal(QStringLiteral("9600,N,4,1")));
    EXPECT_EQ(comm().CommPort(), 2);
    EXPECT_TRUE(comm().PortOpen());
    EXPECT_EQ(comm().Settings(), QStringLiteral("9600,n,8,1"));
    EXPECT_EQ(comm().Handshaking(), 0);
    EXPECT_EQ(saved(Settings), QStringLiteral("<absent>"));
    EXPECT_EQ(saved(CommPort), QStringLiteral("<absent>"));
    EXPECT_TRUE(properties()->isLoaded());

    // 1.5 stop bits are refused the same way.
    choose("cboDataBits", QStringLiteral("8"));
    choose("cboStopBits", QStringLiteral("1.5"));
    clickButton("cmdOK");
    ASSERT_EQ(catcher.messages.size(), 2);
    EXPECT_EQ(catcher.messages.last().text, settingsRefusal(QStringLiteral("9600,N,8,1.5")));
    EXPECT_TRUE(properties()->isLoaded());
}

TEST_F(Applying, EchoIsSavedAsTrueOrFalse)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    clickOption("optEcho_1");
    clickButton("cmdOK");
    EXPECT_EQ(saved(Echo), QStringLiteral("True"));

    ASSERT_NE(openDialog(), nullptr);
    clickOption("optEcho_1");
    clickOption("optEcho_0");
    clickButton("cmdOK");
    EXPECT_EQ(saved(Echo), QStringLiteral("False"));
}

TEST_F(Applying, RtsIsAppliedAndSavedAsTwo)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    clickOption("optFlow_2");
    clickButton("cmdOK");
    EXPECT_EQ(comm().Handshaking(), 2);
    EXPECT_TRUE(comm().lineState().cflag & CRTSCTS);
    EXPECT_EQ(saved(Handshaking), QStringLiteral("2"));
}

TEST_F(Applying, CancelAndClosingTheWindowChangeNothing)
{
    start();
    const QByteArray storeBefore = config.read(SettingsLayout::ApplicationTitle);
    for (bool byTitleBar : {false, true}) {
        SCOPED_TRACE(byTitleBar ? "closed" : "Cancel");
        QDialog *window = openDialog();
        ASSERT_NE(window, nullptr);
        OpenCounter device(line().path());
        choose("cboPort", QStringLiteral("Com2"));
        choose("cboSpeed", QStringLiteral("19200"));
        choose("cboParity", QStringLiteral("Even"));
        clickOption("optFlow_3");
        clickOption("optEcho_1");
        if (byTitleBar)
            window->close();
        else
            clickButton("cmdCancel");

        EXPECT_FALSE(properties()->isLoaded());
        EXPECT_EQ(comm().CommPort(), 1);
        EXPECT_EQ(comm().Settings(), QStringLiteral("9600,n,8,1"));
        EXPECT_EQ(comm().Handshaking(), 0);
        EXPECT_TRUE(comm().PortOpen());
        EXPECT_EQ(device.take().closes, 0);
        EXPECT_EQ(config.read(SettingsLayout::ApplicationTitle), storeBefore);
    }
}

// Captures what the process writes to stderr while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QString text()
    {
        restore();
        QFile file(m_file.fileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

TEST_F(Applying, AFailedSaveIsNotedOnStderrAndTheDialogStillCloses)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    // The store cannot replace a folder that stands where its file belongs.
    const QString file = config.filePath(SettingsLayout::ApplicationTitle);
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));

    MessageBoxCatcher catcher;
    StderrCapture errors;
    clickButton("cmdOK");
    const QString written = errors.text();

    EXPECT_TRUE(catcher.messages.isEmpty());
    EXPECT_FALSE(properties()->isLoaded());
    for (const QString &key : {Settings, CommPort, Handshaking, Echo})
        EXPECT_TRUE(written.contains(key + QStringLiteral(" was not saved"))) << qPrintable(written);
}

} // namespace
