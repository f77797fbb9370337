// The serial component on a pseudo-terminal.
#include "eventloop.h"
#include "mscomm.h"
#include "operationerror.h"
#include "ptypair.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <sys/resource.h>
#include <termios.h>
#include <thread>

namespace {

// A component whose port 1 is the given pty.
struct OpenComponent
{
    explicit OpenComponent(const QString &device, const QString &settings = QStringLiteral("9600,n,8,1"))
    {
        comm.setDeviceResolver([device](int) { return device; });
        comm.setSettings(settings);
        comm.setPortOpen(true);
    }
    MSComm comm;
};

OperationError errorFrom(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const OperationError &error) {
        return error;
    }
    ADD_FAILURE() << "the operation did not fail";
    return OperationError(0, QString());
}

void busyWait(std::chrono::milliseconds duration)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
    }
}

long cpuMilliseconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

TEST(MSComm, RefusesBadValuesAndKeepsThePreviousOnes)
{
    MSComm comm;
    EXPECT_EQ(comm.deviceName(), QStringLiteral("/dev/ttyS0"));
    comm.setSettings(QStringLiteral("19200,O,7,2"));
    EXPECT_EQ(comm.Settings(), QStringLiteral("19200,o,7,2"));

    for (const short port : { short(0), short(-1), short(256), short(32767) }) {
        const OperationError error = errorFrom([&] { comm.setCommPort(port); });
        EXPECT_EQ(error.number(), OperationError::InvalidPropertyValue);
        EXPECT_TRUE(error.description().contains(QString::number(port)));
    }
    EXPECT_EQ(comm.CommPort(), 1);
    comm.setCommPort(255);
    EXPECT_EQ(comm.CommPort(), 255);

    EXPECT_THROW(comm.setSettings(QStringLiteral("9600,n,4,1")), OperationError);
    EXPECT_THROW(comm.setSettings(QStringLiteral("9600,n,8,1.5")), OperationError);
    EXPECT_THROW(comm.setSettings(QStringLiteral("9600,N,8")), OperationError);
    EXPECT_EQ(comm.Settings(), QStringLiteral("19200,o,7,2"));

    for (const int code : { -1, 4, 100 })
        EXPECT_THROW(comm.setHandshaking(code), OperationError);
    comm.setHandshaking(3);
    EXPECT_EQ(comm.Handshaking(), 3);

    EXPECT_THROW(comm.Input(), OperationError); // closed
}

TEST(MSComm, OpenFailuresNameThePortTheDeviceAndTheReason)
{
    QTemporaryDir dir;
    const QString missing = dir.path() + QStringLiteral("/ttyUSB9");
    MSComm comm;
    comm.setCommPort(3);
    comm.setDeviceResolver([missing](int) { return missing; });
    OperationError error = errorFrom([&] { comm.setPortOpen(true); });
    EXPECT_EQ(error.number(), ENOENT);
    EXPECT_EQ(error.description(), QStringLiteral("Com3 (%1): No such file or directory").arg(missing));
    EXPECT_FALSE(comm.PortOpen());

    // Not a terminal at all.
    const QString plain = dir.path() + QStringLiteral("/plain");
    QFile(plain).open(QIODevice::WriteOnly);
    comm.setDeviceResolver([plain](int) { return plain; });
    error = errorFrom([&] { comm.setPortOpen(true); });
    EXPECT_TRUE(error.description().startsWith(QStringLiteral("Com3 (%1): ").arg(plain)));
    EXPECT_FALSE(comm.PortOpen());
}

TEST(MSComm, APortIsOpenedByOneComponentOnlyWhateverThePath)
{
    PtyPair line;
    OpenComponent first(line.path());
    ASSERT_TRUE(first.comm.PortOpen());

    MSComm second;
    second.setDeviceResolver([&](int) { return line.path(); });
    OperationError error = errorFrom([&] { second.setPortOpen(true); });
    EXPECT_EQ(error.number(), EBUSY);
    EXPECT_TRUE(error.description().startsWith(QStringLiteral("Com1 (%1): ").arg(line.path())));
    EXPECT_TRUE(error.description().contains(QStringLiteral("busy")));
    EXPECT_FALSE(second.PortOpen());

    // Another name for the same device (as /dev/serial/by-id gives) is busy too.
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/usb-Scanner-if00");
    ASSERT_TRUE(QFile::link(line.path(), link));
    second.setDeviceResolver([&](int) { return link; });
    error = errorFrom([&] { second.setPortOpen(true); });
    EXPECT_EQ(error.number(), EBUSY);
    EXPECT_FALSE(second.PortOpen());

    // Once the first lets go, the second gets it.
    first.comm.setPortOpen(false);
    second.setPortOpen(true);
    EXPECT_TRUE(second.PortOpen());
}

