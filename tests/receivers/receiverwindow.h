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
// Wayland where it can, else on the X display. The terminals are raw (stty
// raw -echo) and append every byte the keys gave (Return arrives as \r);
// the others record their text (Calc: column A's cells, each ended by \n;
// Notepad: read through the clipboard, \r\n as \n, once no key came for a
// second). Each receiver's own file says how. GtkText, Calc, Swing and
// Notepad are X11 only; the last four take the focus only through a window
// manager (activate()).
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
    // Sends each line and a Return, as a scanner does, pausing pauseMs(i)
    // after line i; then checks that the receiver got them after its first
    // `mark` bytes, a line each, and names the first five that differ.
    void expectLinesArrive(const ReceiverWindow &receiver, const QList<QByteArray> &lines,
                           const std::function<int(qsizetype)> &pauseMs, qsizetype mark = 0);
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
