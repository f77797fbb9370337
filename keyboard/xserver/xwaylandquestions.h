#pragma once

#include <QString>

#include <functional>

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
