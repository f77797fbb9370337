// The whole bridge under stress: every byte value and key syntax. A pty is
// the line, the real bexlow types, and the receiver is a real X client.
#include "tests/receivers/typingtestsupport.h"
#include "tests/support/eventloop.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

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

// The key event recorder as the focused window.
class KeyEventRecorder
{
public:
    KeyEventRecorder()
    {
        m_process.start(QStringLiteral(BEXLOW_KEY_RECORDER), QStringList());
        processEventsUntil([&] { return (m_output += m_process.readAllStandardOutput()).contains('\n'); }, 10000);
        m_window = m_output.left(m_output.indexOf('\n')).mid(7).toULong(nullptr, 16);
        if (!m_output.startsWith("window ") || m_window == 0)
            throw std::runtime_error("the key event recorder did not show its window");
    }
    ~KeyEventRecorder()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }

    unsigned long window() const { return m_window; }

    // The events of the complete lines: "press|release keycode state keysym" in hex.
    std::vector<KeyEvent> events()
    {
        m_output += m_process.readAllStandardOutput();
        std::vector<KeyEvent> events;
        for (const QByteArray &line : m_output.left(m_output.lastIndexOf('\n')).split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() == 4) // not the window's line
                events.push_back({fields[0] == "press", fields[1].toUInt(nullptr, 16), fields[2].toUInt(nullptr, 16),
                                  fields[3].toULong(nullptr, 16)});
        }
        return events;
    }

    // The printable ASCII characters the presses make, as the receiver's
    // keymap at each event says.
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
    QProcess m_process;
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
