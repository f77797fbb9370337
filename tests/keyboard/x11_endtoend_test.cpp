// Typing on a private Xvfb. Bytes written to a pty reach the real bexlow
// program as its Com1, and it types them into the focused window: an xterm
// in raw mode, which records exactly the bytes the keys gave, or a Qt text
// window. XTestKeyInjector is used on its own only where its X connection
// is what is checked.
#include "keyboard/x11/xtestkeyinjector.h"
#include "tests/receivers/typingtestsupport.h"
#include "tests/support/eventloop.h"
#include "tests/support/expecterror.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// The characters first..last, as UTF-8.
QByteArray range(char32_t first, char32_t last)
{
    QString text;
    for (char32_t c = first; c <= last; ++c)
        text += QString::fromUcs4(&c, 1);
    return text.toUtf8();
}
const QByteArray PrintableAscii = range(0x20, 0x7e);
const QByteArray Latin1Letters = range(0xc0, 0xff);

// Characters the US layout lacks, an upper-case letter among them.
const QByteArray MissingFromLayout = QStringLiteral("€ ✓ 中文 Ω “quoted” Øresund ø ẞ Ł").toUtf8();

// 80 distinct characters the US layout lacks, several times more than its
// spare keycodes (18), in three orders: keycodes are rebound while the
// receiver still reads.
const QByteArray MoreMissingThanSpareKeys = [] {
    const QString missing = QString::fromUtf8("€✓Ω“”—…←→∞≈≠≤≥ΣπλжзЖ" + range(0x4e00, 0x4e00 + 59));
    QString text;
    for (int i = 0; i < 3 * 80; ++i)
        text += missing.at((i * 7 + i / 80 * 13) % 80) + QString::number(i % 10);
    return text.toUtf8();
}();

struct Typed
{
    QByteArray sent;
    QByteArray expected = sent;
};

// A line, bexlow on it, and a receiver to give the keyboard focus to.
struct Session
{
    explicit Session(ReceiverWindow::Kind kind)
        : receiver(kind)
    {
        config.mapPort(1, line.path());
        startTyping(bexlow, line.path());
    }

    // Writes each sent text to the line with the receiver focused, and checks
    // what the receiver got for it.
    void expectTyped(const std::vector<Typed> &texts)
    {
        for (const auto &[sent, expected] : texts) {
            ASSERT_TRUE(keyboard.focus(receiver.window()));
            const qsizetype mark = receiver.text().size();
            line.send(sent);
            receiver.waitForLength(mark, expected.size());
            const QByteArray got = receiver.text().mid(mark);
            EXPECT_EQ(got, expected) << "sent: " << sent.toStdString() << "\ngot:  " << got.toStdString();
        }
    }

    PtyPair line;
    TempConfig config;
    KeyboardState keyboard;
    const QByteArray keymapBefore = keyboard.keymapText();
    ReceiverWindow receiver;
    BexlowProcess bexlow;
};

// The tests share one xterm and bexlow; they leave bexlow running.
class TypingIntoXterm : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { session = std::make_unique<Session>(ReceiverWindow::Kind::Xterm); }
    static void TearDownTestSuite() { session.reset(); }
    static bool keymapAsBefore() { return session->keyboard.keymapText() == session->keymapBefore; }

    inline static std::unique_ptr<Session> session;
};

// Sets $DISPLAY (null: unsets it) for a scope.
struct DisplayVariable
{
    explicit DisplayVariable(const QByteArray &value)
    {
        value.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", value);
    }
    ~DisplayVariable() { qputenv("DISPLAY", saved); }
    const QByteArray saved = qgetenv("DISPLAY");
};

void expectError(const std::function<void()> &call, OperationError::Number number, const QString &reason)
{
    const OperationError error = errorOf(call);
    EXPECT_EQ(error.number(), number);
    EXPECT_TRUE(error.description().contains(reason)) << error.description().toStdString();
}

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
    session->keyboard.setCapsLock(false);

    const int shift = session->keyboard.holdKey(XK_Shift_L, true);
    session->expectTyped({{QStringLiteral("abc ABC 1! é").toUtf8()}});
    EXPECT_EQ(session->keyboard.keysDown(), std::vector<int>{shift});
    session->keyboard.holdKey(XK_Shift_L, false);
}

