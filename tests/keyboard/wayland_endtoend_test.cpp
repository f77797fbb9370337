// Typing on a headless sway of the test's own: the real bexlow on a pty types
// into foot, a Qt window and Chromium running natively, an xterm under Xwayland.
#include "keyboard/wlroots/virtualkeyboardinjector.h"
#include "tests/receivers/receiverwindow.h"
#include "tests/receivers/waylanddesktop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

const QByteArray Mixed = QStringLiteral("Crème brûlée, naïve façade; 12,50 €; Øresund ø; Привет мир; 中文 日本語; 😀; "
                                        "e\u0301 stays unnormalised")
                             .toUtf8();
const QByteArray KeySyntax = "^w %{F4} +{TAB} ~{ENTER} ^c ^v %{F} {ESC}";

// Every byte value in one burst, and what a raw terminal gets for it: bytes
// that are not UTF-8 are taken as Latin-1, CR and LF are Return (\r),
// BackSpace gives DEL, and other C0, DEL and C1 controls are not typed.
const QByteArray AllBytes = range(0, 0xff).toLatin1();
const QByteArray AllBytesInATerminal =
    (QStringLiteral("\x7f\t\r\r\x1b") + range(0x20, 0x7e) + range(0xa0, 0xff)).toUtf8();

} // namespace

TEST(WaylandTyping, FirstKeysOfANewVirtualKeyboardThenBexlowIntoNativeWindows)
{
    // The seat has no keyboard until the injector makes one, and a client
    // busy for a moment (stopped here for 100 ms) asks for its keyboard only
    // after that: the first keys must still reach it.
    WaylandDesktop desktop(WaylandDesktop::Compositor::Sway);
    {
        ReceiverWindow foot(ReceiverWindow::Kind::Foot);
        QByteArray expected;
        for (int i = 0; i < 3; ++i) {
            ::kill(pid_t(foot.pid()), SIGSTOP);
            std::thread resume([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                ::kill(pid_t(foot.pid()), SIGCONT);
            });
            VirtualKeyboardInjector keys;
            keys.checkAvailable();
            keys.type(QStringLiteral("k%1 ").arg(i));
            resume.join();
            expected += QStringLiteral("k%1 ").arg(i).toUtf8();
            foot.waitForLength(0, expected.size(), 5000);
        }
        EXPECT_EQ(foot.text(), expected);
    }
    TypingLine typing;
    typing.start();
    EXPECT_EQ(typing.bexlow.errorOutput(), QByteArray()) << "no notice where the virtual keyboard is offered";
    {
        ReceiverWindow foot(ReceiverWindow::Kind::Foot);
        typing.expectTyped(foot, {{"x"}, // the first key after start
                                  {Mixed + "\r", Mixed + "\r"},
                                  {"1\r2\n3\r\n4\t5\b6\x1b", "1\r2\r3\r4\t5\x7f"
                                                             "6\x1b"},
                                  {KeySyntax},
                                  {AllBytes, AllBytesInATerminal}});
    }
    {
        ReceiverWindow qt(ReceiverWindow::Kind::QtText);
        typing.expectTyped(
            qt, {{Mixed + "\r\n", Mixed + "\n"},
                 {"tab\there typoX\bo\r", "tab\there typoo\n"},
                 {KeySyntax},
                 // The BackSpace among the byte values takes the x; the
                 // window's text shows a no-break space as a space.
                 {"x" + AllBytes,
                  AllBytesInATerminal.mid(1).replace('\r', '\n').replace("\x1b", "").replace("\xc2\xa0", " ")}});
        EXPECT_EQ(qt.modifiers(), "0") << "a key came with a modifier";
    }
    ReceiverWindow chromium(ReceiverWindow::Kind::Chromium);
    // Scanner-like bursts, then one long mixed burst: several keymaps that
    // the browser must apply before the keys that follow them.
    std::vector<Typed> bursts(10, {"4006381333931\r", "4006381333931\n"});
    bursts.push_back({KeySyntax});
    // Chromium drops every character beyond U+FFFF that comes as a key (its
    // key events carry one UTF-16 unit).
    const QByteArray mixed = QString::fromUtf8(Mixed).remove(QStringLiteral("😀")).toUtf8();
    bursts.push_back({(mixed + "\r").repeated(20), (mixed + "\n").repeated(20)});
    const QByteArray wide = [] {
        QString text;
        for (char32_t c = 0x4e00; c < 0x4e00 + 400; ++c)
            text += QString::fromUcs4(&c, 1) + QLatin1Char(c % 7 ? ' ' : '\n');
        return text.toUtf8();
    }();
    bursts.push_back({wide});
    typing.expectTyped(chromium, bursts);
    EXPECT_EQ(chromium.modifiers(), "0") << "a key came with a modifier";
}

