#include "keyboard/gnome/remotedesktopsession.h"

#include "core/operationerror.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace {

const QString ServicePath = QStringLiteral("/org/gnome/Mutter/RemoteDesktop");
const QString ServiceInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString SessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");

// How long mutter may take to answer: sync() waits for all the keys
// before it, a few thousand a second.
constexpr int ReplyTimeoutMs = 30000;

} // namespace

RemoteDesktopSession::RemoteDesktopSession()
{
    if (!m_bus.isConnected())
        throw OperationError(OperationError::TypingUnavailable,
                             QStringLiteral("No D-Bus session bus to reach GNOME's remote desktop service (%1)")
                                 .arg(m_bus.lastError().message()));
    const QDBusMessage created = m_bus.call(QDBusMessage::createMethodCall(
        QLatin1String(Service), ServicePath, ServiceInterface, QStringLiteral("CreateSession")));
    throwIfFailed(created, QStringLiteral("refused a session"), OperationError::TypingUnavailable);
    m_sessionPath = created.arguments().value(0).value<QDBusObjectPath>().path();
    const QDBusMessage started = m_bus.call(QDBusMessage::createMethodCall(QLatin1String(Service), m_sessionPath,
                                                                           SessionInterface, QStringLiteral("Start")));
    throwIfFailed(started, QStringLiteral("refused to start a session"), OperationError::TypingUnavailable);
}

RemoteDesktopSession::~RemoteDesktopSession()
{
    if (!m_sessionPath.isEmpty())
        m_bus.send(QDBusMessage::createMethodCall(QLatin1String(Service), m_sessionPath, SessionInterface,
                                                  QStringLiteral("Stop")));
}

bool RemoteDesktopSession::offered(const QDBusConnection &conn)
{
    return conn.isConnected() && conn.interface()->isServiceRegistered(QLatin1String(Service)).value();
}

void RemoteDesktopSession::key(uint32_t evdevCode, bool pressed)
{
    send("NotifyKeyboardKeycode", evdevCode, pressed);
}

void RemoteDesktopSession::keysym(uint32_t keysym, bool pressed)
{
    send("NotifyKeyboardKeysym", keysym, pressed);
}

void RemoteDesktopSession::send(const char *method, uint32_t value, bool pressed)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(QLatin1String(Service), m_sessionPath, SessionInterface, QLatin1String(method));
    message << value << pressed;
    if (!m_bus.send(message))
        m_sendFailed = true;
}

void RemoteDesktopSession::sync()
{
    // The bus keeps the order of one connection's messages, so the answer
    // to this one comes after mutter has handled every key before it.
    const QDBusMessage reply = m_bus.call(
        QDBusMessage::createMethodCall(QLatin1String(Service), m_sessionPath,
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"))
            << SessionInterface,
        QDBus::Block, ReplyTimeoutMs);
    if (m_sendFailed)
        throw OperationError(OperationError::TypingFailed,
                             QStringLiteral("Keys could not be sent to GNOME's remote desktop service (%1)")
                                 .arg(m_bus.lastError().message()));
    throwIfFailed(reply, QStringLiteral("ended the typing session"), OperationError::TypingFailed);
}

void RemoteDesktopSession::throwIfFailed(const QDBusMessage &reply, const QString &what, int number) const
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return;
    throw OperationError(number, QStringLiteral("GNOME's remote desktop service (%1) %2: %3")
                                     .arg(QLatin1String(Service), what, reply.errorMessage()));
}
