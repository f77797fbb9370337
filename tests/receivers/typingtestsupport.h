#pragma once

#include "tests/support/bexlowprocess.h"

#include <QByteArray>

#include <vector>

typedef struct _XDisplay Display;

// Starts bexlow on Com1 (which the test's settings folder maps to the
// device) and waits until it has opened it and shown its window. Throws
// when it does not.
void startTyping(BexlowProcess &bexlow, const QString &device);

// The test's own view of the X keyboard on $DISPLAY, on a connection of its
// own: the whole keymap, the keys that are down, Caps Lock, auto-repeat,
// holding keys.
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
    bool autoRepeatOn() const;
    void setCapsLock(bool on);
    int group() const;
    void lockGroup(int group);
    // Presses or releases the key of a keysym through XTEST, as if the user
    // held it; gives its keycode.
    int holdKey(unsigned long keysym, bool down);
    // Gives the keyboard focus to a window once it is shown (Xvfb has no
    // window manager to do it); false if that did not happen in time.
    bool focus(unsigned long window, int timeoutMs = 10000);

private:
    Display *m_display = nullptr;
};
