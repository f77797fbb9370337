#include "app/xwaylandfocus.h"

#include "keyboard/x11/xtestkeyinjector.h"

#include <utility>

XwaylandFocus::XwaylandFocus(XTestKeyInjector &x11, QString consequence)
    : m_x11(x11)
    , m_questions(std::move(consequence))
{}

bool XwaylandFocus::x11ProgramHasFocus()
{
    return m_questions.ask([this] { return m_x11.displayHasFocus(); });
}
