// Typing on a private Xvfb: the real bexlow on a pty types into the focused
// xterm, Qt, GTK or Chromium window. XTestKeyInjector is used on its own only
// where its X connection is what is checked.
#include "keyboard/x11/xtestkeyinjector.h"
#include "tests/receivers/receiverwindow.h"
#include "tests/support/eventloop.h"
#include "tests/support/expecterror.h"

#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const QByteArray PrintableAscii = range(0x20, 0x7e).toUtf8();
const QByteArray Latin1Letters = range(0xc0, 0xff).toUtf8();

// Characters the US layout lacks, an upper-case letter among them.
const QByteArray MissingFromLayout = QStringLiteral("€ ✓ 中文 Ω “quoted” Øresund ø ẞ Ł").toUtf8();

// 300 distinct characters the US layout lacks, more than the slots of its
// spare keycodes (18 keycodes, 4 groups, 4 levels), in three orders: slots
// are bound in every group, and rebound while the receiver still reads.
const QByteArray MoreMissingThanSpareKeys = [] {
    const QString missing = QStringLiteral("€✓Ω“”—…←→∞≈≠≤≥ΣπλжзЖ") + range(0x4e00, 0x4e00 + 279);
    QString text;
    for (int i = 0; i < 3 * 300; ++i)
        text += missing.at((i * 7 + i / 300 * 13) % 300) + QString::number(i % 10);
    return text.toUtf8();
}();

// What every text window receives: Return is a line break there, and
// BackSpace deletes.
const std::vector<Typed> IntoTextWindows = {
    {PrintableAscii + "\r", PrintableAscii + "\n"},
    {Latin1Letters + "\n", Latin1Letters + "\n"},
    {MissingFromLayout + "\r\n", MissingFromLayout + "\n"},
    {"typoX\bo\r", "typoo\n"},
    {MoreMissingThanSpareKeys + "\r", MoreMissingThanSpareKeys + "\n"},
};

// A line, bexlow on it, and a receiver to give the keyboard focus to.
struct Session : TypingLine
{
    explicit Session(ReceiverWindow::Kind kind)
        : receiver(kind)
    {
        start();
    }
    void expectTyped(const std::vector<Typed> &texts) { TypingLine::expectTyped(receiver, texts, &keyboard); }
    bool keymapAsBefore() const { return keyboard.keymapText() == keymapBefore; }

    KeyboardState keyboard;
    const QByteArray keymapBefore = keyboard.keymapText();
    ReceiverWindow receiver;
};

// Tests that share one xterm and bexlow; they leave bexlow running.
class TypingIntoXterm : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { session = std::make_unique<Session>(ReceiverWindow::Kind::Xterm); }
    static void TearDownTestSuite() { session.reset(); }

    inline static std::unique_ptr<Session> session;
};

} // namespace

TEST_F(TypingIntoXterm, TextArrivesExactly)
{
    session->expectTyped({
        {PrintableAscii + " {ENTER} +a"}, // no key syntax
        {Latin1Letters},
        {MissingFromLayout},
        {MoreMissingThanSpareKeys},
        // Return reaches a raw terminal as CR; the xterm sends DEL for the
        // BackSpace key. NUL, SOH, DEL and C1 (U+0085) are not typed.
        {QByteArray("1\r2\n3\r\n4\t5\b6\x1b"
                    "7\0\x01\x7f\xc2\x85"
                    "8",
                    20),
         "1\r2\r3\r4\t5\x7f"
         "6\x1b"
         "78"},
        // A CR ending one burst and the LF starting the next type one Return.
        {"weight 12.5 kg\r"},
        {"\nnext\r\n", "next\r"},
    });
}

TEST_F(TypingIntoXterm, CapsLockOnAndAHeldShiftChangeNothing)
{
    session->keyboard.setCapsLock(true);
    session->expectTyped({{QStringLiteral("abc ABC ø Ø é É ẞ ß 1;").toUtf8()}});
    EXPECT_TRUE(session->keyboard.capsLockOn());
    // Typing holds the server's auto-repeat off, and only while it types.
    EXPECT_TRUE(session->keyboard.autoRepeatOn());
    session->keyboard.setCapsLock(false);

    const int shift = session->keyboard.holdKey(XK_Shift_L, true);
    session->expectTyped({{QStringLiteral("abc ABC 1! é").toUtf8()}});
    EXPECT_EQ(session->keyboard.keysDown(), std::vector<int>{shift});
    session->keyboard.holdKey(XK_Shift_L, false);
}

TEST_F(TypingIntoXterm, SpareKeysStayBoundAndAreEmptiedWhenBexlowEndsAndAtTheStartAfterAKill)
{
    // More missing characters than the first group of the spare keys holds.
    const QByteArray inTwoGroups = MissingFromLayout + range(0x4e00, 0x4e00 + 99).toUtf8();
    for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
        session->expectTyped({{inTwoGroups}});
        ASSERT_FALSE(session->keymapAsBefore()) << "the spare keys should be bound";
        EXPECT_TRUE(session->bexlow.stop(signal));
        // SIGKILL leaves the spare keys bound, for the next start to empty.
        EXPECT_EQ(session->keymapAsBefore(), signal != SIGKILL) << "signal " << signal;
        EXPECT_TRUE(session->keyboard.keysDown().empty());
        session->start();
        EXPECT_TRUE(session->keymapAsBefore()) << "started after signal " << signal;
    }
    session->expectTyped({{MissingFromLayout}});
}

