#include "keyboard/x11/typingsession.h"

#include "keyboard/x11/fatalsignalcleanup.h"
#include "keyboard/x11/xkbkeymap.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

TypingSession::TypingSession(Display *display, const XkbKeymap &keymap)
    : m_display(display)
    , m_keymap(keymap)
{
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    suspendAutoRepeat();

    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    for (int keycode : m_keymap.modifiers().all) {
        if (keys[keycode / 8] & (1 << (keycode % 8))) {
            m_userHeldKeys.push_back(keycode);
            sendKey(keycode, false);
        }
    }
    if (state.latched_mods)
        XkbLatchModifiers(m_display, XkbUseCoreKbd, state.latched_mods, 0);
    if (state.latched_group)
        XkbLatchGroup(m_display, XkbUseCoreKbd, 0);
    m_lockedModifiers = state.locked_mods;
    if (m_lockedModifiers)
        XkbLockModifiers(m_display, XkbUseCoreKbd, m_lockedModifiers, 0);

    m_lockedGroup = state.locked_group;
    m_startGroup = state.group;
    // With the held keys let go, the locked group is the one in force.
    m_group = m_lockedGroup;
    setGroup(m_startGroup);
}

TypingSession::~TypingSession()
{
    finish();
}

void TypingSession::type(const KeyPosition &position)
{
    setGroup(position.group);
    setModifiers(position.modifiers);
    press(position.keycode);
    release(position.keycode);
}

void TypingSession::typeSpare(int keycode, int level, int group)
{
    // On a spare keycode of one level Shift may stay down: both levels hold
    // the same character. AltGr may not: a receiver could take the unused
    // modifier for a shortcut.
    if (m_keymap.spareLevels() == 1)
        setModifiers(m_pressedModifiers & m_keymap.modifiers().shiftMask);
    else
        setModifiers(m_keymap.spareLevelModifiers(level));
    // A delta from the group in force, which the X server may wrap.
    if (group != m_group)
        XkbLatchGroup(m_display, XkbUseCoreKbd, unsigned(group - m_group));
    press(keycode);
    release(keycode);
}

void TypingSession::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    setModifiers(0);
    if (m_group != m_lockedGroup)
        XkbLockGroup(m_display, XkbUseCoreKbd, unsigned(m_lockedGroup));
    if (m_lockedModifiers)
        XkbLockModifiers(m_display, XkbUseCoreKbd, m_lockedModifiers, m_lockedModifiers);
    for (int keycode : m_userHeldKeys)
        sendKey(keycode, true);
    if (m_autoRepeatSuspended)
        setAutoRepeat(AutoRepeatModeOn);
}

void TypingSession::suspendAutoRepeat()
{
    XKeyboardState keyboard{};
    XGetKeyboardControl(m_display, &keyboard);
    if (keyboard.global_auto_repeat != AutoRepeatModeOn)
        return;
    setAutoRepeat(AutoRepeatModeOff);
    m_autoRepeatSuspended = true;
}

void TypingSession::setAutoRepeat(int mode)
{
    XKeyboardControl control{};
    control.auto_repeat_mode = mode;
    XChangeKeyboardControl(m_display, KBAutoRepeatMode, &control);
}

void TypingSession::setModifiers(unsigned wanted)
{
    const ModifierKeys &modifiers = m_keymap.modifiers();
    for (unsigned bit : {modifiers.shiftMask, modifiers.level3Mask}) {
        if (bit == 0)
            continue;
        const bool down = m_pressedModifiers & bit;
        const bool want = wanted & bit;
        if (down == want)
            continue;
        const int keycode = modifiers.keycodeFor(bit);
        if (want)
            press(keycode);
        else
            release(keycode);
        m_pressedModifiers ^= bit;
    }
}

void TypingSession::setGroup(int group)
{
    if (group == m_group)
        return;
    XkbLockGroup(m_display, XkbUseCoreKbd, unsigned(group));
    m_group = group;
}

void TypingSession::press(int keycode)
{
    FatalSignalCleanup::keyDown(keycode);
    sendKey(keycode, true);
}

void TypingSession::release(int keycode)
{
    sendKey(keycode, false);
    FatalSignalCleanup::keyUp(keycode);
}

void TypingSession::sendKey(int keycode, bool down)
{
    const bool repress = down && keycode == m_lastEventRelease;
    m_lastEventRelease = down ? 0 : keycode;
    XTestFakeKeyEvent(m_display, unsigned(keycode), down ? True : False,
                      repress ? static_cast<unsigned long>(RepressDelay.count()) : CurrentTime);
}
