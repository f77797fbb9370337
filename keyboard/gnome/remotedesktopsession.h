#pragma once

#include "keyboard/ownsessionbus.h"

#include <QDBusConnection>
#include <QString>

#include <cstdint>

// A remote desktop session of mutter, the GNOME compositor, through its own
// D-Bus service (org.gnome.Mutter.RemoteDesktop on the session bus), on a
// bus connection of its own: the session lasts as long as that connection.
//
// Key events are sent without waiting for their replies (mutter takes a few
// thousand a second; waiting for each would cut that to a few hundred);
// sync() then waits once for all of them. Failures throw OperationError:
// TypingUnavailable when no session can be had, TypingFailed when a
// running one ends.
class RemoteDesktopSession
{
public:
    static constexpr const char *Service = "org.gnome.Mutter.RemoteDesktop";

    // Creates and starts the session, or throws TypingUnavailable.
    RemoteDesktopSession();
    ~RemoteDesktopSession();
    RemoteDesktopSession(const RemoteDesktopSession &) = delete;
    RemoteDesktopSession &operator=(const RemoteDesktopSession &) = delete;

    // Whether mutter's service is on the session bus, asked over conn.
    static bool offered(const QDBusConnection &conn);

    // An evdev key code (without the X11 offset of 8) pressed or released.
    void key(uint32_t evdevCode, bool pressed);
    // A keysym pressed or released: mutter finds the key and adds Shift
    // for a keysym at level two.
    void keysym(uint32_t keysym, bool pressed);
    // Waits until mutter has handled every event sent so far; throws
    // TypingFailed when it refused one or the session has ended.
    void sync();

private:
    void send(const char *method, uint32_t value, bool pressed);
    void throwIfFailed(const class QDBusMessage &reply, const QString &what, int number) const;

    OwnSessionBus m_bus;
    QString m_sessionPath;
    bool m_sendFailed = false;
};