TEST_F(TypingIntoXterm, SecondLayoutGroupAndALayoutChangeAreFollowed)
{
    // A second layout appears while bexlow is connected: its letters are
    // typed from their keys in group 2, and group 1 is in force afterwards.
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ru")}), 0);
    session->expectTyped({{QStringLiteral("привет Мир, hello Ω").toUtf8()}});
    EXPECT_EQ(session->keyboard.group(), 0);
    // With the second layout in force, the spare keys' other groups are
    // latched for one key each: German letters come from their keys in
    // group 2 (y and z swapped), and group 2 is in force afterwards.
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,de")}), 0);
    session->keyboard.lockGroup(1);
    session->expectTyped({{QStringLiteral("Größe yz ").toUtf8() + MoreMissingThanSpareKeys}});
    EXPECT_EQ(session->keyboard.group(), 1);
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us")}), 0);
    session->expectTyped({{QStringLiteral("ok Ж").toUtf8()}});
}

TEST(TypingIntoQtAndGtkWindows, ReceiveTheSameText)
{
    for (const auto kind : {ReceiverWindow::Kind::QtText, ReceiverWindow::Kind::GtkText}) {
        Session session(kind);
        session.expectTyped(IntoTextWindows);
        if (kind == ReceiverWindow::Kind::QtText) {
            session.keyboard.setCapsLock(true);
            session.expectTyped(
                {{QStringLiteral(" abc ABC ø Ø\r").toUtf8(), QStringLiteral(" abc ABC ø Ø\n").toUtf8()}});
            session.keyboard.setCapsLock(false);
        }
    }
}

// Chromium looks a key up with the keymap it holds when it gets to the
// event, which can be seconds after the key was sent, and it reloads the
// keymap a little after the event that follows a change. A test of its own
// (label "browser"): a browser is slow to start and to type into.
TEST(TypingIntoChromium, TextLongBurstsAndAScannerFlowWithPausesArriveExactly)
{
    Session session(ReceiverWindow::Kind::Chromium);
    session.expectTyped(IntoTextWindows);
    // Each burst and a Return, pausing after each; Return arrives as a line break.
    const auto expectBursts = [&session](const QList<QByteArray> &bursts,
                                         const std::function<int(qsizetype)> &pauseMs) {
        ASSERT_TRUE(session.keyboard.focus(session.receiver.window()));
        session.expectLinesArrive(session.receiver, bursts, pauseMs, session.receiver.text().size());
    };

    // 1,200 characters, a third of them 240 distinct ones that the layout
    // lacks, sent at once: the browser is seconds behind, and the slots of
    // every group of the spare keycodes are needed.
    const QString missing =
        QStringLiteral("ÆØÅæøåµ±°½¾×÷€“”→←東京カナПриветΩλßœŁłđ✓…∞≈∑") + range(0x5000, 0x5000 + 199);
    ASSERT_EQ(missing.size(), 240);
    QString burst;
    for (int i = 0; i < 1200; ++i)
        burst += i % 3 == 0 ? missing.at((i / 3 * 7) % 240) : QChar(u"abc 0123.-/XYZ"[i % 14]);
    expectBursts({burst.toUtf8()}, [](qsizetype) { return 0; });

    // 200 bursts, every other one starting with a character that the layout
    // lacks, with pauses from 30 ms to 0.8 s, while the slots are bound
    // again as the characters need them.
    const QStringList startMissing = QStringLiteral("Ærø 12#Øre#µm ±0,1#東京 カナ#€ 10,00#Łódź#Ωmega 5Ω#½ × ¾#"
                                                    "“quoted”#→ ok#Привет#Ελλάδα#ß-Größe#ñandú#ç ça#東京")
                                         .split(u'#');
    const QStringList startPlain =
        QStringLiteral("4006381333931#BX-2024/07+A#  12.345 kg#Crème brûlée#LOT 7 µg/l#x=y; a|b").split(u'#');
    QList<QByteArray> bursts;
    for (int i = 0; i < 200; ++i)
        bursts << (i % 2 ? startPlain.at((i * 5) % startPlain.size()) : startMissing.at((i * 3) % startMissing.size()))
                      .toUtf8();
    const int pausesMs[] = {30, 120, 450, 560, 650, 800};
    expectBursts(bursts, [&](qsizetype i) { return pausesMs[(i * 5 + i / 6) % 6]; });
}

TEST(TypingAvailability, WithoutAUsableDisplayOrAfterALostConnectionTypingFailsAndSaysWhy)
{
    for (const auto &[display, reason] :
         {std::pair{QByteArray(), "X11 display with the XTEST extension: DISPLAY is not set"},
          std::pair{QByteArray(":4097"), "cannot open display :4097"}}) {
        EnvironmentVariable variable("DISPLAY", display);
        XTestKeyInjector keys;
        expectError([&] { keys.checkAvailable(); }, OperationError::TypingUnavailable, QString::fromLatin1(reason));
        expectError([&] { keys.type(QStringLiteral("x")); }, OperationError::TypingUnavailable,
                    QString::fromLatin1(reason));
        // Text with nothing to type needs no display.
        EXPECT_NO_THROW(keys.type(QStringLiteral("\x01\x02")));
    }

    // A lost connection fails the call, and is opened again later: an X
    // server of the test's own, stopped under the injector.
    QProcess server;
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForReadyRead(20000));
    const QString display = QStringLiteral(":") + QString::fromLatin1(server.readLine().trimmed());
    EnvironmentVariable variable("DISPLAY", display.toLatin1());
    XTestKeyInjector keys;
    ASSERT_NO_THROW(keys.type(QStringLiteral("a")));
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    expectError([&] { keys.type(QStringLiteral("b")); }, OperationError::TypingFailed,
                QStringLiteral("connection to the X display %1 was lost").arg(display));
    // The next call connects again, and says why it cannot.
    expectError([&] { keys.type(QStringLiteral("c")); }, OperationError::TypingUnavailable,
                QStringLiteral("cannot open display ") + display);
}
