#include "keyboard/portal/portalkeyinjector.h"

#include "keyboard/portal/remotedesktopportal.h"

#include <utility>

// The gap where Xwayland is not watched: the portal answers a key once its
// desktop's backend has taken it, and the backend passes it on to the
// compositor later. Into Calc under KWin's Xwayland through KDE's backend,
// with a gap of 10 ms 2 of 100 scans lost a doubled character, with 25 ms
// none at first and 2 of 100 on a more loaded machine.
PortalKeyInjector::PortalKeyInjector(const QString &restoreToken, TokenKeeper keepToken,
                                     std::function<bool()> x11ProgramHasFocus)
    : LayoutKeyInjector(std::chrono::milliseconds(25), std::move(x11ProgramHasFocus))
    , m_restoreToken(restoreToken)
    , m_keepToken(std::move(keepToken))
{}

PortalKeyInjector::~PortalKeyInjector()
{
    closeKeys();
}

void PortalKeyInjector::openKeys(WaylandConnection &)
{
    m_portal = std::make_unique<RemoteDesktopPortal>(m_restoreToken);
    const QString token = m_portal->restoreToken();
    if (token.isEmpty() || token == m_restoreToken)
        return;
    m_restoreToken = token;
    m_keepToken(token);
}

void PortalKeyInjector::closeKeys()
{
    m_portal.reset();
}

void PortalKeyInjector::key(uint32_t evdevCode, bool pressed)
{
    m_portal->key(evdevCode, pressed);
}

void PortalKeyInjector::sync()
{
    // Every key was answered as it went.
}