TEST_F(TypingIntoXterm, SpareKeysAreEmptiedOnceIdleWhenBexlowEndsAndAtTheStartAfterAKill)
{
    session->expectTyped({{MissingFromLayout}});
    EXPECT_FALSE(keymapAsBefore()) << "the spare keys should still be bound";
    EXPECT_TRUE(processEventsUntil(keymapAsBefore, 10000));
    EXPECT_TRUE(session->keyboard.keysDown().empty());
    for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
        session->expectTyped({{MissingFromLayout}});
        // Well within the idle time after which the spare keys are emptied.
        ASSERT_FALSE(keymapAsBefore());
        EXPECT_TRUE(session->bexlow.stop(signal));
        // SIGKILL leaves the spare keys bound, for the next start to empty.
        EXPECT_EQ(keymapAsBefore(), signal != SIGKILL) << "signal " << signal;
        EXPECT_TRUE(session->keyboard.keysDown().empty());
        startTyping(session->bexlow, session->line.path());
        EXPECT_TRUE(keymapAsBefore()) << "started after signal " << signal;
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
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us")}), 0);
    session->expectTyped({{QStringLiteral("ok Ж").toUtf8()}});
}

TEST(TypingIntoQtWindow, ReceivesTheSameText)
{
    Session session(ReceiverWindow::Kind::QtText);
    // The Qt window shows Return as a line break, and BackSpace deletes.
    session.expectTyped({
        {PrintableAscii + "\r", PrintableAscii + "\n"},
        {Latin1Letters + "\n", Latin1Letters + "\n"},
        {MissingFromLayout + "\r\n", MissingFromLayout + "\n"},
        {"tab\there typoX\bo", "tab\there typoo"},
    });
    session.keyboard.setCapsLock(true);
    session.expectTyped({{QStringLiteral(" abc ABC ø Ø\r").toUtf8(), QStringLiteral(" abc ABC ø Ø\n").toUtf8()}});
    session.keyboard.setCapsLock(false);
}

TEST(TypingIntoGtkWindow, ReceivesTheSameText)
{
    Session session(ReceiverWindow::Kind::GtkText);
    session.expectTyped({
        {PrintableAscii + "\r", PrintableAscii + "\n"},
        {MissingFromLayout + "\r", MissingFromLayout + "\n"},
        {MoreMissingThanSpareKeys + "\r", MoreMissingThanSpareKeys + "\n"},
    });
}

// Chromium looks a key up with the keymap it holds when it gets to the
// event, which can be seconds after the key was sent, and it reloads the
// keymap a little after the event that follows a change. These run as their
// own test (label "browser"): a browser is slow to start and to type into.
class TypingIntoChromium : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { session = std::make_unique<Session>(ReceiverWindow::Kind::Chromium); }
    static void TearDownTestSuite() { session.reset(); }

    // Sends each burst, pausing after it, then compares what the text area
    // received line by line; Return arrives as a line break.
    static void expectBursts(const QStringList &bursts, const std::function<int(int)> &pauseMs)
    {
        ASSERT_TRUE(session->keyboard.focus(session->receiver.window()));
        const qsizetype mark = session->receiver.text().size();
        QByteArray expected;
        for (int i = 0; i < bursts.size(); ++i) {
            session->line.send(bursts[i].toUtf8() + "\r");
            expected += bursts[i].toUtf8() + "\n";
            processEventsFor(pauseMs(i));
        }
        session->receiver.waitForLength(mark, expected.size(), 120000);
        const QList<QByteArray> got = session->receiver.text().mid(mark).split('\n');
        QStringList wrong;
        for (int i = 0; i < bursts.size(); ++i) {
            const QString line = i < got.size() ? QString::fromUtf8(got[i]) : QStringLiteral("(nothing)");
            if (line != bursts[i])
                wrong << bursts[i] + QStringLiteral(" -> ") + line;
        }
        EXPECT_TRUE(wrong.isEmpty()) << wrong.size() << " of " << bursts.size() << " bursts wrong:\n"
                                     << wrong.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(got.size(), bursts.size() + 1) << "lines received";
    }

    inline static std::unique_ptr<Session> session;
};

