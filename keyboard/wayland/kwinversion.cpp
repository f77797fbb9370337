#include "keyboard/wayland/kwinversion.h"

#include "keyboard/wayland/waylandconnection.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QRegularExpression>

namespace {

constexpr int TimeoutMs = 1000;
const QString Service = QStringLiteral("org.kde.KWin");

} // namespace

std::optional<std::pair<int, int>> kwinVersion(const WaylandConnection &connection)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Another KWin on the bus (a nested or a stale one) would tell of
    // another version.
    if (!bus.interface() || bus.interface()->servicePid(Service).value() != uint(connection.compositorPid()))
        return std::nullopt;
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, QStringLiteral("/KWin"), Service, QStringLiteral("supportInformation"));
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, TimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return std::nullopt;
    // "KWin version: 6.7.4" on a line of its own.
    static const QRegularExpression version(QStringLiteral("^KWin version: (\\d+)\\.(\\d+)"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = version.match(reply.arguments().constFirst().toString());
    if (!match.hasMatch())
        return std::nullopt;
    return std::pair{match.captured(1).toInt(), match.captured(2).toInt()};
}
