#pragma once

#include "keyboard/keystrokeinjector.h"
#include "keyboard/keystrokepacer.h"
#include "keyboard/wayland/activelayout.h"
#include "keyboard/wayland/layoutstrokes.h"
#include "keyboard/xserver/xwaylandquestions.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class SeatKeymap;
class WaylandConnection;
class XwaylandKeyWatch;

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
// disconnects a receiver that falls a socket's worth behind: faster on a
// KWin that tells a version known to hold more (kwinVersion), whatever the
// way in (its fake input, or the desktop portal's EIS connection to it).
//
// A key pressed again right after its release (a doubled character, or one
// key at another level) waits, so that X11 programs under Xwayland that tell
// auto-repeat by equal times see two presses: while an X11 program has the
// keyboard (x11ProgramHasFocus, asked before each text), until Xwayland has
// handled the release and its clock has moved on (XwaylandKeyWatch);
// otherwise, or where Xwayland does not tell, until the compositor has
// handled the release and then for the subclass's repress gap. Other
// characters do not wait.
class LayoutKeyInjector : public KeystrokeInjector
{
public:
    ~LayoutKeyInjector() override;
    LayoutKeyInjector(const LayoutKeyInjector &) = delete;
    LayoutKeyInjector &operator=(const LayoutKeyInjector &) = delete;

    void checkAvailable() override;

protected:
    std::u32string typeStrokes(const std::u32string &strokes) override;
    void giveUpConnection() override { disconnect(); }

    // repressGap: how long a key waits, once the compositor has handled its
    // release, before it is pressed again where Xwayland is not watched.
    // x11ProgramHasFocus: whether an X11 program under Xwayland has the
    // keyboard; none where that is never asked.
    LayoutKeyInjector(std::chrono::milliseconds repressGap, std::function<bool()> x11ProgramHasFocus);

    // Whether an X11 program had the keyboard when the text began.
    bool x11ProgramFocused() const { return m_x11ProgramFocused; }

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
    // Types the stroke; false if there is none.
    bool typeStroke(const LayoutStrokes::Stroke *stroke);
    // Before a key (an XKB keycode, 0 where the compositor chose it) is
    // pressed again right after its release.
    void waitBeforeRepress(uint32_t keycode);
    // Opens the watch on Xwayland and begins it for a text where an X11
    // program has the keyboard; where Xwayland cannot be watched, says so once.
    void watchXwayland();

    std::unique_ptr<WaylandConnection> m_wayland;
    std::unique_ptr<SeatKeymap> m_seatKeymap;
    std::string m_keymap;
    ActiveLayout m_activeLayout;
    uint32_t m_layout = 0;
    LayoutStrokes m_strokes;
    KeystrokePacer m_pacer{KeystrokePacer::LayoutPace};
    const std::chrono::milliseconds m_repressGap;
    // The character typed last and its key (0 where the compositor chose
    // the key).
    char32_t m_lastCharacter = 0;
    uint32_t m_lastKey = 0;
    std::function<bool()> m_x11ProgramHasFocus;
    bool m_x11ProgramFocused = false; // for the text being typed
    std::unique_ptr<XwaylandKeyWatch> m_xwayland;
    bool m_watching = false; // m_xwayland in the text being typed
    XwaylandQuestions m_xwaylandQuestions{
        QStringLiteral("X11 programs under Xwayland may take a doubled character for a held key and drop it")};
};
