#pragma once

#include "keyboard/keystrokeinjector.h"
#include "keyboard/x11/sparekeypool.h"

#include <QTimer>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class XConnection;
class XkbKeymap;

// Types text through the X11 XTEST extension on a connection of its own to
// $DISPLAY, opened at the first need and opened again after it was lost.
//
// Characters that the current XKB keymap has are typed on their keys, with
// Shift, AltGr and the group they need; Caps Lock, Num Lock and modifier keys
// the user holds are set aside meanwhile (TypingSession). A character that
// the keymap lacks is lent a slot: a level in a group of a spare keycode, one
// the layout leaves empty (SpareKeyPool, XkbKeymap); 18 keycodes of four
// groups of four levels give 288 slots on the evdev keymap of Xvfb. The
// first group of every keycode is used before a second one, and a character
// in another group than the one in force is typed with its group latched
// for that key (TypingSession). The slots that the text about to be
// typed needs are bound together in one request (planSpareBatch).
//
// Receivers look a keycode up only when they process its event, with the
// keymap they hold then, and no X event says when that is: Chromium may be
// seconds behind, and loads a changed keymap only some time after the
// change reaches it. So:
//  - a bound slot keeps its character while typing goes on, and slots are
//    bound or emptied only once the receiver is assumed to have read every
//    key sent (SpareKeyPool::receiverIdleAt, at SpareKeyPool::ReceiverPace a
//    character);
//  - after binding, the first key that uses a new slot waits until the
//    server has the new map (a round trip) and FirstUseDelay more: Chromium
//    takes the character from GTK's keymap, which follows the change on a
//    connection of its own when its event loop gets to it. No X event tells
//    when that is; 20 ms still lost one first character in 200 bursts on a
//    heavily loaded machine;
//  - once typing has been idle for RestoreDelay after that point (a timer,
//    so an event loop must run) and when the injector is destroyed, the
//    spare keys are emptied again, leaving the keymap as it was found;
//    FatalSignalCleanup does the same when a signal ends the program.
//
// type returns once the events are flushed to the X server. It waits
// FirstUseDelay when it binds slots, and a text that needs more distinct
// missing characters than there are slots waits, before binding again,
// until the receiver is assumed to have read what was typed.
class XTestKeyInjector : public KeystrokeInjector
{
public:
    static constexpr std::chrono::milliseconds RestoreDelay{500};
    static constexpr std::chrono::milliseconds FirstUseDelay{50};

    XTestKeyInjector();
    ~XTestKeyInjector() override;
    XTestKeyInjector(const XTestKeyInjector &) = delete;
    XTestKeyInjector &operator=(const XTestKeyInjector &) = delete;

    // Throws OperationError(TypingUnavailable) with a description a user can
    // act on when typing is impossible here (no X display, no XTEST).
    void checkAvailable() override;

    // Whether one of the display's windows, not its root, has the keyboard
    // focus; connects first like checkAvailable(). Under Xwayland: whether an
    // X11 program has the keyboard, as the window manager moves X's focus to
    // PointerRoot or None (wlroots) or to an input-only window (KWin) while a
    // native window has it.
    bool displayHasFocus();

    // The name of the keycodes of the keymap the X server has now.
    QString keycodesName();

    // Empties the spare keys now, rather than after RestoreDelay.
    void restoreKeymap();

protected:
    std::u32string typeStrokes(const std::u32string &strokes) override;
    // Only a connection the X server broke: spare keys stay bound while a
    // receiver may still read the keys that used them.
    void giveUpConnection() override;

private:
    void connect();
    void prepareConnection();
    void takeOverMasterKeyboard();
    void disconnect();
    std::vector<long> readClaim() const;
    void emptyStaleSpareKeys();
    void claimSpareKeys();
    void releaseSpareKeysClaim();
    void handleServerEvents();
    void refreshAfterForeignChange();
    std::u32string typeBatches(const std::u32string &strokes);
    void sendBindings(const std::vector<int> &keycodes);
    void throwIfFailed();

    std::unique_ptr<XConnection> m_connection;
    std::unique_ptr<XkbKeymap> m_keymap;
    SpareKeyPool m_pool;
    QTimer m_restoreTimer;
    unsigned long m_claimAtom = 0;
    int m_ownMapChangesPending = 0;
    int m_xkbEventBase = 0;
};