TEST(MSComm, OpenPortRefusesANewNumberAndASecondOpen)
{
    PtyPair line;
    OpenComponent open(line.path());
    OperationError error = errorFrom([&] { open.comm.setCommPort(2); });
    EXPECT_EQ(error.number(), OperationError::PortAlreadyOpen);
    EXPECT_EQ(open.comm.CommPort(), 1);
    error = errorFrom([&] { open.comm.setPortOpen(true); });
    EXPECT_EQ(error.number(), OperationError::PortAlreadyOpen);
    open.comm.setPortOpen(false);
    open.comm.setPortOpen(false); // closing a closed port is harmless
    open.comm.setCommPort(2);
    EXPECT_EQ(open.comm.CommPort(), 2);
}

// What the component asks the kernel for. A pty keeps 8 data bits and no
// PARENB whatever it is asked, so these two are checked here, on the flags
// that the component hands to the kernel, and the rest on a real pty below.
TEST(TermiosLine, EveryParityFlagIsSetExplicitly)
{
    struct Expected
    {
        const char *settings;
        std::uint32_t size;
        bool parenb, parodd, cmspar, cstopb;
    };
    const Expected cases[] = {
        { "9600,n,8,1", CS8, false, false, false, false }, { "9600,e,7,1", CS7, true, false, false, false },
        { "9600,o,6,2", CS6, true, true, false, true },    { "9600,m,5,1", CS5, true, true, true, false },
        { "9600,s,8,2", CS8, true, false, true, true },
    };
    // Start from a line that has every one of these flags set.
    TermiosLine::State dirty;
    dirty.cflag = CS5 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | B9600;
    dirty.iflag = IXON | IXOFF | IXANY | ICRNL | INPCK | PARMRK | IGNPAR | ISTRIP;
    dirty.lflag = ICANON | ECHO | ISIG;
    dirty.oflag = OPOST;
    for (const Expected &c : cases) {
        SCOPED_TRACE(c.settings);
        const TermiosLine::State state
            = TermiosLine::configured(dirty, LineConfig::parse(QString::fromLatin1(c.settings)), FlowControl::None);
        EXPECT_EQ(state.cflag & CSIZE, c.size);
        EXPECT_EQ(bool(state.cflag & PARENB), c.parenb);
        EXPECT_EQ(bool(state.cflag & PARODD), c.parodd);
        EXPECT_EQ(bool(state.cflag & CMSPAR), c.cmspar);
        EXPECT_EQ(bool(state.cflag & CSTOPB), c.cstopb);
        EXPECT_EQ(bool(state.iflag & INPCK), c.parenb);
        EXPECT_EQ(bool(state.iflag & PARMRK), c.parenb);
        EXPECT_FALSE(state.iflag & (IGNPAR | ISTRIP | ICRNL | IXON | IXOFF | IXANY));
        EXPECT_FALSE(state.cflag & CRTSCTS);
        EXPECT_FALSE(state.lflag & (ICANON | ECHO | ISIG));
        EXPECT_FALSE(state.oflag & OPOST);
        EXPECT_EQ(state.outputSpeed, 9600u);
    }
}

