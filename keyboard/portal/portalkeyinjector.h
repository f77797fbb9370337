#pragma once

#include "keyboard/wayland/layoutkeyinjector.h"

#include <QString>

#include <functional>
#include <memory>

class EisKeyboard;
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
//
// Where the portal also hands out a connection to the compositor's EIS
// server (version 2) and bexlow is built with libei, the keys go there
// (EisKeyboard): in order without an answer to each, so a long text is
// paced by the pace alone. Otherwise, or where that connection is refused
// (said once, as an error), each key is a portal call that waits for its
// answer. A connection lost while typing fails the text as a lost session
// does; the next text starts a new session.
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
    // Opens the EIS connection of the started session where there is one
    // to be had.
    void openEis();

    QString m_restoreToken;
    TokenKeeper m_keepToken;
    std::unique_ptr<RemoteDesktopPortal> m_portal;
#ifdef BEXLOW_WITH_LIBEI
    std::unique_ptr<EisKeyboard> m_eis;
    // Whether the way the keys go was said already, and whether the last
    // session's keys went through EIS.
    bool m_eisTold = false;
    bool m_throughEis = false;
#endif
};
