#include "xwindowproperties.h"

#include <QByteArray>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace XWindowProperties {

namespace {

struct DisplayCloser
{
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr openDisplay()
{
    return DisplayPtr(XOpenDisplay(nullptr));
}

// The property's raw items, or nothing when the window does not have it.
std::optional<QByteArray> property(Display *display, Window window, const char *name, Atom type,
                                   int *format = nullptr)
{
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    const Atom atom = XInternAtom(display, name, False);
    if (XGetWindowProperty(display, window, atom, 0, 1024, False, type, &actualType, &actualFormat, &count,
                           &remaining, &data) != Success || actualType == None) {
        return std::nullopt;
    }
    // Format 32 items are longs in Xlib's memory.
    const int itemSize = actualFormat == 32 ? int(sizeof(long)) : actualFormat / 8;
    QByteArray bytes(reinterpret_cast<const char *>(data), int(count) * itemSize);
    XFree(data);
    if (format)
        *format = actualFormat;
    return bytes;
}

} // namespace

QString title(WId window)
{
    const DisplayPtr display = openDisplay();
    if (!display)
        return QString();
    const Atom utf8 = XInternAtom(display.get(), "UTF8_STRING", False);
    const std::optional<QByteArray> name = property(display.get(), Window(window), "_NET_WM_NAME", utf8);
    return name ? QString::fromUtf8(*name) : QString();
}

std::optional<SizeHints> sizeHints(WId window)
{
    const DisplayPtr display = openDisplay();
    if (!display)
        return std::nullopt;
    XSizeHints hints{};
    long supplied = 0;
    if (!XGetWMNormalHints(display.get(), Window(window), &hints, &supplied))
        return std::nullopt;
    SizeHints result;
    if (hints.flags & PMinSize) {
        result.minWidth = hints.min_width;
        result.minHeight = hints.min_height;
    }
    if (hints.flags & PMaxSize) {
        result.maxWidth = hints.max_width;
        result.maxHeight = hints.max_height;
    }
    return result;
}

std::optional<Functions> functions(WId window)
{
    const DisplayPtr display = openDisplay();
    if (!display)
        return std::nullopt;
    const Atom hintsAtom = XInternAtom(display.get(), "_MOTIF_WM_HINTS", False);
    const std::optional<QByteArray> bytes = property(display.get(), Window(window), "_MOTIF_WM_HINTS", hintsAtom);
    if (!bytes || bytes->size() < int(2 * sizeof(long)))
        return std::nullopt;
    const auto *items = reinterpret_cast<const long *>(bytes->constData());
    constexpr long HintsFunctions = 1;
    constexpr long FunctionAll = 1, FunctionMinimize = 8, FunctionMaximize = 16, FunctionClose = 32;
    const long flags = items[0];
    long offered = items[1];
    if (!(flags & HintsFunctions))
        offered = FunctionAll;
    // "All" turns the meaning round: the bits named are the ones taken away.
    const auto has = [offered](long function) {
        return (offered & FunctionAll) ? !(offered & function) : bool(offered & function);
    };
    return Functions{has(FunctionMinimize), has(FunctionMaximize), has(FunctionClose)};
}

void requestClose(WId window)
{
    const DisplayPtr display = openDisplay();
    if (!display)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display.get(), Window(window), False, NoEventMask, &event);
    XFlush(display.get());
}

QList<WId> findByTitle(const QString &wanted)
{
    QList<WId> found;
    const DisplayPtr display = openDisplay();
    if (!display)
        return found;
    Window root = 0, parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display.get(), DefaultRootWindow(display.get()), &root, &parent, &children, &count))
        return found;
    const Atom utf8 = XInternAtom(display.get(), "UTF8_STRING", False);
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display.get(), children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        const std::optional<QByteArray> name = property(display.get(), children[i], "_NET_WM_NAME", utf8);
        if (name && QString::fromUtf8(*name) == wanted)
            found << WId(children[i]);
    }
    XFree(children);
    return found;
}

} // namespace XWindowProperties
