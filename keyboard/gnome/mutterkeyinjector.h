#pragma once

#include "keyboard/keyinjector.h"
#include "keyboard/typedtext.h"
#include "keyboard/wayland/layoutstrokes.h"

#include <memory>
#include <string>

class RemoteDesktopSession;
class SeatKeymap;
class WaylandConnection;

// Types on GNOME's Wayland desktop through mutter's remote desktop service
// (RemoteDesktopSession), which presses keys of the user's own layout.
//
// mutter types a keysym only as far as it finds it on that layout, and
// only at level one or two correctly; a character it cannot place is
// dropped without an error. So the injector reads the layout the
// compositor gives its clients (SeatKeymap, as a Wayland client of its
// own), again before each text, and sends only what arrives exactly
// (LayoutStrokes): a keysym mutter places right by itself, else the key
// with Shift and the level-three shift pressed around it. Characters the
// layout cannot give are left out and named on one line per text; the rest
// is typed.
//
// The clients of a seat that had no keyboard get one with the first key
// of a session and lose that key, so a new session taps Shift first and
// waits for the keymap that comes with it.
class MutterKeyInjector : public KeyInjector
{
public:
    MutterKeyInjector();
    ~MutterKeyInjector() override;

    void checkAvailable() override;
    void type(const QString &keys) override;

private:
    void connect();
    void disconnect();
    void followLayout();
    void typeStroke(const LayoutStrokes::Stroke &stroke);

    std::unique_ptr<WaylandConnection> m_wayland;
    std::unique_ptr<SeatKeymap> m_seatKeymap;
    std::unique_ptr<RemoteDesktopSession> m_session;
    std::string m_keymap;
    LayoutStrokes m_strokes;
    TypedText m_text;
};
