#pragma once

#include "keyboard/keystrokeinjector.h"
#include "keyboard/x11/sparekeypool.h"

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
//  - the spare keys stay bound while the injector lives (no physical key
//    uses them, and a character then needs binding once a run), and are
//    emptied when it is destroyed, leaving the keymap as it was found;
//    FatalSignalCleanup does the same when a signal ends the program, and
//    the next start after a SIGKILL. Programs under Wine need this: after a
//    spare keycode was emptied and bound again, Wine 8 no longer saw what it
//    held (measured: every such character lost or wrong from then on).
//
// Programs under Wine (Windows programs; their windows' WM_CLASS names an
// .exe) translate a key to a character through a table of Wine's own, from
// keycodes to Windows key codes, built when the keymap changes, and read
// the AltGr state of the latest X key event they handled rather than that
// of the key being translated. So while such a window has the focus,
// characters the layout lacks are typed only from the plain and Shift
// levels of spare keycodes up to WineLastSpareKeycode, and only where the
// AltGr levels of the keycode hold the same two characters (slotsWineTypes).
// Such a program, too, reads a key's character with the keymap it holds when
// it gets round to the key, and a busy one may be far behind the receiver
// that ReceiverPace allows for: Notepad got characters that spare slots were
// bound to after the keys that used them. Xlib takes the change into the
// keymap its lookups use as soon as it reads the notification, ahead of the
// key events it still holds, and Wine takes the character from it only when
// the program translates the key. So a slot once typed into a Wine window,
// and its AltGr partner, are pinned: they keep their character while the
// injector lives, and a character that finds no other slot is not typed
// into Wine. Keycodes are bound in ascending order and not emptied before
// the end, so the Windows key code that Wine gives a bound keycode, counted
// in keycode order, does not change either.
//
// type returns once the events are flushed to the X server. It waits
// FirstUseDelay when it binds slots, and a text that needs more distinct
// missing characters than there are slots waits, before binding again,
// until the receiver is assumed to have read what was typed.
class XTestKeyInjector : public KeystrokeInjector
{
public:
    static constexpr std::chrono::milliseconds FirstUseDelay{50};
    // Wine 8 gives a keycode that has symbols but no Windows key code of
    // its own one of about 30 spare key codes, in ascending keycode order,
    // until they run out: on the evdev keymap (Xorg, Xvfb, Xwayland), at
    // keycode 161. A character on a higher keycode never reaches a Windows
    // program.
    static constexpr int WineLastSpareKeycode = 160;

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

protected:
    std::u32string typeStrokes(const std::u32string &strokes) override;
    // Only a connection the X server broke: spare keys stay bound while a
    // receiver may still read the keys that used them.
    void giveUpConnection() override;

private:
    // Empties the spare keys, as the injector goes.
    void restoreKeymap();
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
    bool focusIsWine();
    SpareKeyPool slotsWineTypes() const;
    std::u32string typeBatches(const std::u32string &strokes, bool intoWine);
    void sendBindings(const std::vector<int> &keycodes);
    void throwIfFailed();

    std::unique_ptr<XConnection> m_connection;
    std::unique_ptr<XkbKeymap> m_keymap;
    SpareKeyPool m_pool;
    unsigned long m_claimAtom = 0;
    int m_ownMapChangesPending = 0;
    int m_xkbEventBase = 0;
};
