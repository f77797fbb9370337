// XTestKeyInjector on a private Xvfb, typing into a real xterm in raw mode.
#include "eventloop.h"
#include "keyboardstate.h"
#include "operationerror.h"
#include "receiverwindow.h"
#include "xtestkeyinjector.h"

#include <X11/keysym.h>

#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Sets an environment variable for a scope.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray *value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_previous(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (m_had)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name = nullptr;
    bool m_had = false;
    QByteArray m_previous;
};

void expectUnavailable(const std::function<void()> &call, const QString &reason)
{
    try {
        call();
        ADD_FAILURE() << "typing was said to be available";
    } catch (const OperationError &error) {
        EXPECT_EQ(error.number(), OperationError::TypingUnavailable);
        EXPECT_TRUE(error.description().startsWith(QStringLiteral("typing needs an X11 display")))
            << qPrintable(error.description());
        EXPECT_TRUE(error.description().contains(reason)) << qPrintable(error.description());
    }
}

void setLayout(const QString &layout)
{
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), layout}), 0);
}

} // namespace

TEST(TypingAvailability, WithoutDisplayTypingIsUnavailableAndSaysWhy)
{
    ScopedEnvironment noDisplay("DISPLAY", nullptr);
    XTestKeyInjector keys;
    expectUnavailable([&] { keys.checkAvailable(); }, QStringLiteral("DISPLAY is not set"));
    expectUnavailable([&] { keys.SendKeys(QStringLiteral("x")); }, QStringLiteral("DISPLAY is not set"));
    // Text with nothing to type needs no display.
    EXPECT_NO_THROW(keys.SendKeys(QString()));
    EXPECT_NO_THROW(keys.SendKeys(QStringLiteral("\x01\x02")));
}

TEST(TypingAvailability, DisplayThatCannotBeOpenedIsNamed)
{
    const QByteArray missing(":4097");
    ScopedEnvironment badDisplay("DISPLAY", &missing);
    XTestKeyInjector keys;
    expectUnavailable([&] { keys.checkAvailable(); }, QStringLiteral("cannot open display :4097"));
}

TEST(TypingAvailability, LostConnectionFailsTheCallAndIsOpenedAgainLater)
{
    // A second X server of the test's own, to be stopped under the injector.
    QProcess server;
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                          QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForReadyRead(20000));
    const QByteArray display = ":" + server.readLine().trimmed();
    ScopedEnvironment secondDisplay("DISPLAY", &display);

    XTestKeyInjector keys;
    ASSERT_NO_THROW(keys.SendKeys(QStringLiteral("a")));
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    try {
        keys.SendKeys(QStringLiteral("b"));
        ADD_FAILURE() << "typing on a lost connection did not fail";
    } catch (const OperationError &error) {
        EXPECT_EQ(error.number(), OperationError::TypingFailed);
        EXPECT_TRUE(error.description().contains(QStringLiteral("connection to the X display ") + display
                                                 + QStringLiteral(" was lost")))
            << qPrintable(error.description());
    }
    // The next call tries to connect again, and says why it cannot.
    expectUnavailable([&] { keys.SendKeys(QStringLiteral("c")); }, QStringLiteral("cannot open display ") + display);
}

class InjectorIntoXterm : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { receiver = std::make_unique<ReceiverWindow>(ReceiverWindow::Kind::Xterm); }
    static void TearDownTestSuite() { receiver.reset(); }

    void SetUp() override { ASSERT_TRUE(keyboard.focus(receiver->window())); }

    // Types text and gives what the xterm received for it.
    QByteArray typed(XTestKeyInjector &keys, const QString &text, qsizetype expectedLength)
    {
        const qsizetype mark = receiver->size();
        keys.SendKeys(text);
        receiver->waitForLength(mark, expectedLength);
        return receiver->textSince(mark);
    }
    QByteArray typed(XTestKeyInjector &keys, const QString &text)
    {
        return typed(keys, text, text.toUtf8().size());
    }

    static std::unique_ptr<ReceiverWindow> receiver;
    KeyboardState keyboard;
};

std::unique_ptr<ReceiverWindow> InjectorIntoXterm::receiver;

