#pragma once

#include <QString>

#include <functional>
#include <optional>

// Which keyboard backend types, decided once at start from what the session
// offers and what the user asked for ([Typing] Backend=auto|wayland|gnome|kde|portal|x11).
namespace BackendChoice {

enum class Backend { Wayland, Gnome, Kde, Portal, X11 };
enum class Preference { Auto, Wayland, Gnome, Kde, Portal, X11 };

// What the session offers. The questions about a Wayland desktop are asked
// only where the choice is automatic, in the order of the ways in, and only
// as far as needed; an unset one answers no.
struct Session
{
    using Question = std::function<bool()>;
    bool wayland = false; // a Wayland session ($WAYLAND_DISPLAY set)
    Preference preference = Preference::Auto;
    Question virtualKeyboardOffered; // its compositor offers the virtual keyboard
    Question kwinFakeInput;          // KWin lets bexlow use its fake input
    Question mutterRemoteDesktop;    // GNOME's remote desktop service is on the session bus
    Question remoteDesktopPortal;    // the desktop portal offers a remote desktop keyboard
    Question kwinRunning;            // KWin's service is on the session bus
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

// The way left where the backend chosen automatically cannot type: the
// desktop portal, after GNOME's or KDE's own way refused bexlow.
std::optional<Backend> fallback(const Session &session, Backend refused);

} // namespace BackendChoice
