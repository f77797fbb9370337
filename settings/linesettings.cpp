#include "settings/linesettings.h"

namespace LineSettings {

QString compose(const QString &speed, const QString &parity, const QString &dataBits, const QString &stopBits)
{
    return speed.trimmed() + QLatin1Char(',') + parity.left(1) + QLatin1Char(',') + dataBits.trimmed()
           + QLatin1Char(',') + stopBits.trimmed();
}

std::optional<Fields> parseByPosition(const QString &settings)
{
    const qsizetype offset = settings.contains(QLatin1Char('.')) ? 2 : 0;
    const qsizetype length = settings.size();
    const qsizetype speedLength = length - 6 - offset;
    if (speedLength < 0)
        return std::nullopt;
    Fields fields;
    fields.speed = settings.left(speedLength);
    fields.parity = settings.mid(length - 5 - offset, 1);   // position L - 4 - offset
    fields.dataBits = settings.mid(length - 3 - offset, 1); // position L - 2 - offset
    fields.stopBits = settings.right(offset + 1);
    return fields;
}

} // namespace LineSettings
