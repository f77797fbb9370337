#pragma once

#include <QDBusConnection>

#include <atomic>

// A connection to the session bus of one's own, closed when it goes. A
// desktop's remote desktop session lasts as long as the connection that
// made it, so each session gets one of these rather than the shared one.
// Its users link Qt DBus.
class OwnSessionBus : public QDBusConnection
{
public:
    OwnSessionBus()
        : QDBusConnection(connectToBus(SessionBus, uniqueName()))
    {}
    ~OwnSessionBus() { disconnectFromBus(name()); }
    OwnSessionBus(const OwnSessionBus &) = delete;
    OwnSessionBus &operator=(const OwnSessionBus &) = delete;

private:
    static QString uniqueName()
    {
        static std::atomic<int> count{0};
        return QStringLiteral("bexlow-session-bus-%1").arg(++count);
    }
};
