#pragma once

#include "tests/support/bexlowprocess.h"

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>

#include <vector>

typedef struct _XDisplay Display;

// Starts bexlow on Com1 (which the test's settings folder maps to the
// device) and waits until it has opened it and shown its window. Throws
// when it does not.
void startTyping(BexlowProcess &bexlow, const QString &device);

// The test's own view of the X keyboard on $DISPLAY, on a connection of its
// own: the whole keymap, the keys that are down, Caps Lock, holding keys.
class KeyboardState
{
public:
    KeyboardState();
    ~KeyboardState();
    KeyboardState(const KeyboardState &) = delete;
    KeyboardState &operator=(const KeyboardState &) = delete;

    // Every keycode's modifiers, groups, key types and keysyms: all of the
    // keymap that typing changes (spare keys have no name, so xkbcomp would
    // not show them).
    QByteArray keymapText() const;
    std::vector<int> keysDown() const;
    bool capsLockOn() const;
    void setCapsLock(bool on);
    int group() const;
    // Presses or releases the key of a keysym through XTEST, as if the user
    // held it; gives its keycode.
    int holdKey(unsigned long keysym, bool down);
    // Gives the keyboard focus to a window once it is shown (Xvfb has no
    // window manager to do it); false if that did not happen in time.
    bool focus(unsigned long window, int timeoutMs = 10000);

private:
    Display *m_display = nullptr;
};

// A window that receives typed text and records it in a file:
//  - Xterm: an xterm whose terminal is raw (stty raw -echo) and whose shell
//    appends every byte to the file, so the file holds exactly the bytes
//    the terminal sent for the keys (Return arrives as \r);
//  - QtText: the Qt plain text window (bexlow-qt-text-receiver), a receiver
//    on Qt's xkbcommon keyboard handling; the file is its text;
//  - GtkText: the same in GTK 3 (bexlow-gtk-text-receiver), on GDK's keymap;
//  - Chromium: a text area on a page in Chromium in X11 mode
//    (chromiumreceiver.py); the file is its value.
class ReceiverWindow
{
public:
    enum class Kind { Xterm, QtText, GtkText, Chromium };

    // Starts the window and waits until it is shown. Throws when it is not.
    explicit ReceiverWindow(Kind kind);
    ~ReceiverWindow()
    {
        // Asked first: the browser's helper ends the browser it started.
        m_process.terminate();
        if (!m_process.waitForFinished(15000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    unsigned long window() const { return m_window; }
    QByteArray text() const;
    // Polls until at least `length` bytes arrived after the first `mark` and
    // nothing more came for a moment (so that extra characters are seen
    // too), or until the timeout: receivers on a loaded machine can be slow.
    void waitForLength(qsizetype mark, qsizetype length, int timeoutMs = 30000) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    unsigned long m_window = 0;
};
