#include "keyboard/wlroots/wlrootskeyinjector.h"

#include "core/operationerror.h"
#include "core/report.h"

void WlrootsKeyInjector::checkAvailable()
{
    m_wayland.checkAvailable();
    x11ProgramHasFocus();
}

void WlrootsKeyInjector::type(const QString &keys)
{
    if (x11ProgramHasFocus() && !xwaylandFollowsVirtualKeyboard())
        m_x11.type(keys);
    else
        m_wayland.type(keys);
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

bool WlrootsKeyInjector::x11ProgramHasFocus()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    try {
        const bool focused = m_x11.displayHasFocus();
        m_xwaylandProblemSaid = false;
        return focused;
    } catch (const OperationError &error) {
        if (!m_xwaylandProblemSaid)
            Report::failure(OperationError(
                error.number(), error.description()
                                    + QStringLiteral("; X11 programs under Xwayland get the keys of the Wayland "
                                                     "virtual keyboard, and may receive wrong characters")));
        m_xwaylandProblemSaid = true;
    }
    return false;
}