TEST(MSComm, LineFlagsFollowTheSettingsOnAnOpenPort)
{
    PtyPair line;
    OpenComponent open(line.path(), QStringLiteral("19200,m,7,2"));
    TermiosLine::State state = open.comm.lineState();
    EXPECT_EQ(state.outputSpeed, 19200u);
    EXPECT_TRUE(state.cflag & CSTOPB);
    EXPECT_TRUE(state.cflag & CMSPAR);
    EXPECT_TRUE(state.cflag & PARODD);
    EXPECT_TRUE(state.iflag & INPCK);
    EXPECT_FALSE(state.lflag & (ICANON | ECHO | ISIG));

    struct Expected
    {
        const char *settings;
        bool parodd, cmspar;
    };
    // From mark and space parity to the others: the kernel must not be left
    // with CMSPAR, which would turn even into space and odd into mark.
    const Expected sequence[] = {
        { "9600,e,8,1", false, false }, { "9600,s,8,1", false, true }, { "9600,o,8,1", true, false },
        { "9600,m,8,1", true, true },   { "9600,n,8,1", false, false },
    };
    for (const Expected &step : sequence) {
        SCOPED_TRACE(step.settings);
        open.comm.setSettings(QString::fromLatin1(step.settings));
        state = open.comm.lineState();
        EXPECT_EQ(bool(state.cflag & PARODD), step.parodd);
        EXPECT_EQ(bool(state.cflag & CMSPAR), step.cmspar);
        EXPECT_FALSE(state.cflag & CSTOPB);
    }
    EXPECT_FALSE(state.iflag & (INPCK | PARMRK));

    // Any speed the driver takes, also one without a standard constant.
    open.comm.setSettings(QStringLiteral("56000,n,8,1"));
    EXPECT_EQ(open.comm.lineState().outputSpeed, 56000u);
    EXPECT_EQ(open.comm.lineState().inputSpeed, 56000u);

    // A refused value leaves the line as it was.
    open.comm.setSettings(QStringLiteral("4800,o,7,2"));
    EXPECT_THROW(open.comm.setSettings(QStringLiteral("4800,n,8,1.5")), OperationError);
    EXPECT_EQ(open.comm.Settings(), QStringLiteral("4800,o,7,2"));
    EXPECT_EQ(open.comm.lineState().outputSpeed, 4800u);
    EXPECT_TRUE(open.comm.lineState().cflag & CSTOPB);
}

TEST(MSComm, SettingsAndFlowGivenWhileClosedApplyAtOpenAndFlowChangesOnTheOpenPort)
{
    PtyPair line;
    MSComm comm;
    comm.setDeviceResolver([&](int) { return line.path(); });
    comm.setSettings(QStringLiteral("2400,S,6,2"));
    comm.setHandshaking(2);
    comm.setPortOpen(true);
    const TermiosLine::State state = comm.lineState();
    EXPECT_EQ(state.outputSpeed, 2400u);
    EXPECT_TRUE(state.cflag & CSTOPB);
    EXPECT_TRUE(state.cflag & CMSPAR);
    EXPECT_FALSE(state.cflag & PARODD);
    // Flow control 1 Xon/Xoff, 2 RTS/CTS, 3 both, here and on the open port.
    const std::tuple<int, bool, bool> flows[] = { { 2, false, true }, { 1, true, false }, { 3, true, true }, { 0, false, false } };
    for (const auto &[code, software, hardware] : flows) {
        comm.setHandshaking(code);
        EXPECT_EQ(bool(comm.lineState().iflag & IXON), software) << code;
        EXPECT_EQ(bool(comm.lineState().iflag & IXOFF), software) << code;
        EXPECT_EQ(bool(comm.lineState().cflag & CRTSCTS), hardware) << code;
    }
}

TEST(MSComm, OnCommIsRaisedWhenDataArrives)
{
    PtyPair line;
    OpenComponent open(line.path());
    int notifications = 0;
    QObject::connect(&open.comm, &MSComm::OnComm, [&] { ++notifications; });
    line.send("scan\r");
    ASSERT_TRUE(processEventsUntil([&] { return notifications > 0; }));
    EXPECT_EQ(open.comm.Input(), QStringLiteral("scan\r"));
    EXPECT_EQ(open.comm.Input(), QString()); // the read removed it
}

TEST(MSComm, InputTakesWhatArrivedWhileTheEventLoopWasBlocked)
{
    PtyPair line;
    OpenComponent open(line.path());
    line.send("AB");
    ASSERT_TRUE(processEventsUntil([&] { return open.comm.PortOpen(); }));
    processEventsFor(50); // "AB" is now in the component's own buffer
    line.send("C\xe2\x82");
    // The GUI thread is busy: no event is handled while the rest arrives.
    busyWait(std::chrono::milliseconds(50));
    line.send("\xac\r");
    busyWait(std::chrono::milliseconds(20));
    EXPECT_EQ(open.comm.Input(), QStringLiteral("ABC€\r"));
}

