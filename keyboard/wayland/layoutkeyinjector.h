#pragma once

#include "keyboard/keyinjector.h"
#include "keyboard/typedtext.h"
#include "keyboard/wayland/activelayout.h"
#include "keyboard/wayland/keystrokepacer.h"
#include "keyboard/wayland/layoutstrokes.h"

#include <cstdint>
#include <memory>
#include <string>

class SeatKeymap;
class WaylandConnection;

// Types on compositors that only press keys of the user's own layout
// (GNOME's mutter, KDE's KWin), each through its own way in, which a
// subclass opens and presses keys through.
//
// The injector reads the keymap the compositor gives its clients
// (SeatKeymap, on a Wayland connection of its own) and which of its layouts
// the desktop has active (ActiveLayout), again before each text, and
// presses for each character the key with the Shift and level-three shift
// it needs in that layout (LayoutStrokes). Characters the layout cannot give are left
// out and named on one line per text; the rest is typed. Never a guess.
//
// The clients of a seat that had no keyboard get one with the first key
// pressed and lose that key, so where the seat has none at the start, Shift
// is tapped first and typing waits for the keymap that comes with it.
//
// Long texts are paced (KeystrokePacer) on every way in, as each compositor
// disconnects a receiver that falls a socket's worth behind.
class LayoutKeyInjector : public KeyInjector
{
public:
    ~LayoutKeyInjector() override;
    LayoutKeyInjector(const LayoutKeyInjector &) = delete;
    LayoutKeyInjector &operator=(const LayoutKeyInjector &) = delete;

    void checkAvailable() override;
    void type(const QString &keys) override;

protected:
    LayoutKeyInjector();

    // Opens the way in for keys on connection, or throws TypingUnavailable.
    virtual void openKeys(WaylandConnection &connection) = 0;
    virtual void closeKeys() = 0;
    // An evdev key code (without the X11 offset of 8) pressed or released.
    virtual void key(uint32_t evdevCode, bool pressed) = 0;
    // Types c, which the layout lacks, by itself where the compositor can
    // type any character; false to name it as not typed.
    virtual bool typeCharacter(char32_t) { return false; }
    // Types the stroke by its keysym where the compositor gives that
    // exactly; false to have its keys pressed instead.
    virtual bool typeKeysym(const LayoutStrokes::Stroke &) { return false; }
    // Sends the keys queued so far on their way, before the pace waits.
    virtual void flush() {}
    // Waits until the compositor has handled every key so far; throws
    // TypingFailed if it refused one or the way in has closed.
    virtual void sync() = 0;

private:
    void connect();
    void disconnect();
    void followLayout();
    void typeStroke(const LayoutStrokes::Stroke &stroke);

    std::unique_ptr<WaylandConnection> m_wayland;
    std::unique_ptr<SeatKeymap> m_seatKeymap;
    std::string m_keymap;
    ActiveLayout m_activeLayout;
    uint32_t m_layout = 0;
    LayoutStrokes m_strokes;
    TypedText m_text;
    KeystrokePacer m_pacer{KeystrokePacer::LayoutPace};
};
