#pragma once

#include <QByteArray>

#include <vector>

typedef struct _XDisplay Display;

// The test's own view of the X keyboard on $DISPLAY, on a connection of its
// own: the whole keymap, the keys that are down, Caps Lock, holding keys.
class KeyboardState
{
public:
    KeyboardState();
    ~KeyboardState();
    KeyboardState(const KeyboardState &) = delete;
    KeyboardState &operator=(const KeyboardState &) = delete;

    // The complete keymap: what xkbcomp writes (which leaves out keycodes
    // without a name, spare keys among them), then every keycode's groups,
    // key types and keysyms.
    QByteArray keymapText() const;

    // Keycodes that are down now.
    std::vector<int> keysDown() const;
    bool capsLockOn() const;
    void setCapsLock(bool on);
    int group() const;

    // Presses or releases a key through XTEST, as if the user held it.
    void holdKey(int keycode, bool down);
    int keycodeOf(unsigned long keysym) const;

    // Gives the keyboard focus to a window once it is shown (Xvfb has no
    // window manager to do it); false if that did not happen in time.
    bool focus(unsigned long window, int timeoutMs = 10000);
    unsigned long focusedWindow() const;

private:
    Display *m_display = nullptr;
};
