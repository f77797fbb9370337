#include "keyboard/x11/fatalsignalcleanup.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <csignal>

namespace {

// Only lock-free flags and a pointer are touched by the handler.
volatile sig_atomic_t sectionDepth = 0;
volatile sig_atomic_t pendingSignal = 0;
Display *volatile watchedDisplay = nullptr;
volatile sig_atomic_t keysDown[256] = {};
volatile sig_atomic_t sparesBound[256] = {};
bool installed = false;

constexpr int DeferrableSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};
constexpr int CrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

bool isDeferrable(int signal)
{
    for (int s : DeferrableSignals) {
        if (s == signal)
            return true;
    }
    return false;
}

bool inRange(int keycode)
{
    return keycode > 0 && keycode < 256;
}

} // namespace

void FatalSignalCleanup::watch(Display *display)
{
    if (display != watchedDisplay) {
        for (int keycode = 0; keycode < 256; ++keycode) {
            keysDown[keycode] = 0;
            sparesBound[keycode] = 0;
        }
    }
    watchedDisplay = display;
    if (installed || !display)
        return;
    installed = true;
    auto installFor = [](int signal) {
        struct sigaction current = {};
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
            return;
        struct sigaction action = {};
        action.sa_handler = &FatalSignalCleanup::onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    };
    for (int signal : DeferrableSignals)
        installFor(signal);
    for (int signal : CrashSignals)
        installFor(signal);
}

void FatalSignalCleanup::keyDown(int keycode)
{
    if (inRange(keycode))
        keysDown[keycode] = 1;
}

void FatalSignalCleanup::keyUp(int keycode)
{
    if (inRange(keycode))
        keysDown[keycode] = 0;
}

void FatalSignalCleanup::spareBound(int keycode)
{
    if (inRange(keycode))
        sparesBound[keycode] = 1;
}

void FatalSignalCleanup::spareEmptied(int keycode)
{
    if (inRange(keycode))
        sparesBound[keycode] = 0;
}

FatalSignalCleanup::Section::Section()
{
    sectionDepth = sectionDepth + 1;
}

FatalSignalCleanup::Section::~Section()
{
    sectionDepth = sectionDepth - 1;
    if (sectionDepth == 0 && pendingSignal != 0) {
        cleanUp();
        die(pendingSignal);
    }
}

void FatalSignalCleanup::onSignal(int signal)
{
    if (sectionDepth > 0) {
        if (isDeferrable(signal)) {
            pendingSignal = signal;
            return;
        }
    } else {
        cleanUp();
    }
    die(signal);
}

void FatalSignalCleanup::cleanUp()
{
    Display *display = watchedDisplay;
    if (!display)
        return;
    watchedDisplay = nullptr;
    for (int keycode = 1; keycode < 256; ++keycode) {
        if (keysDown[keycode]) {
            XTestFakeKeyEvent(display, unsigned(keycode), False, CurrentTime);
            keysDown[keycode] = 0;
        }
    }
    KeySym nothing = NoSymbol;
    for (int keycode = 1; keycode < 256; ++keycode) {
        if (sparesBound[keycode]) {
            XChangeKeyboardMapping(display, keycode, 1, &nothing, 1);
            sparesBound[keycode] = 0;
        }
    }
    // Waits for the server to have done it all: once the process is gone,
    // what it wrote may still lie unread in the socket while other clients
    // already look at the keymap.
    XSync(display, False);
}

void FatalSignalCleanup::die(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
