#include "keyboard/portal/remotedesktopportal.h"

#include "core/operationerror.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>

#include <fcntl.h>

namespace {

const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString RemoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString SessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// The device type bit of the keyboard.
constexpr uint KeyboardDevice = 1;
// Keep the grant until the user revokes it (version 2 and later).
constexpr uint PersistUntilRevoked = 2;
// How long the user may take over the desktop's dialog.
constexpr int AnswerTimeoutMs = 120000;
// How long the portal may take to answer a key.
constexpr int ReplyTimeoutMs = 10000;

QVariant propertyOf(const QDBusConnection &conn, const QString &name)
{
    const QDBusMessage reply =
        conn.call(QDBusMessage::createMethodCall(QLatin1String(RemoteDesktopPortal::Service), PortalPath,
                                                 PropertiesInterface, QStringLiteral("Get"))
                  << RemoteDesktopInterface << name);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

} // namespace

// Takes the answer the portal sends to one request.
class PortalAnswer : public QObject
{
    Q_OBJECT
public:
    bool answered = false;
    uint response = 0;
    QVariantMap results;
    QEventLoop loop;

public slots:
    void take(uint code, const QVariantMap &values)
    {
        answered = true;
        response = code;
        results = values;
        loop.quit();
    }
};

bool RemoteDesktopPortal::offersKeyboard(const QDBusConnection &conn)
{
    return conn.isConnected() && (propertyOf(conn, QStringLiteral("AvailableDeviceTypes")).toUInt() & KeyboardDevice);
}

RemoteDesktopPortal::RemoteDesktopPortal(const QString &restoreToken)
{
    try {
        if (!m_bus.isConnected())
            fail(OperationError::TypingUnavailable, QStringLiteral("cannot be reached"), m_bus.lastError().message());
        m_version = propertyOf(m_bus, QStringLiteral("version")).toUInt();
        const bool persists = m_version >= 2;
        m_sessionPath = request(QStringLiteral("CreateSession"), {},
                                {{QStringLiteral("session_handle_token"), QStringLiteral("bexlow")}},
                                QStringLiteral("refused a session"))
                            .value(QStringLiteral("session_handle"))
                            .toString();
        QVariantMap devices{{QStringLiteral("types"), KeyboardDevice}};
        if (persists) {
            devices.insert(QStringLiteral("persist_mode"), PersistUntilRevoked);
            if (!restoreToken.isEmpty())
                devices.insert(QStringLiteral("restore_token"), restoreToken);
        }
        const QVariant session = QVariant::fromValue(QDBusObjectPath(m_sessionPath));
        request(QStringLiteral("SelectDevices"), {session}, devices, QStringLiteral("refused the keyboard"));
        const QVariantMap started =
            request(QStringLiteral("Start"), {session, QString()}, {}, QStringLiteral("was not allowed to type"));
        if (!(started.value(QStringLiteral("devices")).toUInt() & KeyboardDevice))
            fail(OperationError::TypingUnavailable, QStringLiteral("was not allowed to type"),
                 QStringLiteral("the keyboard was not granted"));
        m_restoreToken = started.value(QStringLiteral("restore_token")).toString();
    } catch (const OperationError &) {
        if (!m_sessionPath.isEmpty())
            m_bus.call(QDBusMessage::createMethodCall(QLatin1String(Service), m_sessionPath, SessionInterface,
                                                      QStringLiteral("Close")));
        throw;
    }
}

RemoteDesktopPortal::~RemoteDesktopPortal()
{
    // The portal also closes the session when the connection goes.
    m_bus.send(QDBusMessage::createMethodCall(QLatin1String(Service), m_sessionPath, SessionInterface,
                                              QStringLiteral("Close")));
}

QVariantMap RemoteDesktopPortal::request(const QString &method, QVariantList arguments, QVariantMap options,
                                         const QString &what)
{
    // The answer comes as a signal on a request object whose path the
    // caller can know beforehand; listening there before the call means it
    // cannot be missed.
    const QString token = QStringLiteral("bexlow%1").arg(++m_requests);
    const QString sender = m_bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString requestPath = QStringLiteral("%1/request/%2/%3").arg(PortalPath, sender, token);
    PortalAnswer answer;
    m_bus.connect(QLatin1String(Service), requestPath, RequestInterface, QStringLiteral("Response"), &answer,
                  SLOT(take(uint, QVariantMap)));

    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(Service), PortalPath, RemoteDesktopInterface, method);
    call.setArguments(arguments << options);
    const QDBusMessage reply = m_bus.call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        fail(OperationError::TypingUnavailable, what, reply.errorMessage());

    // Keys from the serial line wait meanwhile: they are typed once the
    // session is there, in order.
    QTimer::singleShot(AnswerTimeoutMs, &answer.loop, &QEventLoop::quit);
    if (!answer.answered)
        answer.loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
    if (!answer.answered)
        fail(OperationError::TypingUnavailable, what, QStringLiteral("no answer"));
    if (answer.response == 1)
        fail(OperationError::TypingUnavailable, what, QStringLiteral("the user declined"));
    if (answer.response != 0)
        fail(OperationError::TypingUnavailable, what, QStringLiteral("the desktop declined"));
    return answer.results;
}

int RemoteDesktopPortal::connectToEis()
{
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(Service), PortalPath, RemoteDesktopInterface,
                                                          QStringLiteral("ConnectToEIS"));
    message << QVariant::fromValue(QDBusObjectPath(m_sessionPath)) << QVariantMap();
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, ReplyTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        fail(OperationError::TypingUnavailable, QStringLiteral("gave no EIS connection"), reply.errorMessage());
    const auto descriptor = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
    if (!descriptor.isValid())
        fail(OperationError::TypingUnavailable, QStringLiteral("gave no EIS connection"),
             QStringLiteral("its answer held no file descriptor"));
    // The message's copy closes with it.
    const int fd = ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        fail(OperationError::TypingUnavailable, QStringLiteral("gave no EIS connection"),
             OperationError::systemReason(errno));
    return fd;
}

void RemoteDesktopPortal::key(uint32_t evdevCode, bool pressed)
{
    // The portal hands each call to a thread of its own, so calls sent
    // without waiting may reach the desktop out of order: a Shift released
    // before its letter. Once a call is answered, the portal has passed it
    // on; only then does the next go.
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(Service), PortalPath, RemoteDesktopInterface,
                                                          QStringLiteral("NotifyKeyboardKeycode"));
    message << QVariant::fromValue(QDBusObjectPath(m_sessionPath)) << QVariantMap() << int(evdevCode)
            << uint(pressed ? 1 : 0);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, ReplyTimeoutMs);
    // It refuses a key of a session it has closed.
    if (reply.type() == QDBusMessage::ErrorMessage)
        fail(OperationError::TypingFailed, QStringLiteral("ended the typing session"), reply.errorMessage());
}

void RemoteDesktopPortal::fail(int number, const QString &what, const QString &why) const
{
    throw OperationError(
        number,
        QStringLiteral("The desktop portal's remote desktop (%1) %2: %3").arg(QLatin1String(Service), what, why));
}

#include "remotedesktopportal.moc"
