#include "keyboard/xserver/xwaylandkeywatch.h"

#include "core/operationerror.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/sync.h>

#include <poll.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

// How often the server's clock is asked while it has not moved on.
constexpr std::chrono::milliseconds ClockPoll{1};

OperationError missing(const QString &display, const char *what)
{
    return OperationError(OperationError::TypingUnavailable,
                          QStringLiteral("the X server on %1 does not offer %2").arg(display, QLatin1String(what)));
}

} // namespace

XwaylandKeyWatch::XwaylandKeyWatch()
{
    Display *display = m_connection.display();
    int event = 0, error = 0;
    int major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &m_xinputOpcode, &event, &error)
        || XIQueryVersion(display, &major, &minor) != Success)
        throw missing(m_connection.name(), "XInput 2");
    if (!XSyncQueryExtension(display, &event, &error) || !XSyncInitialize(display, &major, &minor))
        throw missing(m_connection.name(), "the SYNC extension");
    int count = 0;
    XSyncSystemCounter *counters = XSyncListSystemCounters(display, &count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(counters[i].name, "SERVERTIME") == 0)
            m_serverTimeCounter = counters[i].counter;
    }
    if (counters)
        XSyncFreeSystemCounterList(counters);
    if (m_serverTimeCounter == 0)
        throw missing(m_connection.name(), "its clock (SYNC's SERVERTIME)");

    m_connection.sync();
    m_connection.throwIfLost();
}

XwaylandKeyWatch::~XwaylandKeyWatch() = default;

bool XwaylandKeyWatch::awaitRepressable(uint8_t keycode, std::chrono::milliseconds timeout)
{
    const Deadline deadline = std::chrono::steady_clock::now() + timeout;
    if (!readUntil([&] { return m_handled[keycode] >= m_sent[keycode]; }, deadline))
        return false;
    // The server's clock, compared as its 32-bit times wrap.
    const uint32_t released = m_lastRelease[keycode];
    while (int32_t(serverTime() - released) < 1) {
        if (lost() || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(ClockPoll);
    }
    return true;
}

void XwaylandKeyWatch::begin()
{
    // What came before the last end() is read and forgotten.
    m_connection.sync();
    readPending();
    m_sent = m_handled;
    selectReleases(true);
    m_connection.sync();
}

void XwaylandKeyWatch::end(std::chrono::milliseconds timeout)
{
    readUntil([this] { return std::equal(m_sent.begin(), m_sent.end(), m_handled.begin(), std::less_equal<>()); },
              std::chrono::steady_clock::now() + timeout);
    m_sent = m_handled;
    selectReleases(false);
    XFlush(m_connection.display());
}

void XwaylandKeyWatch::selectReleases(bool selected)
{
    Display *display = m_connection.display();
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    if (selected)
        XISetMask(bits.data(), XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, int(bits.size()), bits.data()};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
}

template<typename Done>
bool XwaylandKeyWatch::readUntil(Done done, Deadline deadline)
{
    Display *display = m_connection.display();
    for (;;) {
        readPending();
        if (done())
            return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (lost() || left.count() <= 0)
            return false;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, int(left.count()) + 1);
    }
}

void XwaylandKeyWatch::readPending()
{
    Display *display = m_connection.display();
    while (!lost() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        XGenericEventCookie &cookie = event.xcookie;
        if (cookie.type != GenericEvent || cookie.extension != m_xinputOpcode || !XGetEventData(display, &cookie))
            continue;
        if (cookie.evtype == XI_RawKeyRelease) {
            const auto *raw = static_cast<const XIRawEvent *>(cookie.data);
            const auto keycode = uint8_t(raw->detail);
            ++m_handled[keycode];
            m_lastRelease[keycode] = uint32_t(raw->time);
        }
        XFreeEventData(display, &cookie);
    }
}

uint32_t XwaylandKeyWatch::serverTime()
{
    XSyncValue value{};
    if (!XSyncQueryCounter(m_connection.display(), m_serverTimeCounter, &value))
        return 0;
    return uint32_t(XSyncValueLow32(value));
}
