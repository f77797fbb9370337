#pragma once

#include "keyboard/keystrokeinjector.h"
#include "keyboard/keystrokepacer.h"
#include "keyboard/wlroots/virtualkeymap.h"

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

class WaylandConnection;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

// Types text through a virtual keyboard (zwp_virtual_keyboard_manager_v1, the
// protocol of wlroots-based compositors such as sway, Hyprland, river, labwc,
// Wayfire) on a Wayland connection of its own.
//
// One keyboard is made when the injector connects and kept until it is
// destroyed. Each text is typed on a keymap that holds exactly what it
// needs (VirtualKeymap); the keymap is uploaded only when it changes, as a
// sealed memfd, followed by a round trip, so the compositor has it before
// the first key. Every key is pressed and released at once and no modifier
// is ever set, so a text such as "^w" types its characters, never a
// shortcut; only the group (which of the keymap's four layouts applies)
// changes, and it is back at the first when a text ends.
//
// A seat that had no keyboard before bexlow's gains one when it is made;
// clients then ask for their keyboard in their own time, and keys sent
// before that are lost to them. So typing waits until
// WaylandConnection::KeyboardSetupTime after the keyboard was made, once,
// on such a seat. Long texts are paced
// (KeystrokePacer), and a key's character is changed only ReuseGap after
// its last use: the other waits of type().
class VirtualKeyboardInjector : public KeystrokeInjector
{
public:
    // How long a key rests after its last use before a new keymap may give
    // it another character: programs under Xwayland look keys up in the
    // keymap of the moment they read them, possibly one uploaded after.
    static constexpr std::chrono::milliseconds ReuseGap{20};
    static constexpr const char *Protocol = "zwp_virtual_keyboard_manager_v1";

    VirtualKeyboardInjector();
    ~VirtualKeyboardInjector() override;
    VirtualKeyboardInjector(const VirtualKeyboardInjector &) = delete;
    VirtualKeyboardInjector &operator=(const VirtualKeyboardInjector &) = delete;

    // Connects and makes the keyboard, or throws TypingUnavailable naming
    // the compositor and what it lacks.
    void checkAvailable() override;

protected:
    // Every character has a key: the keymaps are made for the text.
    std::u32string typeStrokes(const std::u32string &strokes) override;
    void giveUpConnection() override { disconnect(); }

private:
    void connect();
    void disconnect();
    void upload(const std::string &keymap);
    void pace(double count);
    void setGroup(int group);
    void waitForRestOf(const std::vector<int> &keycodes);

    std::unique_ptr<WaylandConnection> m_connection;
    zwp_virtual_keyboard_manager_v1 *m_manager = nullptr;
    zwp_virtual_keyboard_v1 *m_keyboard = nullptr;
    VirtualKeymap m_keymap;
    KeystrokePacer m_pacer{KeystrokePacer::WlrootsPace};
    std::chrono::steady_clock::time_point m_clientsReadyAt{};
    int m_group = 0;          // the keyboard's group (layout) as last set
    double m_unpacedCost = 0; // group changes sent since the last pace()
    std::array<std::chrono::steady_clock::time_point, 256> m_lastTyped{};
};