TEST_F(TypingIntoChromium, TextArrivesExactly)
{
    session->expectTyped({
        {PrintableAscii + "\r", PrintableAscii + "\n"},
        {Latin1Letters + "\r", Latin1Letters + "\n"},
        {MissingFromLayout + "\r", MissingFromLayout + "\n"},
        {"typoX\bo\r", "typoo\n"},
    });
}

TEST_F(TypingIntoChromium, LongBurstWithMoreMissingCharactersThanSpareKeys)
{
    // 1,200 characters, a third of them 40 distinct ones that the layout
    // lacks, sent at once: the browser is seconds behind.
    const QString missing = QStringLiteral("ÆØÅæøåµ±°½¾×÷€“”→←東京カナПриветΩλßœŁłđ✓…∞≈∑");
    ASSERT_EQ(missing.size(), 40);
    QString burst;
    for (int i = 0; i < 1200; ++i)
        burst += i % 3 == 0 ? missing.at((i / 3 * 7) % 40) : QChar(u"abc 0123.-/XYZ"[i % 14]);
    expectBursts({burst}, [](int) { return 0; });
}

TEST_F(TypingIntoChromium, ScannerFlowAcrossTheIdleRestore)
{
    // 200 bursts, every other one starting with a character that the layout
    // lacks, with pauses on both sides of the idle time after which the
    // spare keys are emptied.
    const QStringList startMissing = {
        QStringLiteral("Ærø 12"),   QStringLiteral("Øre"),   QStringLiteral("µm ±0,1"),  QStringLiteral("東京 カナ"),
        QStringLiteral("€ 10,00"),  QStringLiteral("Łódź"),  QStringLiteral("Ωmega 5Ω"), QStringLiteral("½ × ¾"),
        QStringLiteral("“quoted”"), QStringLiteral("→ ok"),  QStringLiteral("Привет"),   QStringLiteral("Ελλάδα"),
        QStringLiteral("ß-Größe"),  QStringLiteral("ñandú"), QStringLiteral("ç ça"),     QStringLiteral("東京")};
    const QStringList startPlain = {QStringLiteral("4006381333931"), QStringLiteral("BX-2024/07+A"),
                                    QStringLiteral("  12.345 kg"),   QStringLiteral("Crème brûlée"),
                                    QStringLiteral("LOT 7 µg/l"),    QStringLiteral("x=y; a|b")};
    QStringList bursts;
    for (int i = 0; i < 200; ++i)
        bursts << (i % 2 ? startPlain.at((i * 5) % startPlain.size()) : startMissing.at((i * 3) % startMissing.size()));
    const int pausesMs[] = {30, 120, 450, 560, 650, 800};
    expectBursts(bursts, [&](int i) { return pausesMs[(i * 5 + i / 6) % 6]; });
}

TEST(TypingAvailability, WithoutAUsableDisplayTypingIsUnavailableAndSaysWhy)
{
    for (const auto &[display, reason] :
         {std::pair{QByteArray(), "X11 display with the XTEST extension: DISPLAY is not set"},
          std::pair{QByteArray(":4097"), "cannot open display :4097"}}) {
        DisplayVariable variable(display);
        XTestKeyInjector keys;
        expectError([&] { keys.checkAvailable(); }, OperationError::TypingUnavailable, QString::fromLatin1(reason));
        expectError([&] { keys.type(QStringLiteral("x")); }, OperationError::TypingUnavailable,
                    QString::fromLatin1(reason));
        // Text with nothing to type needs no display.
        EXPECT_NO_THROW(keys.type(QStringLiteral("\x01\x02")));
    }
}

TEST(TypingAvailability, LostConnectionFailsTheCallAndIsOpenedAgainLater)
{
    // An X server of the test's own, to be stopped under the injector.
    QProcess server;
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForReadyRead(20000));
    const QString display = QStringLiteral(":") + QString::fromLatin1(server.readLine().trimmed());
    DisplayVariable variable(display.toLatin1());
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
