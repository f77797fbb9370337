#include "keyboard/wayland/waylandconnection.h"

#include "core/operationerror.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace {

// How long a flush may wait for the compositor to read before the
// connection counts as hung.
constexpr int FlushTimeoutMs = 2000;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

WaylandConnection::WaylandConnection()
{
    m_display = wl_display_connect(nullptr);
    if (!m_display) {
        const int error = errno;
        throw OperationError(OperationError::TypingUnavailable,
                             QStringLiteral("no Wayland compositor at %1 (%2)").arg(displayName(), systemError(error)));
    }
    static const wl_registry_listener registryListener = {&WaylandConnection::addGlobal,
                                                          &WaylandConnection::removeGlobal};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);
    try {
        roundtrip();
        // The seat's capabilities arrive in answer to the bind.
        if (m_seat)
            roundtrip();
    } catch (const OperationError &) {
        if (m_seat)
            wl_seat_destroy(m_seat);
        wl_registry_destroy(m_registry);
        wl_display_disconnect(m_display);
        throw;
    }
}

WaylandConnection::~WaylandConnection()
{
    if (m_seat)
        wl_seat_destroy(m_seat);
    wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
}

QString WaylandConnection::displayName()
{
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    return name.isEmpty() ? QStringLiteral("wayland-0") : name;
}

bool WaylandConnection::offers(const char *interface) const
{
    for (const Global &global : m_globals)
        if (global.interface == interface)
            return true;
    return false;
}

void *WaylandConnection::bind(const wl_interface *interface, uint32_t version)
{
    for (const Global &global : m_globals)
        if (global.interface == interface->name)
            return wl_registry_bind(m_registry, global.name, interface, std::min(version, global.version));
    return nullptr;
}

void WaylandConnection::roundtrip()
{
    if (wl_display_roundtrip(m_display) < 0)
        throwIfFailed();
}

void WaylandConnection::flush()
{
    while (wl_display_flush(m_display) < 0) {
        if (errno != EAGAIN)
            throwIfFailed();
        pollfd socket = {wl_display_get_fd(m_display), POLLOUT, 0};
        if (poll(&socket, 1, FlushTimeoutMs) == 0)
            throw OperationError(
                OperationError::TypingFailed,
                QStringLiteral("the Wayland compositor at %1 stopped reading what bexlow types").arg(displayName()));
    }
}

void WaylandConnection::throwIfFailed() const
{
    const int error = wl_display_get_error(m_display);
    if (error == 0)
        return;
    uint32_t code = 0;
    const wl_interface *interface = nullptr;
    if (error == EPROTO && wl_display_get_protocol_error(m_display, &interface, &code))
        throw OperationError(OperationError::TypingFailed,
                             QStringLiteral("the Wayland compositor at %1 refused a request (%2 error %3)")
                                 .arg(displayName(), QString::fromLatin1(interface ? interface->name : "?"))
                                 .arg(code));
    throw OperationError(
        OperationError::TypingFailed,
        QStringLiteral("connection to the Wayland compositor at %1 lost (%2)").arg(displayName(), systemError(error)));
}

void WaylandConnection::addGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface,
                                  uint32_t version)
{
    auto *self = static_cast<WaylandConnection *>(data);
    self->m_globals.push_back({name, interface, version});
    if (!self->m_seat && std::strcmp(interface, wl_seat_interface.name) == 0) {
        self->m_seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        static const wl_seat_listener seatListener = {&WaylandConnection::seatCapabilitiesChanged,
                                                      &WaylandConnection::seatNamed};
        wl_seat_add_listener(self->m_seat, &seatListener, self);
    }
}

void WaylandConnection::removeGlobal(void *data, wl_registry *, uint32_t name)
{
    auto *self = static_cast<WaylandConnection *>(data);
    for (auto it = self->m_globals.begin(); it != self->m_globals.end(); ++it)
        if (it->name == name) {
            self->m_globals.erase(it);
            return;
        }
}

void WaylandConnection::seatCapabilitiesChanged(void *data, wl_seat *, uint32_t capabilities)
{
    static_cast<WaylandConnection *>(data)->m_seatCapabilities = capabilities;
}

void WaylandConnection::seatNamed(void *, wl_seat *, const char *) {}

int WaylandConnection::displayFd() const
{
    return wl_display_get_fd(m_display);
}

int WaylandConnection::peerPid(int socket)
{
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    return getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 ? credentials.pid : -1;
}
