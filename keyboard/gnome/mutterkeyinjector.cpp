#include "keyboard/gnome/mutterkeyinjector.h"

#include "keyboard/gnome/remotedesktopsession.h"

#include <utility>

// The gap where Xwayland is not watched: mutter 43 answers before a key it
// took has always reached Xwayland; with a gap of 2 ms, 5 of 100 scans into
// Calc under its Xwayland lost a doubled character, with 10 ms none at
// first and 1 of 100 on a more loaded machine.
MutterKeyInjector::MutterKeyInjector(std::function<bool()> x11ProgramHasFocus)
    : LayoutKeyInjector(std::chrono::milliseconds(10), std::move(x11ProgramHasFocus))
{}

MutterKeyInjector::~MutterKeyInjector()
{
    closeKeys();
}

void MutterKeyInjector::openKeys(WaylandConnection &)
{
    m_session = std::make_unique<RemoteDesktopSession>();
}

void MutterKeyInjector::closeKeys()
{
    m_session.reset();
}

void MutterKeyInjector::key(uint32_t evdevCode, bool pressed)
{
    m_session->key(evdevCode, pressed);
}

bool MutterKeyInjector::typeKeysym(const LayoutStrokes::Stroke &stroke)
{
    if (!stroke.firstPlaceOfKeysym)
        return false;
    m_session->keysym(stroke.keysym, true);
    m_session->keysym(stroke.keysym, false);
    return true;
}

void MutterKeyInjector::sync()
{
    m_session->sync();
}
