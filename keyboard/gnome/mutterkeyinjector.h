#pragma once

#include "keyboard/wayland/layoutkeyinjector.h"

#include <functional>
#include <memory>

class RemoteDesktopSession;

// Types on GNOME's Wayland desktop through mutter's remote desktop service
// (RemoteDesktopSession), which presses keys of the user's own layout
// (LayoutKeyInjector reads it and names what it lacks).
//
// mutter also takes keysyms, but finds one only on the current layout and
// types it right only at level one or two: at level three or four it gives
// the level-one character (Ø as o under de), and a keysym it cannot place is
// dropped without an error. So a character goes as a keysym only where
// mutter finds it at level one or two by itself (two messages instead of up
// to six); otherwise its key is pressed with Shift and AltGr around it.
class MutterKeyInjector : public LayoutKeyInjector
{
public:
    explicit MutterKeyInjector(std::function<bool()> x11ProgramHasFocus = {});
    ~MutterKeyInjector() override;

protected:
    void openKeys(WaylandConnection &connection) override;
    void closeKeys() override;
    void key(uint32_t evdevCode, bool pressed) override;
    bool typeKeysym(const LayoutStrokes::Stroke &stroke) override;
    void sync() override;

private:
    std::unique_ptr<RemoteDesktopSession> m_session;
};
