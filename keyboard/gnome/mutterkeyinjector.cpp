#include "keyboard/gnome/mutterkeyinjector.h"

#include "keyboard/gnome/remotedesktopsession.h"

MutterKeyInjector::MutterKeyInjector() = default;

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
