#include "keyboard/wlroots/virtualkeyboardinjector.h"

#include "core/operationerror.h"
#include "keyboard/wayland/waylandconnection.h"
#include "keyboard/wlroots/swayversion.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

// A stroke is two requests, the key's press and its release.
constexpr int StrokesPerFlush = WaylandConnection::RequestsPerFlush / 2;

uint32_t milliseconds()
{
    return uint32_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// The keymap in a sealed memory file, as the protocol hands it over.
int keymapFile(const std::string &keymap)
{
    const int fd = memfd_create("bexlow-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        throw OperationError(errno, QStringLiteral("cannot make a file for the typing keymap: %1")
                                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    const size_t size = keymap.size() + 1; // with its terminating NUL
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, keymap.c_str() + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            throw OperationError(
                error,
                QStringLiteral("cannot write the typing keymap: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
        }
        written += size_t(n);
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

} // namespace

VirtualKeyboardInjector::VirtualKeyboardInjector() = default;

VirtualKeyboardInjector::~VirtualKeyboardInjector()
{
    disconnect();
}

void VirtualKeyboardInjector::checkAvailable()
{
    if (m_connection) {
        try {
            m_connection->throwIfFailed();
            return;
        } catch (const OperationError &) {
            disconnect();
        }
    }
    connect();
}

void VirtualKeyboardInjector::connect()
{
    auto connection = std::make_unique<WaylandConnection>();
    if (!connection->offers(Protocol))
        throw OperationError(OperationError::TypingUnavailable,
                             QStringLiteral("the Wayland compositor at %1 offers no virtual keyboard (%2)")
                                 .arg(WaylandConnection::displayName(), QLatin1String(Protocol)));
    if (!connection->seat())
        throw OperationError(OperationError::TypingUnavailable,
                             QStringLiteral("the Wayland compositor at %1 has no seat to type on")
                                 .arg(WaylandConnection::displayName()));
    const bool seatHadKeyboard = connection->seatCapabilities() & WL_SEAT_CAPABILITY_KEYBOARD;
    m_pacer = KeystrokePacer(KeystrokePacer::paceFor(KeystrokePacer::Compositor::Sway, swayVersion(*connection),
                                                     KeystrokePacer::WlrootsPace));
    m_manager =
        static_cast<zwp_virtual_keyboard_manager_v1 *>(connection->bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_manager, connection->seat());
    m_connection = std::move(connection);
    m_keymap = VirtualKeymap();
    try {
        upload(m_keymap.text());
    } catch (const OperationError &) {
        disconnect();
        throw;
    }
    m_clientsReadyAt = std::chrono::steady_clock::now()
                       + (seatHadKeyboard ? std::chrono::milliseconds(0) : WaylandConnection::KeyboardSetupTime);
}

void VirtualKeyboardInjector::disconnect()
{
    if (!m_connection)
        return;
    if (m_keyboard)
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
    if (m_manager)
        zwp_virtual_keyboard_manager_v1_destroy(m_manager);
    m_keyboard = nullptr;
    m_manager = nullptr;
    wl_display_flush(m_connection->display());
    m_connection.reset();
}

void VirtualKeyboardInjector::upload(const std::string &keymap)
{
    const int fd = keymapFile(keymap);
    zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(keymap.size() + 1));
    ::close(fd);
    // Clearing the (never set) modifiers makes this the seat's active
    // keyboard, so clients get the keymap now rather than with the first key.
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, 0);
    m_group = 0;
    m_connection->roundtrip();
}

void VirtualKeyboardInjector::setGroup(int group)
{
    if (group == m_group)
        return;
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, uint32_t(group));
    m_group = group;
    m_unpacedCost += KeystrokePacer::GroupCost;
}

std::u32string VirtualKeyboardInjector::typeStrokes(const std::u32string &strokes)
{
    std::this_thread::sleep_until(m_clientsReadyAt);
    int previousKeycode = 0;
    size_t from = 0;
    while (from < strokes.size()) {
        const size_t to = m_keymap.pieceEnd(strokes, from);
        if (m_keymap.prepare(strokes, from, to)) {
            waitForRestOf(m_keymap.rebound());
            pace(KeystrokePacer::KeymapCost);
            upload(m_keymap.text());
        }
        for (size_t i = from; i < to; i += StrokesPerFlush) {
            const size_t end = std::min(to, i + StrokesPerFlush);
            pace(double(end - i));
            const uint32_t time = milliseconds();
            const auto now = std::chrono::steady_clock::now();
            for (size_t k = i; k < end; ++k) {
                const VirtualKeymap::Position position = m_keymap.positionOf(strokes[k], previousKeycode);
                previousKeycode = position.keycode;
                setGroup(position.group);
                m_lastTyped[size_t(position.keycode)] = now;
                const uint32_t key = uint32_t(position.keycode - 8);
                zwp_virtual_keyboard_v1_key(m_keyboard, time, key, WL_KEYBOARD_KEY_STATE_PRESSED);
                zwp_virtual_keyboard_v1_key(m_keyboard, time, key, WL_KEYBOARD_KEY_STATE_RELEASED);
            }
            m_connection->flush();
        }
        from = to;
    }
    setGroup(0);
    m_connection->flush();
    m_connection->throwIfFailed();
    return {};
}

void VirtualKeyboardInjector::waitForRestOf(const std::vector<int> &keycodes)
{
    std::chrono::steady_clock::time_point lastUse{};
    for (int keycode : keycodes)
        lastUse = std::max(lastUse, m_lastTyped[size_t(keycode)]);
    if (lastUse + ReuseGap > std::chrono::steady_clock::now()) {
        m_connection->flush();
        std::this_thread::sleep_until(lastUse + ReuseGap);
    }
}

void VirtualKeyboardInjector::pace(double count)
{
    m_pacer.pace(count + m_unpacedCost, [this] { m_connection->flush(); });
    m_unpacedCost = 0;
}
