#include "keyboard/portal/eiskeyboard.h"

#include "core/operationerror.h"

#include <libei.h>
#include <poll.h>
#include <unistd.h>

namespace {

// How long the server may take to give a keyboard that may send keys.
constexpr std::chrono::milliseconds SetupTimeout{5000};
// How long the server may take to answer a ping, or to resume a keyboard
// it has paused.
constexpr std::chrono::milliseconds ReplyTimeout{10000};

} // namespace

void EisKeyboard::Unref::operator()(ei *context) const
{
    ei_unref(context);
}

void EisKeyboard::Unref::operator()(ei_device *device) const
{
    ei_device_unref(device);
}

void EisKeyboard::Unref::operator()(struct ei_ping *ping) const
{
    ei_ping_unref(ping);
}

EisKeyboard::EisKeyboard(int fd)
    : m_ei(ei_new_sender(nullptr))
{
    if (!m_ei) {
        ::close(fd);
        fail(OperationError::TypingUnavailable, QStringLiteral("could not be set up"));
    }
    ei_configure_name(m_ei.get(), "bexlow");
    const int result = ei_setup_backend_fd(m_ei.get(), fd);
    if (result < 0)
        fail(OperationError::TypingUnavailable,
             QStringLiteral("could not be set up: %1").arg(OperationError::systemReason(-result)));
    waitFor([this] { return m_state == State::Emulating; }, SetupTimeout, OperationError::TypingUnavailable,
            QStringLiteral("gave no keyboard"));
}

EisKeyboard::~EisKeyboard() = default;

void EisKeyboard::key(uint32_t evdevCode, bool pressed)
{
    // Keys sent to a paused keyboard are dropped: they wait for its resume.
    takeEvents();
    if (m_state != State::Emulating)
        waitFor([this] { return m_state == State::Emulating; }, ReplyTimeout, OperationError::TypingFailed,
                QStringLiteral("paused the keyboard and did not resume it"));
    ei_device_keyboard_key(m_device.get(), evdevCode, pressed);
    ei_device_frame(m_device.get(), ei_now(m_ei.get()));
}

void EisKeyboard::sync()
{
    // The server handles a connection's requests in order, so the answer
    // to a ping comes after every key sent before it.
    m_ping.reset(ei_new_ping(m_ei.get()));
    ei_ping(m_ping.get());
    waitFor([this] { return !m_ping; }, ReplyTimeout, OperationError::TypingFailed,
            QStringLiteral("did not answer a ping"));
}

void EisKeyboard::takeEvents()
{
    ei_dispatch(m_ei.get());
    while (ei_event *event = ei_get_event(m_ei.get())) {
        ei_device *device = ei_event_get_device(event);
        const bool ours = device && device == m_device.get();
        switch (ei_event_get_type(event)) {
        case EI_EVENT_SEAT_ADDED:
            ei_seat_bind_capabilities(ei_event_get_seat(event), EI_DEVICE_CAP_KEYBOARD, nullptr);
            break;
        case EI_EVENT_DEVICE_ADDED:
            if (!m_device && ei_device_has_capability(device, EI_DEVICE_CAP_KEYBOARD))
                m_device.reset(ei_device_ref(device));
            break;
        case EI_EVENT_DEVICE_RESUMED:
            if (ours) {
                ei_device_start_emulating(device, ++m_sequence);
                m_state = State::Emulating;
            }
            break;
        case EI_EVENT_DEVICE_PAUSED:
            if (ours && m_state == State::Emulating)
                m_state = State::Paused;
            break;
        case EI_EVENT_DEVICE_REMOVED:
            if (ours)
                m_state = State::Lost;
            break;
        case EI_EVENT_DISCONNECT:
            m_state = State::Lost;
            break;
        case EI_EVENT_PONG:
            if (ei_event_pong_get_ping(event) == m_ping.get())
                m_ping.reset();
            break;
        default:
            break;
        }
        ei_event_unref(event);
    }
}

void EisKeyboard::waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout, int number,
                          const QString &what)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        takeEvents();
        if (m_state == State::Lost)
            fail(OperationError::TypingFailed, QStringLiteral("closed the connection or removed the keyboard"));
        if (done())
            return;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            fail(number, what);
        pollfd readable{ei_get_fd(m_ei.get()), POLLIN, 0};
        ::poll(&readable, 1, int(left.count()));
    }
}

void EisKeyboard::fail(int number, const QString &what)
{
    throw OperationError(
        number, QStringLiteral("The compositor's EIS server, reached through the desktop portal, %1").arg(what));
}
