// The serial component on a pseudo-terminal, and its decoding of the bytes
// from the line to text.
#include "serial/mscomm.h"
#include "serial/receiveddecoder.h"
#include "tests/support/eventloop.h"
#include "tests/support/expecterror.h"
#include "tests/support/helpers.h"
#include "tests/support/ptypair.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <termios.h>

namespace {

// A component whose port 1 is the given pty, opened with these settings and flow control.
struct OpenComponent
{
    explicit OpenComponent(const QString &device, const QString &settings = QStringLiteral("9600,n,8,1"),
                           int handshaking = 0)
    {
        comm.setDeviceResolver([device](int) { return device; });
        comm.setSettings(settings);
        comm.setHandshaking(handshaking);
        comm.setPortOpen(true);
    }
    MSComm comm;
};

TEST(MSComm, RefusesBadValuesKeepsThePreviousOnesAndNamesPortDeviceAndReasonWhenOpenFails)
{
    MSComm comm;
    for (const short port : {short(0), short(-1), short(256)})
        expectError([&] { comm.setCommPort(port); }, OperationError::InvalidPropertyValue, QString::number(port));
    EXPECT_EQ(comm.CommPort(), 1);
    comm.setCommPort(255);
    EXPECT_EQ(comm.CommPort(), 255);
    for (const int code : {-1, 4})
        EXPECT_THROW(comm.setHandshaking(code), OperationError);
    comm.setHandshaking(3);
    EXPECT_EQ(comm.Handshaking(), 3);
    EXPECT_THROW(comm.Input(), OperationError); // closed

    QTemporaryDir dir;
    const QString missing = dir.path() + QStringLiteral("/ttyUSB9");
    const QString plain = dir.path() + QStringLiteral("/plain"); // not a terminal at all
    ASSERT_TRUE(QFile(plain).open(QIODevice::WriteOnly));
    comm.setCommPort(3);
    for (const auto &[device, number, reason] :
         {std::tuple{plain, EIO, "Inappropriate ioctl"}, {missing, ENOENT, "No such file"}}) {
        comm.setDeviceResolver([device = device](int) { return device; });
        expectError([&] { comm.setPortOpen(true); }, number, QStringLiteral("Com3 (%1): %2").arg(device, reason));
        EXPECT_FALSE(comm.PortOpen());
    }
}

TEST(MSComm, APortIsOpenedByOneComponentOnlyWhateverThePath)
{
    PtyPair line;
    OpenComponent first(line.path());
    // The open component refuses a new number and a second open; the device
    // refuses another component, also under another name (as /dev/serial/by-id gives).
    EXPECT_EQ(errorOf([&] { first.comm.setCommPort(2); }).number(), OperationError::PortAlreadyOpen);
    EXPECT_EQ(errorOf([&] { first.comm.setPortOpen(true); }).number(), OperationError::PortAlreadyOpen);
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/usb-Scanner-if00");
    ASSERT_TRUE(QFile::link(line.path(), link));
    MSComm second;
    for (const QString &device : {line.path(), link}) {
        second.setDeviceResolver([device](int) { return device; });
        expectError([&] { second.setPortOpen(true); }, EBUSY,
                    QStringLiteral("Com1 (%1): Device or resource busy").arg(device));
        EXPECT_FALSE(second.PortOpen());
    }

    first.comm.setPortOpen(false);
    first.comm.setPortOpen(false); // closing a closed port is harmless
    first.comm.setCommPort(2);
    EXPECT_NO_THROW(second.setPortOpen(true));
}

// What the component asks the kernel for. A pty keeps 8 data bits and no
// PARENB whatever it is asked, so these two are checked here, on the flags
// that the component hands to the kernel, and the rest on a real pty below.
TEST(TermiosLine, EveryParityFlagIsSetExplicitly)
{
    constexpr auto lineFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    const std::pair<const char *, std::uint32_t> cases[] = {
        {"9600,n,8,1", CS8},
        {"9600,e,7,1", CS7 | PARENB},
        {"9600,o,6,2", CS6 | PARENB | PARODD | CSTOPB},
        {"9600,m,5,1", CS5 | PARENB | PARODD | CMSPAR},
        {"9600,s,8,2", CS8 | PARENB | CMSPAR | CSTOPB},
    };
    // A line with every one of these flags set (cflag, iflag, oflag, lflag).
    const TermiosLine::State dirty{CS5 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | B9600,
                                   IXON | IXOFF | IXANY | ICRNL | INPCK | PARMRK | IGNPAR | ISTRIP, OPOST,
                                   ICANON | ECHO | ISIG};
    for (const auto &[settings, cflag] : cases) {
        SCOPED_TRACE(settings);
        const TermiosLine::State state =
            TermiosLine::configured(dirty, LineConfig::parse(QString::fromLatin1(settings)), FlowControl::None);
        EXPECT_EQ(state.cflag & lineFlags, cflag);
        // Parity errors are checked and marked, nothing else is done to input.
        EXPECT_EQ(state.iflag & dirty.iflag, (cflag & PARENB) ? std::uint32_t(INPCK | PARMRK) : 0u);
        EXPECT_FALSE(state.lflag & (ICANON | ECHO | ISIG));
        EXPECT_FALSE(state.oflag & OPOST);
    }
}

TEST(MSComm, LineFlagsFollowTheSettingsAndFlowGivenBeforeAndAfterOpening)
{
    PtyPair line;
    OpenComponent open(line.path(), QStringLiteral("19200,m,7,2"), 2);
    MSComm &comm = open.comm;
    EXPECT_EQ(comm.lineState().outputSpeed, 19200u);
    const auto given = std::uint32_t(CSTOPB | CMSPAR | PARODD | CRTSCTS);
    EXPECT_EQ(comm.lineState().cflag & given, given);

    // Flow control 1 Xon/Xoff, 2 RTS/CTS, 3 both, on the open port.
    for (const auto &[code, software, hardware] : {std::tuple{1, true, false}, {3, true, true}, {0, false, false}}) {
        comm.setHandshaking(code);
        EXPECT_EQ(comm.lineState().iflag & (IXON | IXOFF), software ? std::uint32_t(IXON | IXOFF) : 0u) << code;
        EXPECT_EQ(bool(comm.lineState().cflag & CRTSCTS), hardware) << code;
    }

    // Any speed the driver takes, also one without a standard constant.
    comm.setSettings(QStringLiteral("56000,n,8,1"));
    EXPECT_EQ(std::pair(comm.lineState().outputSpeed, comm.lineState().inputSpeed), std::pair(56000u, 56000u));

    // A refused value leaves the line as it was.
    comm.setSettings(QStringLiteral("4800,o,7,2"));
    EXPECT_THROW(comm.setSettings(QStringLiteral("4800,n,8,1.5")), OperationError);
    EXPECT_EQ(comm.Settings(), QStringLiteral("4800,o,7,2"));
    EXPECT_EQ(comm.lineState().outputSpeed, 4800u);
    EXPECT_TRUE(comm.lineState().cflag & CSTOPB);
}

TEST(MSComm, InputTakesWhatArrivedWhileTheEventLoopWasBlockedAndASplitCharacterWaitsForItsRest)
{
    PtyPair line;
    // With parity on, the kernel doubles a received \377 to tell it from its
    // error marks; it must still come out once.
    OpenComponent open(line.path(), QStringLiteral("9600,e,8,1"));
    line.send("AB");
    processEventsFor(50); // "AB" is now in the component's own buffer
    line.send("C\xe2\x82");
    QThread::msleep(50); // blocks the event loop: nothing is read meanwhile
    line.send("\xac\r Ma\xc3");
    QThread::msleep(20);
    EXPECT_EQ(open.comm.Input(), QStringLiteral("ABC€\r Ma"));
    line.send("\xb1"
              "ana \xe4\xb8");
    QThread::msleep(30);
    EXPECT_EQ(open.comm.Input(), QStringLiteral("ñana "));
    line.send("\xad\xe6\x96\x87 a\xff");
    QThread::msleep(30);
    EXPECT_EQ(open.comm.Input(), QStringLiteral("中文 a") + QChar(0xff));
}

TEST(MSComm, OnCommIsRaisedOnDataAndAHangUpStopsReadingWithoutSpinningAndReopensOnlyADeviceBehindALink)
{
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/ttyUSB0");
    auto line = std::make_unique<PtyPair>();
    ASSERT_TRUE(QFile::link(line->path(), link));
    OpenComponent open(link, QStringLiteral("4800,e,7,1"), 1);
    // One opened under its /dev/pts name is never reopened: the next pty may
    // take that number, but it is not this line.
    auto direct = std::make_unique<PtyPair>();
    OpenComponent directly(direct->path());
    int notifications = 0;
    QObject::connect(&open.comm, &MSComm::OnComm, [&] { ++notifications; });

    line->send("before");
    ASSERT_TRUE(processEventsUntil([&] { return notifications > 0; }));
    // Pulled out: the device hangs up and its name goes, as udev removes a
    // /dev/serial/by-id link.
    testing::internal::CaptureStderr();
    line->hangUp();
    direct->hangUp();
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(processEventsUntil([&] { return open.comm.waitingForDevice() && directly.comm.waitingForDevice(); }));
    EXPECT_EQ(open.comm.Input(), QStringLiteral("before"));

    // Waiting must not burn the processor.
    const std::clock_t cpuBefore = std::clock();
    processEventsFor(600);
    EXPECT_LT((std::clock() - cpuBefore) * 1000 / CLOCKS_PER_SEC, 200);
    EXPECT_EQ(open.comm.Input(), QString());

    // The adapter comes back under the same name (a new pty behind the link),
    // and other ptys appear.
    const std::array<PtyPair, 4> others;
    line = std::make_unique<PtyPair>();
    ASSERT_TRUE(QFile::link(line->path(), link));
    ASSERT_TRUE(processEventsUntil([&] { return !open.comm.waitingForDevice(); }, 3000));
    // One line each when the devices went and when the one behind the link came back.
    const QString said = QString::fromStdString(testing::internal::GetCapturedStderr());
    for (const char *told : {"gone away; waiting for it", "does not come back", "is back"})
        EXPECT_EQ(said.count(QLatin1String(told)), 1) << qPrintable(said);
    // Reopened with its settings and flow control.
    const TermiosLine::State state = open.comm.lineState();
    EXPECT_EQ(state.outputSpeed, 4800u);
    EXPECT_EQ(state.iflag & (INPCK | IXON), std::uint32_t(INPCK | IXON));
    notifications = 0;
    line->send("after\r");
    ASSERT_TRUE(processEventsUntil([&] { return notifications > 0; }));
    EXPECT_EQ(open.comm.Input(), QStringLiteral("after\r"));
    EXPECT_TRUE(directly.comm.waitingForDevice());
}

TEST(ReceivedDecoder, DecodesUtf8KeepsOtherBytesAsLatin1AndParityMarksAsQuestionMarks)
{
    ReceivedDecoder decoder;
    EXPECT_EQ(decoder.decode("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"), QStringLiteral("café € 😀"));
    // Latin-1 bytes that are no UTF-8: each becomes the character of its value.
    EXPECT_EQ(decoder.decode("caf\xe9!"), QStringLiteral("café!"));
    // Overlong forms, surrogates and anything above U+10FFFF are not characters.
    for (const char *invalid :
         {"\xe0\x80\xaf", "\xed\xa0\x80", "\xf0\x80\x80\x80", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80"})
        EXPECT_EQ(decoder.decode(invalid), QString::fromLatin1(invalid));
    // Every byte value in ascending order: no two of 0x80-0xff form a
    // character, so each comes out as the character of its value.
    const QString all = range(0, 255);
    EXPECT_EQ(decoder.decode(all.toLatin1()), all);
    EXPECT_FALSE(decoder.hasPending());

    decoder.setParityMarking(true);
    // \377 \0 c is a character received with a parity error; \377 \377 is \377.
    EXPECT_EQ(decoder.decode(QByteArray("a\xff\0xb", 5)), QStringLiteral("a?b"));
    EXPECT_EQ(decoder.decode("\xff\xff"), QString::fromLatin1("\xff"));
}

} // namespace
