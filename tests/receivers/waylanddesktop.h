#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <memory>

// A headless Wayland compositor of the test's own: sway (wlroots, offers the
// virtual keyboard), optionally with Xwayland, or weston (does not offer it).
// Compositors refuse to run as root, so it runs as nobody, in a private
// runtime folder. While it lives, the test process's WAYLAND_DISPLAY (the
// socket's path) and DISPLAY point at it, so programs started from the test
// (bexlow, receivers) use it.
class WaylandDesktop
{
public:
    enum class Compositor { Sway, SwayWithXwayland, Weston };

    explicit WaylandDesktop(Compositor compositor);
    ~WaylandDesktop();

    // Gives the keyboard focus to the window of process pid (sway only).
    bool focus(qint64 pid) const;

private:
    QTemporaryDir m_runtime;
    QProcess m_compositor;
    QByteArray m_savedEnvironment[2];
};

// A window in the compositor that records what it receives in a file:
//  - Foot: a native Wayland terminal in raw mode, the bytes of the keys;
//  - QtText: bexlow-qt-text-receiver on QT_QPA_PLATFORM=wayland, its text,
//    and every key that came with a modifier in modifiers();
//  - Chromium: a text area in Chromium running natively (ozone wayland);
//  - Xterm: an xterm under Xwayland, in raw mode.
class WaylandReceiver
{
public:
    enum class Kind { Foot, QtText, Chromium, Xterm };

    // Starts the window and waits until it can receive keys.
    explicit WaylandReceiver(Kind kind);
    ~WaylandReceiver();

    qint64 pid() const { return m_process.processId(); }
    QByteArray text() const;
    QByteArray modifiers() const;
    // Waits until `length` bytes arrived after the first `mark` and nothing
    // more came for a moment, or the timeout passed.
    void waitForLength(qsizetype mark, qsizetype length, int timeoutMs = 30000) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
