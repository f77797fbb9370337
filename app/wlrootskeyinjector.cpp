#include "app/wlrootskeyinjector.h"

#include "core/operationerror.h"

void WlrootsKeyInjector::checkAvailable()
{
    m_wayland.checkAvailable();
    m_focus.x11ProgramHasFocus();
}

std::u32string WlrootsKeyInjector::type(const QString &keys)
{
    if (m_focus.x11ProgramHasFocus() && !xwaylandFollowsVirtualKeyboard())
        return m_x11.type(keys);
    return m_wayland.type(keys);
}

bool WlrootsKeyInjector::xwaylandFollowsVirtualKeyboard()
{
    try {
        return m_x11.keycodesName() == QLatin1String(VirtualKeymap::KeycodesName);
    } catch (const OperationError &) {
        // Asked just before: the connection went in between, and no X11
        // program is left to type into.
        return true;
    }
}
