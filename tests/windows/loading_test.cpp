// What the dialog shows when it opens: its lists, and the serial component's
// configuration of that moment.
#include "windowfixture.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace {

using Loading = Windows;

QStringList ports()
{
    QStringList names;
    for (int port = 1; port <= 16; ++port)
        names << QStringLiteral("Com%1").arg(port);
    return names;
}

const QStringList Speeds{"110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",   "14400",
                         "19200", "28800", "38400", "56000", "57600", "115200", "128000", "256000"};

TEST_F(Loading, TheListsHoldTheirEntriesInOrderAtEveryLoad)
{
    start();
    for (int load = 0; load < 3; ++load) {
        SCOPED_TRACE(load);
        ASSERT_NE(openDialog(), nullptr);
        EXPECT_EQ(entries("cboPort"), ports());
        EXPECT_EQ(entries("cboSpeed"), Speeds);
        EXPECT_EQ(entries("cboDataBits"), (QStringList{"4", "5", "6", "7", "8"}));
        EXPECT_EQ(entries("cboParity"), (QStringList{"Even", "Odd", "None", "Mark", "Space"}));
        EXPECT_EQ(entries("cboStopBits"), (QStringList{"1", "1.5", "2"}));
        // Closed alternately by OK and by Cancel.
        clickButton(load % 2 ? "cmdOK" : "cmdCancel");
        EXPECT_FALSE(properties()->isLoaded());
    }
}

TEST_F(Loading, TheDefaultConfigurationShowsAsIs)
{
    start();
    ASSERT_EQ(comm().Settings(), QStringLiteral("9600,n,8,1"));
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("9600"));
    EXPECT_EQ(selected("cboParity"), QStringLiteral("None"));
    EXPECT_EQ(selected("cboDataBits"), QStringLiteral("8"));
    EXPECT_EQ(selected("cboStopBits"), QStringLiteral("1"));
    EXPECT_EQ(control<QComboBox>("cboPort")->currentIndex(), 0);
    EXPECT_TRUE(control<QRadioButton>("optFlow_0")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("optEcho_0")->isChecked());
    EXPECT_EQ(properties()->pendingFlowChoice(), 0);
    EXPECT_FALSE(properties()->pendingEchoFlag());
}

TEST_F(Loading, ShowsOddParitySevenBitsTwoStopBitsOnTheSecondPort)
{
    start(QStringLiteral("2,19200,o,7,2"));
    ASSERT_EQ(comm().CommPort(), 2);
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("19200"));
    EXPECT_EQ(selected("cboParity"), QStringLiteral("Odd"));
    EXPECT_EQ(selected("cboDataBits"), QStringLiteral("7"));
    EXPECT_EQ(selected("cboStopBits"), QStringLiteral("2"));
    EXPECT_EQ(selected("cboPort"), QStringLiteral("Com2"));
}

TEST_F(Loading, AParityLetterGivenInUpperCaseShowsBecauseTheComponentReportsItInLowerCase)
{
    start(QStringLiteral("1,4800,E,7,1"));
    ASSERT_EQ(comm().Settings(), QStringLiteral("4800,e,7,1"));
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_EQ(selected("cboParity"), QStringLiteral("Even"));
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("4800"));
}

TEST(ParityLetters, OnlyLowerCaseLettersAreRecognised)
{
    EXPECT_EQ(frmProperties::parityIndex(QStringLiteral("e")), 0);
    EXPECT_EQ(frmProperties::parityIndex(QStringLiteral("o")), 1);
    EXPECT_EQ(frmProperties::parityIndex(QStringLiteral("n")), 2);
    EXPECT_EQ(frmProperties::parityIndex(QStringLiteral("m")), 3);
    EXPECT_EQ(frmProperties::parityIndex(QStringLiteral("s")), 4);
    for (const char *other : {"N", "E", "O", "M", "S", "x", ",", "", "no"})
        EXPECT_EQ(frmProperties::parityIndex(QString::fromLatin1(other)), -1) << other;
}

TEST_F(Loading, TheFlowControlInForceIsSelectedAndRecorded)
{
    start();
    comm().setHandshaking(2);
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_TRUE(control<QRadioButton>("optFlow_2")->isChecked());
    EXPECT_EQ(properties()->pendingFlowChoice(), 2);
    // A choice left over from before is replaced at the next load.
    clickOption("optFlow_1");
    EXPECT_EQ(properties()->pendingFlowChoice(), 1);
    clickButton("cmdCancel");
    comm().setHandshaking(3);
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_TRUE(control<QRadioButton>("optFlow_3")->isChecked());
    EXPECT_EQ(properties()->pendingFlowChoice(), 3);
}

TEST_F(Loading, EchoAlwaysOpensOff)
{
    start();
    ASSERT_NE(openDialog(), nullptr);
    clickOption("optEcho_1");
    EXPECT_TRUE(properties()->pendingEchoFlag());
    clickButton("cmdOK");
    ASSERT_EQ(saved(QStringLiteral("Echo")), QStringLiteral("True"));
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_TRUE(control<QRadioButton>("optEcho_0")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("optEcho_1")->isChecked());
    EXPECT_FALSE(properties()->pendingEchoFlag());
}

TEST_F(Loading, TheLastPortEntryAndValuesOutsideTheListsLeaveOnlyThoseListsEmpty)
{
    start();
    comm().setPortOpen(false);
    comm().setCommPort(16);
    comm().setSettings(QStringLiteral("1234,m,5,2"));
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_EQ(selected("cboPort"), QStringLiteral("Com16"));
    EXPECT_EQ(control<QComboBox>("cboPort")->currentIndex(), 15);
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("<none>"));
    EXPECT_EQ(selected("cboParity"), QStringLiteral("Mark"));
    EXPECT_EQ(selected("cboDataBits"), QStringLiteral("5"));
    EXPECT_EQ(selected("cboStopBits"), QStringLiteral("2"));
    clickButton("cmdCancel");

    // A port number beyond the list.
    comm().setCommPort(20);
    comm().setSettings(QStringLiteral("115200,s,6,1"));
    comm().setHandshaking(1);
    ASSERT_NE(openDialog(), nullptr);
    EXPECT_EQ(selected("cboPort"), QStringLiteral("<none>"));
    EXPECT_EQ(selected("cboSpeed"), QStringLiteral("115200"));
    EXPECT_EQ(selected("cboParity"), QStringLiteral("Space"));
    EXPECT_EQ(selected("cboDataBits"), QStringLiteral("6"));
    EXPECT_TRUE(control<QRadioButton>("optFlow_1")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("optEcho_0")->isChecked());
}

} // namespace
