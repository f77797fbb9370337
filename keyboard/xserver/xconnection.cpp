#include "keyboard/xserver/xconnection.h"

#include "core/operationerror.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <vector>

namespace {

const QString Unavailable = QStringLiteral("typing needs an X11 display with the XTEST extension: ");

using ErrorHandler = int (*)(Display *, XErrorEvent *);
using IoErrorHandler = int (*)(Display *);

// Xlib has one error handler and one I/O error handler per process. Ours
// answer for our connections and hand everything else to the handlers that
// were there before.
ErrorHandler previousHandler = nullptr;
IoErrorHandler previousIoHandler = nullptr;
std::vector<XConnection *> connections;

XConnection *connectionOf(Display *display)
{
    for (XConnection *connection : connections) {
        if (connection->display() == display)
            return connection;
    }
    return nullptr;
}

} // namespace

XConnection::XConnection()
{
    m_name = qEnvironmentVariable("DISPLAY");
    if (m_name.isEmpty())
        throw OperationError(OperationError::TypingUnavailable, Unavailable + QStringLiteral("DISPLAY is not set"));

    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
        throw OperationError(OperationError::TypingUnavailable,
                             Unavailable + QStringLiteral("cannot open display %1").arg(m_name));
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(m_display, &event, &error, &major, &minor)) {
        XCloseDisplay(m_display);
        throw OperationError(OperationError::TypingUnavailable,
                             Unavailable + QStringLiteral("the X server on %1 does not offer it").arg(m_name));
    }
    int opcode = 0;
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (!XkbQueryExtension(m_display, &opcode, &event, &error, &major, &minor)) {
        XCloseDisplay(m_display);
        throw OperationError(OperationError::TypingUnavailable,
                             QStringLiteral("typing needs an X11 display with the XKB extension: the X server on %1 "
                                            "does not offer it")
                                 .arg(m_name));
    }

    if (connections.empty()) {
        previousHandler =
            XSetErrorHandler([](Display *display, XErrorEvent *report) { return onError(display, report); });
        // Xlib's default I/O error handler ends the program; for our
        // connections this one returns, and Xlib goes on to onIoError.
        previousIoHandler = XSetIOErrorHandler([](Display *display) {
            if (connectionOf(display) || !previousIoHandler)
                return 0;
            return previousIoHandler(display);
        });
    }
    connections.push_back(this);
    XSetIOErrorExitHandler(m_display, &XConnection::onIoError, this);
}

XConnection::~XConnection()
{
    // On a broken connection this only frees what is left of it.
    XCloseDisplay(m_display);
    connections.erase(std::remove(connections.begin(), connections.end(), this), connections.end());
    if (connections.empty()) {
        XSetErrorHandler(previousHandler);
        XSetIOErrorHandler(previousIoHandler);
    }
}

void XConnection::throwIfLost() const
{
    if (m_lost) {
        throw OperationError(OperationError::TypingFailed,
                             QStringLiteral("typing failed: the connection to the X display %1 was lost").arg(m_name));
    }
}

void XConnection::sync()
{
    if (!m_lost)
        XSync(m_display, False);
}

QString XConnection::takeError()
{
    QString error;
    std::swap(error, m_error);
    return error;
}

int XConnection::onError(Display *display, void *event)
{
    auto *error = static_cast<XErrorEvent *>(event);
    XConnection *connection = connectionOf(display);
    if (!connection)
        return previousHandler ? previousHandler(display, error) : 0;
    char text[256] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    connection->m_error = QStringLiteral("the X server %1 refused a keyboard request (%2, request %3.%4)")
                              .arg(connection->m_name, QString::fromLocal8Bit(text))
                              .arg(error->request_code)
                              .arg(error->minor_code);
    return 0;
}

void XConnection::onIoError(Display *, void *self)
{
    // Returning from here, rather than exiting as Xlib's default does, leaves
    // the connection marked broken; later requests on it are dropped.
    static_cast<XConnection *>(self)->m_lost = true;
}
