#include "keyboardstate.h"

// Qt before Xlib, whose macros (Bool, Status) clash with Qt's names.
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <stdexcept>

KeyboardState::KeyboardState()
    : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        throw std::runtime_error("the test cannot open $DISPLAY");
}

KeyboardState::~KeyboardState()
{
    XCloseDisplay(m_display);
}

QByteArray KeyboardState::keymapText() const
{
    QByteArray text;
    XkbDescPtr xkb = XkbGetMap(m_display, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd);
    if (!xkb)
        throw std::runtime_error("the keymap could not be read");
    for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode) {
        text += "keycode " + QByteArray::number(keycode) + " modifiers " + QByteArray::number(xkb->map->modmap[keycode]);
        for (int group = 0; group < XkbKeyNumGroups(xkb, keycode); ++group) {
            text += " group " + QByteArray::number(group) + " type "
                    + QByteArray::number(XkbKeyKeyTypeIndex(xkb, keycode, group)) + ":";
            for (int level = 0; level < XkbKeyGroupWidth(xkb, keycode, group); ++level)
                text += " " + QByteArray::number(qulonglong(XkbKeySymEntry(xkb, keycode, level, group)), 16);
        }
        text += "\n";
    }
    XkbFreeKeyboard(xkb, 0, True);

    QProcess xkbcomp;
    xkbcomp.start(QStringLiteral("xkbcomp"), {QStringLiteral("-xkb"), qEnvironmentVariable("DISPLAY"),
                                              QStringLiteral("-")});
    if (!xkbcomp.waitForFinished(20000) || xkbcomp.exitCode() != 0)
        throw std::runtime_error("xkbcomp could not read the keymap");
    return xkbcomp.readAllStandardOutput() + text;
}

std::vector<int> KeyboardState::keysDown() const
{
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    std::vector<int> down;
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (keys[keycode / 8] & (1 << (keycode % 8)))
            down.push_back(keycode);
    }
    return down;
}

bool KeyboardState::capsLockOn() const
{
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.locked_mods & LockMask;
}

void KeyboardState::setCapsLock(bool on)
{
    XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
    XSync(m_display, False);
}

int KeyboardState::group() const
{
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.group;
}

void KeyboardState::holdKey(int keycode, bool down)
{
    XTestFakeKeyEvent(m_display, unsigned(keycode), down ? True : False, CurrentTime);
    XSync(m_display, False);
}

int KeyboardState::keycodeOf(unsigned long keysym) const
{
    return XKeysymToKeycode(m_display, keysym);
}

bool KeyboardState::focus(unsigned long window, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(m_display, window, &attributes) && attributes.map_state == IsViewable) {
            XSetInputFocus(m_display, window, RevertToParent, CurrentTime);
            XSync(m_display, False);
            if (focusedWindow() == window)
                return true;
        }
        QThread::msleep(20);
    }
    return false;
}

unsigned long KeyboardState::focusedWindow() const
{
    Window focused = None;
    int revert = 0;
    XGetInputFocus(m_display, &focused, &revert);
    return focused;
}