TEST(WaylandTyping, ForcedX11ThenIntoNativeThenXwaylandThenNativeWindowsAlsoThroughPauses)
{
    WaylandDesktop desktop(WaylandDesktop::Compositor::SwayWithXwayland);
    {
        // Forced X11 first: Xwayland's keymap follows the last keyboard used,
        // a virtual keyboard's included.
        TypingLine typing;
        typing.config.write(QStringLiteral("bexlow"),
                            typing.config.read(QStringLiteral("bexlow")) + "\n[Typing]\nBackend=X11\n");
        typing.start();
        EXPECT_TRUE(typing.bexlow.errorOutput().contains("native Wayland windows will not receive keys"));
        ReceiverWindow xterm(ReceiverWindow::Kind::Xterm);
        // Xwayland's keymap from sway leaves no keycode empty, so XTEST can type
        // only what the layout has: no spare keys for other characters.
        typing.expectTyped(xterm, {{"Order 4006381333931, 12.5 kg\r\n", "Order 4006381333931, 12.5 kg\r"},
                                   {KeySyntax},
                                   {"a\tb\bc\x1b\r", "a\tb\x7f"
                                                     "c\x1b\r"}});
    }
    // sway 1.12's Xwayland types a virtual keyboard's keys on its own keymap:
    // X11 programs get their text through XTEST instead, and no key may be
    // lost where the focus moves between the two kinds of window, nor while
    // Xwayland or a native receiver is paused (each keeps its window).
    TypingLine typing;
    typing.start();
    ReceiverWindow foot(ReceiverWindow::Kind::Foot);
    typing.expectTyped(foot, {{"native Ä1\r"}});
    ReceiverWindow xterm(ReceiverWindow::Kind::Xterm);
    typing.expectTyped(xterm, {{"ABC abc 123\r"},
                               {"Order 4006381333931, 12.5 kg\r"},
                               {Mixed + "\r", Mixed + "\r"},
                               {KeySyntax},
                               {"Bookkeeper 1000 AAAA ßß\r"},
                               {AllBytes, AllBytesInATerminal}});
    ASSERT_NE(desktop.xwaylandPid(), 0);
    typing.expectTypedThroughAPause(xterm, desktop.xwaylandPid());
    ReceiverWindow foot2(ReceiverWindow::Kind::Foot);
    typing.expectTyped(foot2, {{"native Ä2\r"}});
    typing.expectTypedThroughAPause(foot2, foot2.pid());
}

TEST(WaylandTyping, ACompositorWithoutTheVirtualKeyboardIsNamed)
{
    WaylandDesktop desktop(WaylandDesktop::Compositor::Weston);
    TypingLine typing;
    typing.start();
    const QByteArray said = typing.bexlow.errorOutput();
    // It shows the message in a box; a signal still ends it.
    EXPECT_TRUE(typing.bexlow.stop(SIGTERM));
    EXPECT_TRUE(said.contains("offers no virtual keyboard: typing goes through Xwayland")) << said.toStdString();
    EXPECT_TRUE(said.contains("typing unavailable: tried the Wayland virtual keyboard (the Wayland compositor at "
                              + qgetenv("WAYLAND_DISPLAY")
                              + " offers no virtual keyboard (zwp_virtual_keyboard_manager_v1)) and XTEST through "
                                "Xwayland (typing needs an X11 display with the XTEST extension: DISPLAY is not set)"))
        << said.toStdString();
}
