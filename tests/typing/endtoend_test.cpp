// The whole path on a private Xvfb: bytes written to a pty reach the real
// bexlow program as its Com1, and it types them into the focused window, an
// xterm in raw mode or a Qt text window.
#include "bexlowprocess.h"
#include "keyboardstate.h"
#include "ptypair.h"
#include "receiverwindow.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

QByteArray printableAscii()
{
    QByteArray text;
    for (char c = 0x20; c < 0x7f; ++c)
        text += c;
    return text;
}

QByteArray latin1Letters()
{
    QString text;
    for (char16_t c = 0xc0; c <= 0xff; ++c)
        text += QChar(c);
    return text.toUtf8();
}

// Characters the US layout lacks, an upper-case letter among them.
const QByteArray MissingFromLayout = QStringLiteral("€ ✓ 中文 Ω “quoted” Øresund ø ẞ Ł").toUtf8();

bool pollUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return condition();
        QThread::msleep(50);
    }
    return true;
}

// A line, bexlow on it, and a receiver with the keyboard focus.
class Session
{
public:
    explicit Session(ReceiverWindow::Kind kind)
        : receiver(kind), bexlow(line.path())
    {
        bexlow.start();
    }

    // Writes bytes to the line with the receiver focused and gives what the
    // receiver got for them.
    QByteArray typed(const QByteArray &bytes, qsizetype expectedLength)
    {
        if (!keyboard.focus(receiver.window()))
            return "<the receiver could not get the keyboard focus>";
        const qsizetype mark = receiver.size();
        line.send(bytes);
        receiver.waitForLength(mark, expectedLength);
        return receiver.textSince(mark);
    }
    QByteArray typed(const QByteArray &bytes) { return typed(bytes, bytes.size()); }

    PtyPair line;
    KeyboardState keyboard;
    ReceiverWindow receiver;
    BexlowProcess bexlow;
};

class TypingIntoXterm : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        session = std::make_unique<Session>(ReceiverWindow::Kind::Xterm);
        keymapBefore = session->keyboard.keymapText();
    }
    static void TearDownTestSuite() { session.reset(); }

    static std::unique_ptr<Session> session;
    static QByteArray keymapBefore;
};

std::unique_ptr<Session> TypingIntoXterm::session;
QByteArray TypingIntoXterm::keymapBefore;

} // namespace

TEST_F(TypingIntoXterm, PrintableAsciiIncludingKeySyntaxCharacters)
{
    EXPECT_EQ(session->typed(printableAscii()), printableAscii());
    EXPECT_EQ(session->typed("a+b ^c %d ~e (f) {g} [h] {ENTER}"), QByteArray("a+b ^c %d ~e (f) {g} [h] {ENTER}"));
}

TEST_F(TypingIntoXterm, Latin1Letters)
{
    EXPECT_EQ(session->typed(latin1Letters()), latin1Letters());
}

TEST_F(TypingIntoXterm, CharactersMissingFromTheLayout)
{
    EXPECT_EQ(session->typed(MissingFromLayout), MissingFromLayout);
}

TEST_F(TypingIntoXterm, LineEndsTabBackSpaceEscapeAndOtherControls)
{
    // Return reaches a raw terminal as CR; the xterm sends DEL for the
    // BackSpace key. NUL, SOH, DEL and C1 (U+0085) are not typed.
    EXPECT_EQ(session->typed(QByteArray("1\r2\n3\r\n4\t5\b6\x1b" "7", 14) + QByteArray("\0\x01\x7f\xc2\x85" "8", 6), 13),
              QByteArray("1\r2\r3\r4\t5\x7f" "6\x1b" "78"));
    // A CR ending one burst and the LF starting the next type one Return.
    EXPECT_EQ(session->typed("weight 12.5 kg\r"), QByteArray("weight 12.5 kg\r"));
    EXPECT_EQ(session->typed("\nnext\r\n", 5), QByteArray("next\r"));
}

