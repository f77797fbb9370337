#include "keyboard/wlroots/swayversion.h"

#include "keyboard/wayland/waylandconnection.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// sway's IPC: a message is "i3-ipc", its payload's length and its type
// (both 32-bit, native order), then the payload.
constexpr char Magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr uint32_t GetVersion = 7;
constexpr int HeaderSize = sizeof(Magic) + 2 * sizeof(uint32_t);

bool transfer(int fd, char *data, size_t size, bool sending)
{
    while (size > 0) {
        const ssize_t n = sending ? ::send(fd, data, size, MSG_NOSIGNAL) : ::recv(fd, data, size, 0);
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

QByteArray versionReply(int fd)
{
    char header[HeaderSize];
    std::memcpy(header, Magic, sizeof(Magic));
    const uint32_t request[2] = {0, GetVersion};
    std::memcpy(header + sizeof(Magic), request, sizeof(request));
    if (!transfer(fd, header, sizeof(header), true) || !transfer(fd, header, sizeof(header), false)
        || std::memcmp(header, Magic, sizeof(Magic)) != 0)
        return {};
    uint32_t reply[2];
    std::memcpy(reply, header + sizeof(Magic), sizeof(reply));
    QByteArray payload(qsizetype(std::min<uint32_t>(reply[0], 1 << 16)), '\0');
    if (reply[1] != GetVersion || !transfer(fd, payload.data(), size_t(payload.size()), false))
        return {};
    return payload;
}

} // namespace

std::optional<std::pair<int, int>> swayVersion(const WaylandConnection &connection)
{
    const char *path = std::getenv("SWAYSOCK");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!path || std::strlen(path) >= sizeof(address.sun_path))
        return std::nullopt;
    std::strcpy(address.sun_path, path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    const timeval timeout{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    QByteArray reply;
    // Another sway's socket (a stale $SWAYSOCK) would tell of another version.
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0
        && WaylandConnection::peerPid(fd) == connection.compositorPid())
        reply = versionReply(fd);
    ::close(fd);
    const QJsonObject version = QJsonDocument::fromJson(reply).object();
    if (!version.value(QLatin1String("major")).isDouble() || !version.value(QLatin1String("minor")).isDouble())
        return std::nullopt;
    return std::pair{version.value(QLatin1String("major")).toInt(), version.value(QLatin1String("minor")).toInt()};
}
