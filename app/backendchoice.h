#pragma once

#include <QString>

// Which keyboard backend types, decided once at start from what the session
// offers and what the user asked for ([Typing] Backend=auto|wayland|gnome|kde|portal|x11).
namespace BackendChoice {

enum class Backend { Wayland, Gnome, Kde, Portal, X11 };
enum class Preference { Auto, Wayland, Gnome, Kde, Portal, X11 };

struct Session
{
    bool wayland = false;                // a Wayland session ($WAYLAND_DISPLAY set)
    bool virtualKeyboardOffered = false; // its compositor offers the virtual keyboard
    Preference preference = Preference::Auto;
    bool kwinFakeInput = false;       // KWin lets bexlow use its fake input
    bool mutterRemoteDesktop = false; // GNOME's remote desktop service is on the session bus
    bool remoteDesktopPortal = false; // the desktop portal offers a remote desktop keyboard
    bool kwinRunning = false;         // KWin's service is on the session bus
};

struct Decision
{
    Backend backend = Backend::X11;
    // One line for stderr when typing will miss windows, else empty.
    QString notice;
};

// "auto", "wayland", "gnome", "kde", "portal" or "x11", in any case; nullopt-like Auto with ok=false
// for anything else.
Preference preferenceFrom(const QString &stored, bool *ok = nullptr);

Decision decide(const Session &session);

} // namespace BackendChoice
