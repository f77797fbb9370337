// The receive handler of TerminalBridge on a real pty: which text reaches one
// SendKeys call.
//
// The keystroke injection is replaced by a recorder here, the one fake of
// these tests: where a burst is cut between SendKeys calls cannot be seen in
// a real receiving window, which shows only the characters.
#include "eventloop.h"
#include "inisettingsstore.h"
#include "keyinjector.h"
#include "ptypair.h"
#include "tempconfig.h"
#include "terminalbridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

class RecordingKeyInjector : public KeyInjector
{
public:
    void SendKeys(const QString &keys) override
    {
        calls.push_back(keys);
        if (onSend)
            onSend(keys);
    }

    std::vector<QString> nonEmptyCalls() const
    {
        std::vector<QString> result;
        for (const QString &call : calls) {
            if (!call.isEmpty())
                result.push_back(call);
        }
        return result;
    }

    std::vector<QString> calls;
    std::function<void(const QString &)> onSend;
};

class ReceiveHandler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        config.mapPort(1, pty.path());
        bridge.Form_Load(QStringLiteral("1,9600,n,8,1"));
        ASSERT_TRUE(bridge.MSComm1.PortOpen());
    }

    // Runs the event loop until `count` non-empty texts were typed, then a
    // little longer, so that a further call would be seen too.
    void typeUntil(size_t count)
    {
        processEventsUntil([&] { return keys.nonEmptyCalls().size() >= count; }, 10000);
        processEventsFor(300);
    }

    PtyPair pty;
    TempConfig config;
    IniSettingsStore store{config.path()};
    RecordingKeyInjector keys;
    TerminalBridge bridge{store, keys};
};

} // namespace

TEST_F(ReceiveHandler, BurstArrivingWithinTheSettleDelayIsTypedInOneCall)
{
    // "C" follows "AB" 20 ms later, well inside the 50 ms settle delay of
    // the run that "AB" starts.
    std::thread device([this] {
        pty.send("AB");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pty.send("C");
    });
    typeUntil(1);
    device.join();
    EXPECT_EQ(keys.nonEmptyCalls(), std::vector<QString>{QStringLiteral("ABC")});
}

TEST_F(ReceiveHandler, DataArrivingAfterTheReadWaitsForTheNextRun)
{
    // The recorder is called right after the read, so what it writes to the
    // line arrives after the read for certain.
    keys.onSend = [this](const QString &text) {
        if (text == QLatin1String("first"))
            pty.send("second");
    };
    pty.send("first");
    typeUntil(2);
    EXPECT_EQ(keys.nonEmptyCalls(), (std::vector<QString>{QStringLiteral("first"), QStringLiteral("second")}));
}

TEST_F(ReceiveHandler, TextIsPassedUnalteredWithLineEndsAndControls)
{
    const QByteArray sent("a+b^c%d~(e){f}[g]\r\n\t\x1b\x01" "end");
    pty.send(sent);
    typeUntil(1);
    EXPECT_EQ(keys.nonEmptyCalls(), std::vector<QString>{QString::fromLatin1(sent)});
}