TEST(MSComm, ACharacterSplitAcrossWritesWaitsForItsRest)
{
    PtyPair line;
    OpenComponent open(line.path());
    line.send("Ma\xc3");
    busyWait(std::chrono::milliseconds(30));
    EXPECT_EQ(open.comm.Input(), QStringLiteral("Ma"));
    line.send("\xb1" "ana \xe4\xb8");
    busyWait(std::chrono::milliseconds(30));
    EXPECT_EQ(open.comm.Input(), QStringLiteral("ñana "));
    line.send("\xad\xe6\x96\x87");
    busyWait(std::chrono::milliseconds(30));
    EXPECT_EQ(open.comm.Input(), QStringLiteral("中文"));
}

TEST(MSComm, AHangUpStopsReadingWithoutSpinningAndReopensWhenTheDeviceIsBack)
{
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/ttyUSB0");
    auto line = std::make_unique<PtyPair>();
    ASSERT_TRUE(QFile::link(line->path(), link));
    OpenComponent open(link, QStringLiteral("4800,e,7,1"));
    open.comm.setHandshaking(1);
    int notifications = 0;
    QObject::connect(&open.comm, &MSComm::OnComm, [&] { ++notifications; });

    line->send("before");
    ASSERT_TRUE(processEventsUntil([&] { return notifications > 0; }));
    // Pulled out: the device hangs up and its name goes, as udev removes a
    // /dev/serial/by-id link. (A link left pointing at the old pty number
    // could meet another test's new pty under that number.)
    line->hangUp();
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(processEventsUntil([&] { return open.comm.waitingForDevice(); }));
    EXPECT_TRUE(open.comm.PortOpen());
    EXPECT_EQ(open.comm.Input(), QStringLiteral("before"));

    // Waiting must not burn the processor.
    const long cpuBefore = cpuMilliseconds();
    processEventsFor(600);
    EXPECT_LT(cpuMilliseconds() - cpuBefore, 200);
    EXPECT_EQ(open.comm.Input(), QString());

    // The adapter comes back under the same name (a new pty behind the link).
    line = std::make_unique<PtyPair>();
    ASSERT_TRUE(QFile::link(line->path(), link));
    ASSERT_TRUE(processEventsUntil([&] { return !open.comm.waitingForDevice(); }, 3000));
    const TermiosLine::State state = open.comm.lineState();
    EXPECT_EQ(state.outputSpeed, 4800u);
    EXPECT_TRUE(state.iflag & INPCK);
    EXPECT_TRUE(state.iflag & IXON);
    notifications = 0;
    line->send("after\r");
    ASSERT_TRUE(processEventsUntil([&] { return notifications > 0; }));
    EXPECT_EQ(open.comm.Input(), QStringLiteral("after\r"));
}

TEST(MSComm, AHungUpPseudoTerminalIsNotReopenedUnderItsOldNumber)
{
    auto line = std::make_unique<PtyPair>();
    const QString path = line->path();
    OpenComponent open(path);
    line->hangUp();
    ASSERT_TRUE(processEventsUntil([&] { return open.comm.waitingForDevice(); }));
    // The number is free again and the next pty may well take it: whoever
    // that is, it is not this line.
    std::vector<std::unique_ptr<PtyPair>> others;
    for (int i = 0; i < 4; ++i)
        others.push_back(std::make_unique<PtyPair>());
    processEventsFor(700);
    EXPECT_TRUE(open.comm.waitingForDevice());
    EXPECT_THROW(open.comm.lineState(), OperationError);
    EXPECT_EQ(open.comm.Input(), QString());
}

TEST(MSComm, AByteFFSurvivesTheKernelsParityMarking)
{
    PtyPair line;
    OpenComponent open(line.path(), QStringLiteral("9600,e,8,1"));
    // With parity on, the kernel doubles a received \377 to tell it from its
    // error marks; it must still come out once.
    line.send("a\xff");
    busyWait(std::chrono::milliseconds(30));
    EXPECT_EQ(open.comm.Input(), QString::fromLatin1("a\xff"));
}

} // namespace
