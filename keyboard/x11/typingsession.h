#pragma once

#include "keyboard/x11/xkbkeymap.h"

#include <chrono>
#include <vector>

typedef struct _XDisplay Display;
class XkbKeymap;

// One run of typing, from a keyboard state that is known to the end of it.
//
// At the start it lets go of the modifier keys the user holds and clears
// locked and latched modifiers (Caps Lock, Num Lock) and a latched group, so
// that they cannot change what is typed; finish() puts them back as they
// were. In between it presses Shift and AltGr (Level3) and switches the
// group as each key needs. Everything is queued on the connection; nothing
// here waits for the X server, except one query of the state at the start.
//
// Some X11 programs tell a held key's auto-repeat from two presses by the
// server time: a key's release followed by its press at the same millisecond
// is auto-repeat to them, and they drop the press (LibreOffice's own X11
// toolkit turns "1000" into "10"). So a key pressed right after its own
// release (a doubled character) is pressed RepressDelay later, by XTEST's
// delay argument: the X server holds back this connection's requests
// meanwhile, and nothing here waits.
//
// The X server repeats a key that stays down past its repeat delay, and
// XTEST's keys are no exception: when the server stalls between a key's
// press and its release (an Xwayland stopped for a moment, say), it would
// type the character again as soon as it goes on. So the server's
// auto-repeat is off while a session runs, and finish() turns it back on.
class TypingSession
{
public:
    static constexpr std::chrono::milliseconds RepressDelay{1};

    TypingSession(Display *display, const XkbKeymap &keymap);
    ~TypingSession();
    TypingSession(const TypingSession &) = delete;
    TypingSession &operator=(const TypingSession &) = delete;

    // The group that was in force when the session started.
    int startGroup() const { return m_startGroup; }

    // Types the key at a position of the layout.
    void type(const KeyPosition &position);
    // Types a level of a group of a spare key (XkbKeymap::spareLevels,
    // spareGroups). A group other than the one in force is latched for this
    // key alone: the key's press clears the latch, and the locked group that
    // layout indicators show stays as it is.
    void typeSpare(int keycode, int level, int group);

    // Releases what the session pressed and restores the user's state.
    void finish();

private:
    void setModifiers(unsigned wanted);
    void setGroup(int group);
    void press(int keycode);
    void release(int keycode);
    void sendKey(int keycode, bool down);
    void suspendAutoRepeat();
    void setAutoRepeat(int mode);

    Display *m_display = nullptr;
    const XkbKeymap &m_keymap;
    std::vector<int> m_userHeldKeys;
    unsigned m_lockedModifiers = 0;
    int m_lockedGroup = 0;
    int m_startGroup = 0;
    int m_group = 0;
    unsigned m_pressedModifiers = 0;
    bool m_finished = false;
    bool m_autoRepeatSuspended = false;
    int m_lastEventRelease = 0; // the keycode, when the last key event was its release
};
