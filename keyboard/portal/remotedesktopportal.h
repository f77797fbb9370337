#pragma once

#include "keyboard/ownsessionbus.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>

// A keyboard-only session of the desktop portal's remote desktop
// (org.freedesktop.portal.RemoteDesktop on the session bus), the way in that
// the desktop grants and may first ask the user about in a dialog. GNOME's
// portal asks each time; KDE's does not ask an unsandboxed program.
//
// From version 2 the portal can keep the grant: a start returns a restore
// token that lets the next session start without the dialog. Each token is
// good for one start; the session hands out the next one.
//
// The session lasts as long as its own bus connection. Failures throw
// OperationError: TypingUnavailable when no session can be had,
// TypingFailed when a running one ends.
class RemoteDesktopPortal
{
public:
    static constexpr const char *Service = "org.freedesktop.portal.Desktop";

    // Whether the portal on conn offers a keyboard.
    static bool offersKeyboard(const QDBusConnection &conn);

    // Creates a session for the keyboard and starts it, showing the
    // desktop's dialog unless restoreToken still holds.
    explicit RemoteDesktopPortal(const QString &restoreToken);
    ~RemoteDesktopPortal();
    RemoteDesktopPortal(const RemoteDesktopPortal &) = delete;
    RemoteDesktopPortal &operator=(const RemoteDesktopPortal &) = delete;

    // The token for the next start; empty where the portal gives none.
    QString restoreToken() const { return m_restoreToken; }

    // From version 2 a started session can hand out a connection to the
    // compositor's EIS server, which takes keys without answering each.
    bool offersEis() const { return m_version >= 2; }
    // That connection's file descriptor, the caller's to close; throws
    // TypingUnavailable where the portal refuses it.
    int connectToEis();

    // An evdev key code (without the X11 offset of 8) pressed or released,
    // passed on to the desktop when this returns; throws TypingFailed when
    // the portal refused it or the session has ended.
    void key(uint32_t evdevCode, bool pressed);

private:
    QVariantMap request(const QString &method, QVariantList arguments, QVariantMap options, const QString &what);
    [[noreturn]] void fail(int number, const QString &what, const QString &why) const;

    OwnSessionBus m_bus;
    QString m_sessionPath;
    QString m_restoreToken;
    uint m_version = 0;
    int m_requests = 0;
};
