#pragma once

#include <QString>

class XTestKeyInjector;

// Whether an X11 program under Xwayland has the keyboard, asked of X's input
// focus on $DISPLAY before each text: one of Xwayland's windows while an X11
// program has it, PointerRoot or None while a native Wayland window has it.
//
// Without $DISPLAY there are no X11 programs. Where $DISPLAY is set but
// cannot be used, that is said once (with `consequence`, what it means for
// X11 programs), and the answer is no.
class XwaylandFocus
{
public:
    XwaylandFocus(XTestKeyInjector &x11, QString consequence);

    bool x11ProgramHasFocus();

private:
    XTestKeyInjector &m_x11;
    QString m_consequence;
    bool m_problemSaid = false;
};
