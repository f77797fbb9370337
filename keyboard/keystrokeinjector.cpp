#include "keyboard/keystrokeinjector.h"

#include "core/operationerror.h"

std::u32string KeystrokeInjector::type(const QString &keys)
{
    const std::u32string strokes = m_text.strokesFor(keys);
    if (strokes.empty())
        return {};
    checkAvailable();
    try {
        return typeStrokes(strokes);
    } catch (const OperationError &) {
        giveUpConnection();
        throw;
    }
}
