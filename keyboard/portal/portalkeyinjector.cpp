#include "keyboard/portal/portalkeyinjector.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/portal/remotedesktopportal.h"

#ifdef BEXLOW_WITH_LIBEI
#include "keyboard/portal/eiskeyboard.h"
#endif

#include <utility>

// The gap where Xwayland is not watched: the portal answers a key once its
// desktop's backend has taken it, and the backend passes it on to the
// compositor later. Into Calc under KWin's Xwayland through KDE's backend,
// with a gap of 10 ms 2 of 100 scans lost a doubled character, with 25 ms
// none at first and 2 of 100 on a more loaded machine. Through EIS a
// doubled character waits for the answer to a ping, then for the same gap.
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
    if (!token.isEmpty() && token != m_restoreToken) {
        m_restoreToken = token;
        m_keepToken(token);
    }
    openEis();
}

#ifdef BEXLOW_WITH_LIBEI
void PortalKeyInjector::openEis()
{
    if (!m_portal->offersEis())
        return;
    // Which way the keys go is said at the first session and again where a
    // later one goes the other way.
    const bool toldBefore = std::exchange(m_eisTold, true);
    const bool wentThroughEis = std::exchange(m_throughEis, false);
    try {
        const int fd = m_portal->connectToEis();
        m_eis = std::make_unique<EisKeyboard>(fd);
    } catch (const OperationError &error) {
        // The portal's own calls still type, one key at a time.
        if (!toldBefore || wentThroughEis)
            Report::failure(
                OperationError(error.number(), error.description()
                                                   + QStringLiteral("; typing through the portal's calls instead, "
                                                                    "one key at a time")));
        return;
    }
    m_throughEis = true;
    if (!toldBefore || !wentThroughEis)
        Report::line(QStringLiteral("typing through the compositor's EIS connection that the desktop portal gave"));
}
#else
void PortalKeyInjector::openEis()
{
    // Built without libei: every key is a portal call.
}
#endif

void PortalKeyInjector::closeKeys()
{
#ifdef BEXLOW_WITH_LIBEI
    m_eis.reset();
#endif
    m_portal.reset();
}

void PortalKeyInjector::key(uint32_t evdevCode, bool pressed)
{
#ifdef BEXLOW_WITH_LIBEI
    if (m_eis) {
        m_eis->key(evdevCode, pressed);
        return;
    }
#endif
    m_portal->key(evdevCode, pressed);
}

void PortalKeyInjector::sync()
{
#ifdef BEXLOW_WITH_LIBEI
    if (m_eis)
        m_eis->sync();
#endif
    // Through the portal's calls every key was answered as it went.
}
