#pragma once

#include "keyboard/xserver/xwaylandquestions.h"

class XTestKeyInjector;

// Whether an X11 program under Xwayland has the keyboard, asked of X's input
// focus before each text (XTestKeyInjector::displayHasFocus).
class XwaylandFocus
{
public:
    XwaylandFocus(XTestKeyInjector &x11, QString consequence);

    bool x11ProgramHasFocus();

private:
    XTestKeyInjector &m_x11;
    XwaylandQuestions m_questions;
};
