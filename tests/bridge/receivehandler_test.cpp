// The receive handler of TerminalBridge on a real pty: which text reaches one
// type call. A recorder stands in for the keystroke injection, the one fake
// of these tests: a real window shows where a burst was cut no more.
#include "bridge/terminalbridge.h"
#include "keyboard/keyinjector.h"
#include "store/inisettingsstore.h"
#include "tests/support/eventloop.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

struct RecordingKeyInjector : KeyInjector
{
    void checkAvailable() override {}
    std::u32string type(const QString &keys) override
    {
        if (!keys.isEmpty())
            calls.push_back(keys);
        onSend(keys);
        return {};
    }

    std::vector<QString> calls; // the non-empty ones
    std::function<void(const QString &)> onSend = [](const QString &) {};
};

} // namespace

TEST(ReceiveHandler, BurstIsTypedInOneCallAndDataArrivingAfterTheReadInTheNext)
{
    PtyPair pty;
    TempConfig config;
    config.mapPort(1, pty.path());
    IniSettingsStore store{config.path()};
    RecordingKeyInjector keys;
    TerminalBridge bridge{store, keys};
    bridge.start(QStringLiteral("1,9600,n,8,1"));
    ASSERT_TRUE(bridge.port().PortOpen());
    // Runs the event loop until `count` texts were typed, then a little
    // longer, so that a further call would be seen too.
    const auto typeUntil = [&](size_t count) {
        processEventsUntil([&] { return keys.calls.size() >= count; }, 10000);
        processEventsFor(300);
    };

    // "C" follows 20 ms later, well inside the 50 ms settle delay of the run
    // that the first part starts. Key syntax, line ends, Tab and Escape are
    // passed on as they came; the typing rules apply later. On a busy machine
    // the sending thread can oversleep past the read; such a round says
    // nothing and is tried again.
    using Clock = std::chrono::steady_clock;
    const QByteArray burst("a+b^c%d~(e){f}[g]\r\n\t\x1b");
    bool judged = false;
    for (int round = 0; round < 5 && !judged; ++round) {
        Clock::time_point readAt, lastSentAt;
        keys.onSend = [&](const QString &) { readAt = Clock::now(); };
        keys.calls.clear();
        std::thread device([&] {
            pty.send(burst);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pty.send("C");
            lastSentAt = Clock::now();
        });
        typeUntil(1);
        device.join();
        judged = lastSentAt + std::chrono::milliseconds(10) <= readAt;
        if (!judged)
            typeUntil(2); // the rest, before the next round
    }
    ASSERT_TRUE(judged) << "C never arrived before the read: no settle delay, or a very busy machine";
    EXPECT_EQ(keys.calls, std::vector<QString>{QString::fromLatin1(burst + "C")});

    // The recorder is called right after the read, so what it writes to the
    // line arrives after the read for certain.
    keys.onSend = [&](const QString &text) {
        if (text == QLatin1String("first"))
            pty.send("second");
    };
    keys.calls.clear();
    pty.send("first");
    typeUntil(2);
    EXPECT_EQ(keys.calls, (std::vector<QString>{QStringLiteral("first"), QStringLiteral("second")}));
}
