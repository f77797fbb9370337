#include "keyboard/portal/portalkeyinjector.h"

#include "keyboard/portal/remotedesktopportal.h"

PortalKeyInjector::PortalKeyInjector(const QString &restoreToken, TokenKeeper keepToken)
    : m_restoreToken(restoreToken)
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
