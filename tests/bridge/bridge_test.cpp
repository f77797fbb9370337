// The whole bridge under stress: every byte value and key syntax, and the
// control character table. A pty is the line, the real bexlow types, and the
// receiver is a real X client.
#include "store/settingslayout.h"
#include "tests/receivers/receiverwindow.h"
#include "tests/support/eventloop.h"
#include "tests/support/helpers.h"

#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// The core protocol's modifier bits (X11/X.h clashes with the test framework)
// that make a key a shortcut: Control, Mod1 (Alt), Mod3 and Mod4 (Super).
constexpr unsigned ShortcutModifiers = (1u << 2) | (1u << 3) | (1u << 5) | (1u << 6);

// xev as the focused window: it prints every key event with the modifier
// state and the keysym the keymap in force gives it, as any receiver sees
// it, and flushes its output after each event, mapping its window first.
class KeyEventRecorder
{
public:
    KeyEventRecorder()
    {
        m_xev.start(QStringLiteral("xev"), QStringList{QStringLiteral("-event"), QStringLiteral("keyboard"),
                                                       QStringLiteral("-event"), QStringLiteral("structure")});
        processEventsUntil([&] { return output().contains(u'\n'); }, 10000);
        // "Outer window is 0x..., inner window is 0x..."
        m_window = m_output.section(u' ', 3, 3).remove(u',').toULong(nullptr, 0);
        if (m_window == 0)
            throw std::runtime_error("xev did not show its window");
    }
    ~KeyEventRecorder() { stopProcess(m_xev); }

    unsigned long window() const { return m_window; }
    // Each key event: Press or Release, the modifier state, the keysym and its name.
    QRegularExpressionMatchIterator events()
    {
        static const QRegularExpression event(
            QStringLiteral("Key(Press|Release) event.*?state 0x(\\w+), keycode \\d+ \\(keysym 0x(\\w+), ([^)]*)\\)"),
            QRegularExpression::DotMatchesEverythingOption);
        return event.globalMatch(output());
    }
    // The printable ASCII characters the presses make.
    QString asciiText()
    {
        QString text;
        for (const QRegularExpressionMatch &event : events()) {
            const uint keysym = event.captured(3).toUInt(nullptr, 16);
            if (event.captured(1) == QLatin1String("Press") && keysym >= 0x20 && keysym <= 0x7e)
                text += QChar(keysym);
        }
        return text;
    }

private:
    const QString &output() { return m_output += QString::fromLatin1(m_xev.readAllStandardOutput()); }

    QProcess m_xev;
    QString m_output;
    unsigned long m_window = 0;
};

TEST(Bridge, NoByteSequenceTypesAShortcut)
{
    TypingLine typing;
    KeyEventRecorder recorder;
    typing.start();
    KeyboardState keyboard;
    ASSERT_TRUE(keyboard.focus(recorder.window()));

    // Which keys the text becomes is the typing tests' concern; here only
    // that all of it was typed, up to the end mark, and never as a shortcut.
    typing.line.send(range(0, 255).toLatin1());
    QThread::msleep(300); // two bursts, two runs of the receive handler
    typing.line.send("%{F4}^w+{TAB}~{ENTER}^%{DEL}+^{ESC}(~){}[]!@#\r<end>");
    EXPECT_TRUE(processEventsUntil([&] { return recorder.asciiText().endsWith(QLatin1String("<end>")); }, 30000))
        << recorder.asciiText().toStdString();
    processEventsFor(500); // anything extra shows now

    EXPECT_TRUE(recorder.asciiText().endsWith(QLatin1String("<end>")));
    const QRegularExpression modifierKey(QStringLiteral("^(Control|Alt|Meta|Super|Hyper)_[LR]$"));
    for (const QRegularExpressionMatch &event : recorder.events()) {
        EXPECT_EQ(event.captured(2).toUInt(nullptr, 16) & ShortcutModifiers, 0u) << event.captured().toStdString();
        EXPECT_FALSE(modifierKey.match(event.captured(4)).hasMatch()) << event.captured().toStdString();
    }
    EXPECT_TRUE(keyboard.keysDown().empty());
}

TEST(Bridge, ControlCharacterTableIsTypedAndWhatIsNotTypedOrNotUsableIsNamed)
{
    const QByteArray gs1 = "]d20109501101530003\x1d"
                           "17140704\x1d"
                           "10AB-123\r";
    struct Row
    {
        QByteArray table;
        std::vector<Typed> texts;
        QStringList linesHold; // each of bexlow's stderr lines holds its text
    };
    const std::vector<Row> rows = {
        {"", {{gs1, "]d201095011015300031714070410AB-123\r"}}, {"not typed: GS (U+001D) ×2; see"}},
        {"[ControlCharacters]\nGS=|\nEOT=\nGSX=?\nRS=\"a\\x1eb\"\nUS=" + QByteArray(65, 'u') + "\ngs=~\n",
         {{"\x04" + gs1, "]d20109501101530003|17140704|10AB-123\r"}, {QByteArray(1000, '\x1f') + "end\r", "end\r"}},
         {"[ControlCharacters] \"GSX=?\" ignored: no control character has that name",
          "\"RS=a\\x1eb\" ignored: the text to type holds the control character RS (U+001E)",
          "ignored: the text to type has 65 characters, more than 64", "\"gs=~\" ignored: GS (U+001D) is listed before",
          "not typed: US (U+001F) ×1000; see \"Control characters and GS1 barcodes\" in the README"}},
    };
    ReceiverWindow receiver(ReceiverWindow::Kind::Xterm);
    KeyboardState keyboard;
    for (const Row &row : rows) {
        TypingLine typing;
        typing.config.write(SettingsLayout::ApplicationTitle,
                            typing.config.read(SettingsLayout::ApplicationTitle) + row.table);
        const QByteArray settings = typing.config.read(SettingsLayout::ApplicationTitle);
        typing.start();
        typing.expectTyped(receiver, row.texts, &keyboard);

        QStringList lines = QString::fromUtf8(typing.bexlow.errorOutput()).split(u'\n');
        lines = lines.filter(QRegularExpression(QStringLiteral("^bexlow: ")));
        ASSERT_EQ(lines.size(), row.linesHold.size()) << lines.join(u'\n').toStdString();
        for (qsizetype i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(lines[i].contains(row.linesHold[i])) << lines[i].toStdString();
        EXPECT_EQ(typing.config.read(SettingsLayout::ApplicationTitle), settings);
    }
}

} // namespace
