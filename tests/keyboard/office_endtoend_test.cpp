// Typing into receivers with keyboard handling of their own, on a private
// Xvfb with openbox and under the Xwayland of sway, KWin and mutter: Calc on
// its own X11 toolkit (which takes a release and a press at the same server
// millisecond for auto-repeat) and on GTK 3, Swing, and Notepad under Wine.
#include "tests/receivers/privatedesktop.h"
#include "tests/receivers/receiverwindow.h"
#include "tests/receivers/waylanddesktop.h"
#include "tests/support/eventloop.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>

namespace {

// Scans of the words in turn, numbered so that none begins another (Calc's
// AutoInput would complete it); Scans has characters the US layout lacks.
QList<QByteArray> scans(const QStringList &words, int count)
{
    QList<QByteArray> scans;
    for (int i = 0; i < count; ++i)
        scans << QStringLiteral("Lot %1 %2").arg(i, 3, 10, QLatin1Char('0')).arg(words.at(i % words.size())).toUtf8();
    return scans;
}
const QList<QByteArray> Scans = scans({"Kaffee 1000", "AAAA-BB", "Hello 0077", "Crème brûlée", "Straße 11", "ÆØÅ €€",
                                       "Müller 2200", "Œuvre ññ", "Zoo 9999 éé", "Ærø ÅÅ 33"},
                                      200);
const QList<QByteArray> AsciiScans =
    scans({"X1000", "AAAA-BB", "Hello", "Bookkeeper 1000", "Zoo 9999", "aa AA aA"}, 100);

// Sends the scans one by one, with a scanner's pause between two and now
// and then a longer one, and checks each arrived.
void expectScansArrive(TypingLine &typing, const ReceiverWindow &receiver, const QList<QByteArray> &scans = Scans)
{
    typing.expectLinesArrive(receiver, scans, [](qsizetype i) { return i % 50 == 49 ? 1500 : 80; });
}

// Calc on its own toolkit and on GTK 3, and Swing, in turn, activated by
// openbox; one bexlow types into each.
TEST(TypingIntoOwnKeyHandling, ScansArriveExactly)
{
    QProcess windowManager;
    windowManager.start(QStringLiteral("openbox"), {});
    TypingLine typing;
    typing.start();
    for (const auto &[kind, name] : {std::pair{ReceiverWindow::Kind::CalcX11, "Calc, own toolkit"},
                                     {ReceiverWindow::Kind::CalcGtk, "Calc, GTK 3"},
                                     {ReceiverWindow::Kind::Swing, "Swing"}}) {
        SCOPED_TRACE(name);
        std::unique_ptr<const ReceiverWindow> receiver;
        try {
            receiver = std::make_unique<const ReceiverWindow>(kind);
        } catch (const std::runtime_error &error) {
            // Now and then the Java window does not come up after the Calc
            // cases (cause not found yet); nothing of bexlow runs before it is
            // there, so it gets a second start.
            if (kind != ReceiverWindow::Kind::Swing)
                throw;
            std::cerr << "starting the receiver again: " << error.what() << "\n";
            receiver = std::make_unique<const ReceiverWindow>(kind);
        }
        ASSERT_TRUE(receiver->activate()) << "the window manager did not activate the receiver";
        expectScansArrive(typing, *receiver);
    }
    stopProcess(windowManager);
}

TEST(TypingUnderXwayland, CalcOnItsOwnToolkitGetsEveryScan)
{
    WaylandDesktop desktop(WaylandDesktop::Compositor::SwayWithXwayland);
    TypingLine typing;
    typing.start();
    const ReceiverWindow receiver(ReceiverWindow::Kind::CalcX11);
    expectScansArrive(typing, receiver);
}

// Calc on its own toolkit, activated by the desktop's window manager under
// its Xwayland, gets the ASCII scans from a bexlow of its own.
void expectCalcUnderXwaylandGetsAsciiScans(const char *desktop)
{
    TypingLine typing;
    typing.start();
    const ReceiverWindow receiver(ReceiverWindow::Kind::CalcX11);
    ASSERT_TRUE(receiver.activate()) << desktop << " did not activate the receiver";
    expectScansArrive(typing, receiver, AsciiScans);
}

TEST(TypingUnderXwayland, CalcOnItsOwnToolkitGetsEveryScanThroughKWinsFakeInput)
{
    PrivateSession session;
    KWinDesktop desktop(QStringLiteral("us"), KWinDesktop::FakeInput::Granted);
    expectCalcUnderXwaylandGetsAsciiScans("KWin");
}

// Through mutter's remote desktop service, and through the desktop portal
// where KWin refuses bexlow its fake input.
TEST(TypingUnderXwayland, CalcOnItsOwnToolkitGetsEveryScanThroughMutter)
{
    PrivateSession session;
    MutterDesktop desktop(session, QStringLiteral("us"), {}, MutterDesktop::Receiver::NoneButXwayland);
    expectCalcUnderXwaylandGetsAsciiScans("mutter");
}

TEST(TypingUnderXwayland, CalcOnItsOwnToolkitGetsEveryScanThroughThePortal)
{
    PrivateSession session;
    KWinDesktop desktop(QStringLiteral("us"), KWinDesktop::FakeInput::NotGranted);
    KdePortal portal(session);
    expectCalcUnderXwaylandGetsAsciiScans("KWin");
}

// After the same bexlow typed 59 characters the layout lacks into an xterm:
// the spare keys Wine can type from hold other characters when Notepad
// starts, and are bound anew while Notepad may still translate earlier keys.
TEST(TypingUnderWine, NotepadGetsEveryScanAfterOtherCharactersWereTyped)
{
    QProcess windowManager;
    windowManager.start(QStringLiteral("openbox"), {});
    TypingLine typing;
    typing.start();
    {
        const ReceiverWindow xterm(ReceiverWindow::Kind::Xterm);
        ASSERT_TRUE(xterm.activate()) << "the window manager did not activate the xterm";
        typing.expectTyped(xterm, {{(QStringLiteral("ñøŒüÅ€ØÆßéûè") + range(0x100, 0x12f)).toUtf8()}});
    }
    const ReceiverWindow receiver(ReceiverWindow::Kind::WineNotepad);
    EXPECT_TRUE(receiver.activate()) << "the window manager did not activate Notepad";
    expectScansArrive(typing, receiver);
    stopProcess(windowManager);
}

} // namespace
