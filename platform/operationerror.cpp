#include "operationerror.h"

OperationError::OperationError(int number, const QString &description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

QString OperationError::toString() const
{
    return QStringLiteral("%1 (error %2)").arg(m_description).arg(m_number);
}
