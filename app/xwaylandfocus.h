#pragma once

#include <QString>

#include <functional>

class XTestKeyInjector;

// Asks Xwayland (on $DISPLAY) something. Without $DISPLAY there are no X11
// programs, and the answer is no. Where $DISPLAY is set but cannot be used,
// the answer is no too, and that is said once (with `consequence`, what it
// means for X11 programs) until a question is answered again.
class XwaylandQuestions
{
public:
    explicit XwaylandQuestions(QString consequence);

    bool ask(const std::function<bool()> &question);

private:
    QString m_consequence;
    bool m_problemSaid = false;
};

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
