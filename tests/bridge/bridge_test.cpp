// The whole bridge under stress: every byte value and key syntax. A pty is
// the line, the real bexlow types, and the receiver is a real X client.
#include "tests/receivers/typingtestsupport.h"
#include "tests/support/eventloop.h"
#include "tests/support/helpers.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <QRegularExpression>
#include <QThread>

#include <X11/keysym.h>

#include <gtest/gtest.h>

namespace {

// The core protocol's modifier bits (X11/X.h, whose macros clash with the
// test framework) that would make a key a shortcut: Control (1 << 2), Mod1
// (Alt, 1 << 3), Mod3 (1 << 5) and Mod4 (Super, 1 << 6).
constexpr unsigned ShortcutModifiers = (1u << 2) | (1u << 3) | (1u << 5) | (1u << 6);

struct KeyEvent
{
    bool press = false;
    unsigned keycode = 0;
    unsigned state = 0;
    unsigned long keysym = 0;
};

// xev as the focused window: it prints every key event with the modifier
// state and the keysym the keymap in force gives it, as any receiver sees it.
class KeyEventRecorder
{
public:
    KeyEventRecorder()
    {
        // Its output is flushed after each event: mapping the window is the first.
        m_xev.start(QStringLiteral("xev"), QStringList{QStringLiteral("-event"), QStringLiteral("keyboard"),
                                                       QStringLiteral("-event"), QStringLiteral("structure")});
        processEventsUntil([&] { return (m_output += m_xev.readAllStandardOutput()).contains('\n'); }, 10000);
        m_window = QRegularExpression(QStringLiteral("^Outer window is 0x(\\w+)"))
                       .match(QString::fromLatin1(m_output))
                       .captured(1)
                       .toULong(nullptr, 16);
        if (m_window == 0)
            throw std::runtime_error("xev did not show its window");
    }
    ~KeyEventRecorder() { stopProcess(m_xev); }

    unsigned long window() const { return m_window; }

    std::vector<KeyEvent> events()
    {
        static const QRegularExpression event(
            QStringLiteral("Key(Press|Release) event.*?state 0x(\\w+), keycode (\\d+) \\(keysym 0x(\\w+),"),
            QRegularExpression::DotMatchesEverythingOption);
        m_output += m_xev.readAllStandardOutput();
        std::vector<KeyEvent> events;
        for (const QRegularExpressionMatch &match : event.globalMatch(QString::fromLatin1(m_output)))
            events.push_back({match.captured(1) == QLatin1String("Press"), match.captured(3).toUInt(),
                              match.captured(2).toUInt(nullptr, 16), match.captured(4).toULong(nullptr, 16)});
        return events;
    }

    // The printable ASCII characters the presses make.
    QByteArray asciiText()
    {
        QByteArray text;
        for (const KeyEvent &event : events()) {
            if (event.press && event.keysym >= 0x20 && event.keysym <= 0x7e)
                text += char(event.keysym);
        }
        return text;
    }

private:
    QProcess m_xev;
    QByteArray m_output;
    unsigned long m_window = 0;
};

TEST(Bridge, NoByteSequenceTypesAShortcut)
{
    PtyPair line;
    TempConfig config;
    config.mapPort(1, line.path());
    KeyEventRecorder recorder;
    BexlowProcess bexlow;
    startTyping(bexlow, line.path());
    KeyboardState keyboard;
    ASSERT_TRUE(keyboard.focus(recorder.window()));

    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += char(b);
    // Which keys the text becomes is the typing tests' concern; here only
    // that all of it was typed, up to the end mark, and never as a shortcut.
    line.send(everyByte);
    QThread::msleep(300); // two bursts, two runs of the receive handler
    line.send("%{F4}^w+{TAB}~{ENTER}^%{DEL}+^{ESC}(~){}[]!@#\r<end>");
    EXPECT_TRUE(processEventsUntil([&] { return recorder.asciiText().endsWith("<end>"); }, 30000))
        << recorder.asciiText().constData();
    processEventsFor(500); // anything extra shows now

    EXPECT_TRUE(recorder.asciiText().endsWith("<end>"));
    for (const KeyEvent &event : recorder.events()) {
        EXPECT_EQ(event.state & ShortcutModifiers, 0u) << "key " << event.keycode << " with state " << event.state;
        for (const unsigned long modifier : {XK_Control_L, XK_Control_R, XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R,
                                             XK_Super_L, XK_Super_R, XK_Hyper_L, XK_Hyper_R})
            EXPECT_NE(event.keysym, modifier) << "key " << event.keycode;
    }
    EXPECT_TRUE(keyboard.keysDown().empty());
}

} // namespace
