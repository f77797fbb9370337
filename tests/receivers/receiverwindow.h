#pragma once

#include "tests/receivers/typingtestsupport.h"
#include "tests/support/helpers.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <vector>

// A window that receives typed text and records it in a file. Started
// while a WaylandDesktop lives (WAYLAND_DISPLAY set), it runs natively on
// Wayland where it can, else on the X display:
//  - Xterm: an xterm (under Xwayland on Wayland) whose terminal is raw
//    (stty raw -echo) and whose shell appends every byte to the file, so
//    the file holds exactly the bytes the terminal sent for the keys
//    (Return arrives as \r);
//  - Foot: the same in foot, a native Wayland terminal;
//  - QtText: the Qt plain text window (bexlow-qt-text-receiver), on Qt's
//    xkbcommon keyboard handling; the file is its text;
//  - GtkText: the same in GTK 3 (bexlow-gtk-text-receiver), on GDK's
//    keymap; X11 only;
//  - Chromium: a text area on a page in Chromium (chromiumreceiver.py); the
//    file is its value;
//  - CalcX11, CalcGtk: a new sheet in LibreOffice Calc on its own X11
//    toolkit or on GTK 3 (calcreceiver.py); the file is the texts of column
//    A, each followed by \n; X11 only;
//  - Swing: a Java Swing text area (SwingReceiver.java); the file is its
//    text; X11 only;
//  - WineNotepad: Notepad under Wine; its text is read through the
//    clipboard, with \r\n as \n, once no key came for a second; X11 only.
// The last four take the focus only through a window manager (activate()).
class ReceiverWindow
{
public:
    enum class Kind { Xterm, Foot, QtText, GtkText, Chromium, CalcX11, CalcGtk, Swing, WineNotepad };

    // Starts the window and waits until it is shown (on Wayland: until it
    // has the focus the compositor gives it). Throws when it is not.
    explicit ReceiverWindow(Kind kind);
    ~ReceiverWindow() { stopProcess(m_process); }

    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    // The X window (0 on Wayland), for KeyboardState::focus().
    unsigned long window() const { return m_window; }
    // Has the window manager activate the window; false if it did not.
    bool activate() const;
    QByteArray text() const;
    // How many key presses came with a modifier (QtText and Chromium only).
    QByteArray modifiers() const { return readFile(m_dir.filePath(QStringLiteral("mods"))).trimmed(); }
    // Polls until at least `length` bytes arrived after the first `mark` and
    // nothing more came for a moment (so that extra characters are seen
    // too), or until the timeout: receivers on a loaded machine can be slow.
    void waitForLength(qsizetype mark, qsizetype length, int timeoutMs = 30000) const;

private:
    QByteArray notepadText() const;

    Kind m_kind;
    QTemporaryDir m_dir;
    QProcess m_process;
    unsigned long m_window = 0;
};

// A text sent on the line, and what the receiver gets for it.
struct Typed
{
    QByteArray sent;
    QByteArray expected = sent;
};

// A pty that the test's settings folder maps to Com1, and bexlow for it.
struct TypingLine
{
    TypingLine() { config.mapPort(1, line.path()); }
    void start() { startTyping(bexlow, line.path()); }
    // Sends each text and checks what the receiver got for it. With a
    // keyboard, the receiver is given the focus before each text (Xvfb has
    // no window manager to do it).
    void expectTyped(const ReceiverWindow &receiver, const std::vector<Typed> &texts,
                     KeyboardState *keyboard = nullptr);
    // Sends 6,000 characters and stops `paused` (the receiver, or the X
    // server it runs under) for 2 s once 1,000 have arrived: the receiver
    // must live on and get them all.
    void expectTypedThroughAPause(const ReceiverWindow &receiver, qint64 paused);
    // The same for a receiver that a desktop started: what it received so
    // far, and whether it still runs; `lacking`, characters the layout
    // lacks, are named and not typed.
    void expectTypedThroughAPause(const std::function<QByteArray()> &received, qint64 paused,
                                  const std::function<bool()> &running, const QByteArray &lacking = {});

    PtyPair line;
    TempConfig config;
    BexlowProcess bexlow;
};
