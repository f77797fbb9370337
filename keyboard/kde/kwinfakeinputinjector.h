#pragma once

#include "keyboard/wayland/layoutkeyinjector.h"

#include <functional>

struct org_kde_kwin_fake_input;

// Types on KDE Plasma's Wayland desktop through KWin's fake input
// (org_kde_kwin_fake_input), which presses keys of the user's own layout
// (LayoutKeyInjector reads it and names what it lacks). Keys need version 4
// (KWin 5.27). From version 6 (KWin 6.5) the protocol takes any keysym, and
// KWin binds a keysym the layout lacks to a key of its own for one stroke:
// then a character the layout lacks is typed as its keysym. Into native
// windows only: X11 programs under KWin 6.7's Xwayland lose such keys, so
// while one of them has the keyboard (x11ProgramHasFocus, asked before each
// text) those characters are named as on version 4.
//
// KWin offers the protocol only to a program whose executable has an
// installed desktop entry naming it in X-KDE-Wayland-Interfaces, with that
// executable's absolute path in Exec=; to any other it is not there at all.
class KWinFakeInputInjector : public LayoutKeyInjector
{
public:
    static constexpr const char *Protocol = "org_kde_kwin_fake_input";
    static constexpr uint32_t KeyboardVersion = 4;
    static constexpr uint32_t KeysymVersion = 6;

    explicit KWinFakeInputInjector(std::function<bool()> x11ProgramHasFocus = {});
    ~KWinFakeInputInjector() override;

protected:
    void openKeys(WaylandConnection &connection) override;
    void closeKeys() override;
    void key(uint32_t evdevCode, bool pressed) override;
    bool typeCharacter(char32_t c) override;
    void flush() override;
    void sync() override;

private:
    void sent();

    WaylandConnection *m_connection = nullptr;
    org_kde_kwin_fake_input *m_fakeInput = nullptr;
    uint32_t m_version = 0;
    int m_unflushed = 0;
};
