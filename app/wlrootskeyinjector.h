#pragma once

#include "app/xwaylandfocus.h"
#include "keyboard/keyinjector.h"
#include "keyboard/wlroots/virtualkeyboardinjector.h"
#include "keyboard/x11/xtestkeyinjector.h"

// Types on a wlroots-based desktop (sway, Hyprland, river, labwc, ...): into
// native Wayland windows through the virtual keyboard, into X11 programs
// under Xwayland through XTEST on Xwayland's display ($DISPLAY).
//
// Xwayland no longer types a virtual keyboard's keys on that keyboard's
// keymap (since sway 1.12): it looks them up in its own, so every character
// came out wrong. Before each text, X's input focus on Xwayland tells which
// of the two has the keyboard: a window of Xwayland's while an X11 program
// has it, PointerRoot or None while a native window has it
// (XwaylandFocus). Each text goes whole to one of the
// two; XTEST types the layout's characters and binds the rest to spare keys
// as on X11. Where Xwayland does take the virtual keyboard's keymap over
// (sway 1.7 gives it the keymap of the seat's last keyboard), X's keymap
// then has the virtual keyboard's keycodes name, and the virtual keyboard
// types into X11 programs too: XTEST's spare keys cannot be bound on that
// keymap, as Xwayland's keyboard refuses key types it lacks.
//
// Without an X display there are no X11 programs, and everything goes
// through the virtual keyboard. When $DISPLAY is set but cannot be used for
// XTEST, that is said once, and X11 programs may then receive wrong
// characters.
class WlrootsKeyInjector : public KeyInjector
{
public:
    WlrootsKeyInjector() = default;

    // Throws OperationError(TypingUnavailable) when the virtual keyboard
    // cannot be made; Xwayland is optional.
    void checkAvailable() override;
    std::u32string type(const QString &keys) override;

private:
    bool xwaylandFollowsVirtualKeyboard();

    VirtualKeyboardInjector m_wayland;
    XTestKeyInjector m_x11;
    XwaylandFocus m_focus{m_x11, QStringLiteral("X11 programs under Xwayland get the keys of the Wayland virtual "
                                                "keyboard, and may receive wrong characters")};
};
