#include "keyboard/x11/xwaylandfocus.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/x11/xtestkeyinjector.h"

#include <utility>

XwaylandFocus::XwaylandFocus(XTestKeyInjector &x11, QString consequence)
    : m_x11(x11)
    , m_consequence(std::move(consequence))
{}

bool XwaylandFocus::x11ProgramHasFocus()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    try {
        const bool focused = m_x11.displayHasFocus();
        m_problemSaid = false;
        return focused;
    } catch (const OperationError &error) {
        if (!m_problemSaid)
            Report::failure(OperationError(error.number(), error.description() + QStringLiteral("; ") + m_consequence));
        m_problemSaid = true;
    }
    return false;
}