TEST_F(TypingIntoXterm, InvalidUtf8BytesBecomeTheirLatin1Characters)
{
    EXPECT_EQ(session->typed("\xff\xfe" "A\xc3X\x80", 8), QStringLiteral("ÿþAÃX").toUtf8() + QByteArray());
}

TEST_F(TypingIntoXterm, CapsLockOnChangesNothingAndStaysOn)
{
    session->keyboard.setCapsLock(true);
    const QByteArray text = QStringLiteral("abc ABC ø Ø é É ẞ ß").toUtf8();
    const QByteArray got = session->typed(text);
    const bool stillOn = session->keyboard.capsLockOn();
    session->keyboard.setCapsLock(false);
    EXPECT_EQ(got, text);
    EXPECT_TRUE(stillOn);
}

TEST_F(TypingIntoXterm, KeymapIsAsBeforeOnceIdleAndNoKeyIsDown)
{
    ASSERT_EQ(session->typed(MissingFromLayout), MissingFromLayout);
    EXPECT_NE(session->keyboard.keymapText(), keymapBefore) << "the spare keys should still be bound";
    EXPECT_TRUE(pollUntil([] { return session->keyboard.keymapText() == keymapBefore; }, 10000));
    EXPECT_TRUE(session->keyboard.keysDown().empty());
}

TEST(TypingIntoQtWindow, ReceivesTheSameText)
{
    Session session(ReceiverWindow::Kind::QtText);
    // The Qt window shows Return as a line break, and BackSpace deletes.
    EXPECT_EQ(session.typed(printableAscii() + "\r"), printableAscii() + "\n");
    EXPECT_EQ(session.typed(latin1Letters() + "\n"), latin1Letters() + "\n");
    EXPECT_EQ(session.typed(MissingFromLayout + "\r\n", MissingFromLayout.size() + 1), MissingFromLayout + "\n");
    EXPECT_EQ(session.typed("tab\there\r\n", 9), QByteArray("tab\there\n"));
    EXPECT_EQ(session.typed("typoX\bo\r", 6), QByteArray("typoo\n"));
    session.keyboard.setCapsLock(true);
    const QByteArray capsText = QStringLiteral("abc ABC ø Ø\r").toUtf8();
    const QByteArray got = session.typed(capsText);
    session.keyboard.setCapsLock(false);
    EXPECT_EQ(got, QStringLiteral("abc ABC ø Ø\n").toUtf8());
}

TEST(TypingEnds, SignalEndingBexlowRestoresTheKeymapAndReleasesKeys)
{
    KeyboardState keyboard;
    const QByteArray before = keyboard.keymapText();
    for (int signal : {SIGTERM, SIGINT}) {
        Session session(ReceiverWindow::Kind::Xterm);
        ASSERT_EQ(session.typed(MissingFromLayout), MissingFromLayout);
        // Well within the idle time after which the spare keys are emptied.
        ASSERT_NE(keyboard.keymapText(), before);
        EXPECT_TRUE(session.bexlow.stop(signal));
        EXPECT_EQ(keyboard.keymapText(), before) << "signal " << signal;

        EXPECT_TRUE(session.keyboard.keysDown().empty());
    }
}

TEST(TypingEnds, BindingsLeftByAKilledBexlowAreEmptiedAtTheNextStart)
{
    KeyboardState keyboard;
    const QByteArray before = keyboard.keymapText();
    {
        Session session(ReceiverWindow::Kind::Xterm);
        ASSERT_EQ(session.typed(MissingFromLayout), MissingFromLayout);
        EXPECT_TRUE(session.bexlow.stop(SIGKILL));
        ASSERT_NE(keyboard.keymapText(), before) << "SIGKILL leaves the spare keys bound";
    }
    Session next(ReceiverWindow::Kind::Xterm);
    EXPECT_EQ(keyboard.keymapText(), before);
    EXPECT_EQ(next.typed(MissingFromLayout), MissingFromLayout);
}
