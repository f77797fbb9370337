#pragma once

#include "keyboard/wayland/layoutkeyinjector.h"

#include <QString>

#include <functional>
#include <memory>

class RemoteDesktopPortal;

// Types through the desktop portal's remote desktop (RemoteDesktopPortal),
// where the compositor's own way in is absent or refused: GNOME without
// mutter's service for bexlow, KDE Plasma without KWin's fake input for it.
// The portal presses keys of the user's own layout (LayoutKeyInjector reads
// it and names what it lacks).
//
// Where the portal keeps grants (version 2), the restore token of each start
// goes to keepToken, and the next session is asked for with it, so the
// desktop's dialog comes once, not at every start.
class PortalKeyInjector : public LayoutKeyInjector
{
public:
    using TokenKeeper = std::function<void(const QString &)>;

    PortalKeyInjector(const QString &restoreToken, TokenKeeper keepToken,
                      std::function<bool()> x11ProgramHasFocus = {});
    ~PortalKeyInjector() override;

protected:
    void openKeys(WaylandConnection &connection) override;
    void closeKeys() override;
    void key(uint32_t evdevCode, bool pressed) override;
    void sync() override;

private:
    QString m_restoreToken;
    TokenKeeper m_keepToken;
    std::unique_ptr<RemoteDesktopPortal> m_portal;
};
