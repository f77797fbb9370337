#pragma once

#include "keyboard/keyinjector.h"
#include "keyboard/sparekeypool.h"
#include "keyboard/typedtext.h"

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
// the keymap lacks is bound to a spare keycode, one the layout leaves empty
// (SpareKeyPool, XkbKeymap). The spare keys needed by the text about to be
// typed are bound together in one request, and the bindings stay while
// typing goes on: receivers look keycodes up only when they process the
// events, possibly long after they were sent. Once typing has been idle for
// RestoreDelay (a timer, so an event loop must run) and when the injector
// is destroyed, the spare keys are emptied again, leaving the keymap as it
// was found; FatalSignalCleanup does the same when a signal ends the program.
//
// type returns once the events are flushed to the X server. The one
// wait it may make: a text that needs more distinct missing characters than
// there are spare keycodes (18 on the evdev keymap of Xvfb) must let a keycode
// rest SpareKeyPool::ReuseGap (20 ms) after its last use before binding it
// again, so such text is typed at most one pool's worth of new characters
// per 20 ms.
class XTestKeyInjector : public KeyInjector
{
public:
    static constexpr std::chrono::milliseconds RestoreDelay{500};

    XTestKeyInjector();
    ~XTestKeyInjector() override;
    XTestKeyInjector(const XTestKeyInjector &) = delete;
    XTestKeyInjector &operator=(const XTestKeyInjector &) = delete;

    // Throws OperationError(TypingUnavailable) with a description a user can
    // act on when typing is impossible here (no X display, no XTEST).
    void checkAvailable() override;

    void type(const QString &keys) override;

    // Empties the spare keys now, rather than after RestoreDelay.
    void restoreKeymap();

private:
    void connect();
    void prepareConnection();
    void disconnect();
    std::vector<long> readClaim() const;
    void emptyStaleSpareKeys();
    void claimSpareKeys();
    void releaseSpareKeysClaim();
    void handleServerEvents();
    void refreshAfterForeignChange();
    void typeStrokes(const std::u32string &strokes);
    void bind(const std::vector<std::pair<int, unsigned long>> &keysyms);
    void throwIfFailed();

    std::unique_ptr<XConnection> m_connection;
    std::unique_ptr<XkbKeymap> m_keymap;
    SpareKeyPool m_pool;
    TypedText m_text;
    QTimer m_restoreTimer;
    unsigned long m_claimAtom = 0;
    int m_ownMapChangesPending = 0;
    int m_xkbEventBase = 0;
};
