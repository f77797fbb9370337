#include "core/operationerror.h"

#include "core/characters.h"

#include <cstring>

OperationError::OperationError(int number, const QString &description)
    : std::runtime_error(description.toStdString())
    , m_number(number)
    , m_description(description)
{}

QString OperationError::toString() const
{
    return QStringLiteral("%1 (error %2)").arg(m_description).arg(m_number);
}

QString OperationError::quoted(const QString &text)
{
    constexpr int Longest = 40;
    QString shown;
    for (const QChar c : text.left(Longest)) {
        if (c == QLatin1Char('\n'))
            shown += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            shown += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            shown += QStringLiteral("\\t");
        else if (isControlCharacter(c.unicode()))
            shown += QStringLiteral("\\x%1").arg(uint{c.unicode()}, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    if (text.size() > Longest)
        shown += QStringLiteral("...");
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QString OperationError::systemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}
