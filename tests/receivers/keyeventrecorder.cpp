// A receiving window that records every key event with the modifier state
// the receiver saw, for checking what the program really pressed.
//
// Usage: bexlow-key-event-recorder
// Its first output line is "window <id>"; then one line per key event:
// "press|release <keycode> <state> <keysym>", all numbers in hex, the keysym
// looked up in the keymap in force when the event is handled, as any
// receiver would. Ends on SIGTERM or when the display goes.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <poll.h>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
}

int main()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    std::signal(SIGTERM, [](int) { stopRequested = 1; });

    int xkbEvent = 0, xkbError = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    XkbQueryExtension(display, nullptr, &xkbEvent, &xkbError, &major, &minor);
    XkbSelectEvents(display, XkbUseCoreKbd, XkbMapNotifyMask, XkbMapNotifyMask);

    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 400, 120, 0,
                                              BlackPixel(display, screen), WhitePixel(display, screen));
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XStoreName(display, window, "key event recorder");
    XMapWindow(display, window);
    XSync(display, False);
    std::printf("window %lx\n", window);
    std::fflush(stdout);

    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    while (!stopRequested) {
        if (!XPending(display)) {
            ::poll(&connection, 1, 100);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == xkbEvent) {
            XkbRefreshKeyboardMapping(reinterpret_cast<XkbMapNotifyEvent *>(&event));
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
        } else if (event.type == KeyPress || event.type == KeyRelease) {
            unsigned int consumed = 0;
            KeySym keysym = NoSymbol;
            XkbLookupKeySym(display, KeyCode(event.xkey.keycode), event.xkey.state, &consumed, &keysym);
            std::printf("%s %x %x %lx\n", event.type == KeyPress ? "press" : "release", event.xkey.keycode,
                        event.xkey.state, keysym);
            std::fflush(stdout);
        }
    }
    XCloseDisplay(display);
    return 0;
}