TEST_F(InjectorIntoXterm, MoreDistinctMissingCharactersThanSpareKeysAreTypedExactly)
{
    // 80 characters the US layout lacks, several times more than its spare
    // keycodes: keycodes are rebound while the xterm still reads.
    QString missing;
    for (char32_t c = 0x4e00; c < 0x4e00 + 60; ++c)
        missing += QString::fromUcs4(&c, 1);
    missing += QStringLiteral("€✓Ω“”—…←→∞≈≠≤≥ΣπλжзЖ");
    QString text;
    for (int round = 0; round < 3; ++round) {
        for (qsizetype i = 0; i < missing.size(); ++i)
            text += missing.at((i * 7 + round * 13) % missing.size()) + QString::number(i % 10);
    }
    XTestKeyInjector keys;
    EXPECT_EQ(QString::fromUtf8(typed(keys, text)), text);
}

TEST_F(InjectorIntoXterm, KeymapIsAsFoundOnceIdleAndAfterDestruction)
{
    const QByteArray before = keyboard.keymapText();
    {
        XTestKeyInjector keys;
        const QString text = QStringLiteral("Øre 5€ ✓ Straße");
        ASSERT_EQ(QString::fromUtf8(typed(keys, text)), text);
        // The spare keys stay bound while typing may go on...
        EXPECT_NE(keyboard.keymapText(), before);
        // ...and are emptied once typing has been idle.
        EXPECT_TRUE(processEventsUntil([&] { return keyboard.keymapText() == before; }, 10000));
        EXPECT_TRUE(keyboard.keysDown().empty());

        ASSERT_EQ(QString::fromUtf8(typed(keys, QStringLiteral("ΩΩ"))), QStringLiteral("ΩΩ"));
        EXPECT_NE(keyboard.keymapText(), before);
    }
    // Destroyed without idling first.
    EXPECT_EQ(keyboard.keymapText(), before);
    EXPECT_TRUE(keyboard.keysDown().empty());
}

TEST_F(InjectorIntoXterm, CapsLockChangesNothingAndStaysOn)
{
    keyboard.setCapsLock(true);
    XTestKeyInjector keys;
    const QString text = QStringLiteral("abc ABC xyz éÉ øØ ßẞ 123 ;:");
    EXPECT_EQ(QString::fromUtf8(typed(keys, text)), text);
    EXPECT_TRUE(keyboard.capsLockOn());
    keyboard.setCapsLock(false);
}

TEST_F(InjectorIntoXterm, ShiftHeldByTheUserChangesNothingAndStaysHeld)
{
    const int shift = keyboard.keycodeOf(XK_Shift_L);
    keyboard.holdKey(shift, true);
    XTestKeyInjector keys;
    const QString text = QStringLiteral("abc ABC 1! é");
    const QString typedText = QString::fromUtf8(typed(keys, text));
    const std::vector<int> down = keyboard.keysDown();
    keyboard.holdKey(shift, false);
    EXPECT_EQ(typedText, text);
    EXPECT_EQ(down, std::vector<int>{shift});
}

TEST_F(InjectorIntoXterm, CharactersOfAnotherLayoutGroupAndALayoutChangeAreFollowed)
{
    XTestKeyInjector keys;
    ASSERT_EQ(QString::fromUtf8(typed(keys, QStringLiteral("a"))), QStringLiteral("a"));
    // A second layout appears while the injector is connected: its letters
    // are typed from their keys in group 2, and group 1 is in force again
    // afterwards.
    setLayout(QStringLiteral("us,ru"));
    const QString text = QStringLiteral("привет Мир, hello Ω");
    EXPECT_EQ(QString::fromUtf8(typed(keys, text)), text);
    EXPECT_EQ(keyboard.group(), 0);
    setLayout(QStringLiteral("us"));
    EXPECT_EQ(QString::fromUtf8(typed(keys, QStringLiteral("ok Ж"))), QStringLiteral("ok Ж"));
}

TEST_F(InjectorIntoXterm, ReturnTabBackSpaceAndEscapeArePressed)
{
    XTestKeyInjector keys;
    // The xterm sends DEL for the BackSpace key (its default here) and ESC
    // for Escape; a raw terminal gets CR for Return.
    const QByteArray expected("a\tb\x7f" "c\x1b" "d\re\rf\r");
    EXPECT_EQ(typed(keys, QStringLiteral("a\tb\bc\x1b" "d\r\ne\nf\r"), expected.size()), expected);
    EXPECT_EQ(typed(keys, QStringLiteral("\ng"), 1), QByteArray("g"));
}
