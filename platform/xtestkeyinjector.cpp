#include "xtestkeyinjector.h"

#include "operationerror.h"

XTestKeyInjector::XTestKeyInjector() = default;
XTestKeyInjector::~XTestKeyInjector() = default;

void XTestKeyInjector::checkAvailable()
{
    throw OperationError(OperationError::TypingUnavailable, QStringLiteral("typing is not built yet"));
}

void XTestKeyInjector::SendKeys(const QString &keys)
{
    if (keys.isEmpty())
        return;
    throw OperationError(OperationError::TypingUnavailable, QStringLiteral("typing is not built yet"));
}
