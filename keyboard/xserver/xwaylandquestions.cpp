#include "keyboard/xserver/xwaylandquestions.h"

#include "core/operationerror.h"
#include "core/report.h"

#include <utility>

XwaylandQuestions::XwaylandQuestions(QString consequence)
    : m_consequence(std::move(consequence))
{}

bool XwaylandQuestions::ask(const std::function<bool()> &question)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    try {
        const bool answer = question();
        m_problemSaid = false;
        return answer;
    } catch (const OperationError &error) {
        if (!m_problemSaid)
            Report::failure(OperationError(error.number(), error.description() + QStringLiteral("; ") + m_consequence));
        m_problemSaid = true;
    }
    return false;
}
