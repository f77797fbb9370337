#include "tests/receivers/typingtestsupport.h"
#include "tests/support/eventloop.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

#include <stdexcept>

void startTyping(BexlowProcess &bexlow, const QString &device)
{
    bexlow.start({QStringLiteral("1,9600,n,8,1")});
    if (!bexlow.waitForOpen(device))
        throw std::runtime_error("bexlow did not open the pty: " + bexlow.errorOutput().toStdString());
    // Its main window is shown right after the port opens; let it settle
    // before the test moves the focus to the receiver.
    processEventsFor(500);
}

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
    for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode) {
        text +=
            "keycode " + QByteArray::number(keycode) + " modifiers " + QByteArray::number(xkb->map->modmap[keycode]);
        for (int group = 0; group < XkbKeyNumGroups(xkb, keycode); ++group) {
            text += " group " + QByteArray::number(group) + " type "
                    + QByteArray::number(XkbKeyKeyTypeIndex(xkb, keycode, group)) + ":";
            for (int level = 0; level < XkbKeyGroupWidth(xkb, keycode, group); ++level)
                text += " " + QByteArray::number(qulonglong(XkbKeySymEntry(xkb, keycode, level, group)), 16);
        }
        text += "\n";
    }
    XkbFreeKeyboard(xkb, 0, True);
    return text;
}

std::vector<int> KeyboardState::keysDown() const
{
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    std::vector<int> down;
    for (int keycode = 0; keycode < 256; ++keycode)
        if (keys[keycode / 8] & (1 << (keycode % 8)))
            down.push_back(keycode);
    return down;
}

bool KeyboardState::capsLockOn() const
{
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.locked_mods & LockMask;
}

bool KeyboardState::autoRepeatOn() const
{
    XKeyboardState keyboard{};
    XGetKeyboardControl(m_display, &keyboard);
    return keyboard.global_auto_repeat == AutoRepeatModeOn;
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

void KeyboardState::lockGroup(int group)
{
    XkbLockGroup(m_display, XkbUseCoreKbd, unsigned(group));
    XSync(m_display, False);
}

int KeyboardState::holdKey(unsigned long keysym, bool down)
{
    const int keycode = XKeysymToKeycode(m_display, keysym);
    XTestFakeKeyEvent(m_display, unsigned(keycode), down ? True : False, CurrentTime);
    XSync(m_display, False);
    return keycode;
}

bool KeyboardState::focus(unsigned long window, int timeoutMs)
{
    return processEventsUntil(
        [&] {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(m_display, window, &attributes) || attributes.map_state != IsViewable)
                return false;
            XSetInputFocus(m_display, window, RevertToParent, CurrentTime);
            Window focused = None;
            int revert = 0;
            XGetInputFocus(m_display, &focused, &revert);
            return focused == window;
        },
        timeoutMs);
}
