// GoogleTest entry for the window tests: a QApplication on the display that
// scripts/with-xvfb.sh provides. Also the two helpers that speak Xlib, whose
// macros clash with Qt's names elsewhere.
#include <QApplication>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

// A property's items; format 32 items are longs in Xlib's memory.
static std::vector<long> property(Display *display, WId window, const char *name)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    XGetWindowProperty(display, Window(window), XInternAtom(display, name, False), 0, 32, False, AnyPropertyType, &type,
                       &format, &count, &remaining, &data);
    const auto *items = reinterpret_cast<const long *>(data);
    std::vector<long> result(items, items + (data && format == 32 ? count : 0));
    XFree(data); // takes a null pointer too
    return result;
}

QString xHints(WId window)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return QStringLiteral("<no display>");
    const std::vector<long> size = property(display, window, "WM_NORMAL_HINTS"),
                            motif = property(display, window, "_MOTIF_WM_HINTS");
    XCloseDisplay(display);
    QStringList facts;
    // Flags, four obsolete fields, the minimum and the maximum size.
    if (size.size() >= 9 && (size[0] & PMinSize) && (size[0] & PMaxSize))
        facts << QStringLiteral("%1x%2-%3x%4").arg(size[5]).arg(size[6]).arg(size[7]).arg(size[8]);
    // Flags, then the functions; without that flag all are offered. "All" (1)
    // turns the meaning round: the bits named are the ones taken away.
    const long offered = motif.size() >= 2 && (motif[0] & 1) ? motif[1] : 1;
    for (const auto &[bit, name] : {std::pair{8L, "minimize"}, {16L, "maximize"}, {32L, "close"}}) {
        if (bool(offered & 1) != bool(offered & bit))
            facts << QLatin1String(name);
    }
    return facts.join(QLatin1Char(' '));
}

void xRequestClose(WId window)
{
    Display *display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, Window(window), False, NoEventMask, &event);
    XCloseDisplay(display); // flushes
}

QRect xOuterRect(WId window)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return QRect();
    // The frame is the window's ancestor that is a child of the root window.
    Window outer = Window(window), root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    while (XQueryTree(display, outer, &root, &parent, &children, &count) && parent != root) {
        XFree(children);
        outer = parent;
    }
    XFree(children);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, outer, &attributes);
    XCloseDisplay(display);
    return QRect(attributes.x, attributes.y, attributes.width, attributes.height);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bexlow"));
    // Tests open and close windows one after another; the program's own
    // ending when its main window closes is tested on the real program.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
