#include "serial/lineconfig.h"

#include "core/operationerror.h"
#include "settings/linesettings.h"

namespace {

// The parity letters in the order of the Parity enumeration.
const QString ParityLetters = QStringLiteral("neoms");

[[noreturn]] void refuse(const QString &settings, const QString &reason)
{
    throw OperationError(OperationError::InvalidPropertyValue,
                         QStringLiteral("Invalid line settings %1: %2").arg(OperationError::quoted(settings), reason));
}

bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

bool LineConfig::operator==(const LineConfig &other) const
{
    return speed == other.speed && parity == other.parity && dataBits == other.dataBits && stopBits == other.stopBits;
}

LineConfig LineConfig::parse(const QString &settings)
{
    // The dialog's positional cut, accepted only when the string is exactly
    // its four fields joined by commas.
    const std::optional<LineSettings::Fields> fields = LineSettings::parseByPosition(settings);
    if (!fields || LineSettings::compose(fields->speed, fields->parity, fields->dataBits, fields->stopBits) != settings)
        refuse(settings, QStringLiteral("expected speed,parity,data bits,stop bits such as 9600,n,8,1"));

    LineConfig config;
    const QString &speed = fields->speed;
    if (!allDigits(speed))
        refuse(settings, QStringLiteral("the speed must be a decimal number"));
    bool ok = false;
    const qulonglong speedValue = speed.size() <= 10 ? speed.toULongLong(&ok) : 0;
    if (!ok || speedValue == 0 || speedValue > 0x7fffffff)
        refuse(settings, QStringLiteral("the speed is out of range (1 to 2147483647)"));
    config.speed = std::uint32_t(speedValue);

    const qsizetype parity = ParityLetters.indexOf(fields->parity.toLower());
    if (parity < 0)
        refuse(settings, QStringLiteral("the parity must be one of n, e, o, m, s"));
    config.parity = Parity(parity);

    const QString &dataBits = fields->dataBits;
    if (dataBits[0] < QLatin1Char('4') || dataBits[0] > QLatin1Char('8'))
        refuse(settings, QStringLiteral("the data bits must be 4 to 8"));
    config.dataBits = dataBits.toInt();
    if (config.dataBits == 4)
        refuse(settings, QStringLiteral("4 data bits are not supported by Linux serial drivers; use 5 to 8"));

    const QString &stopBits = fields->stopBits;
    if (stopBits == QLatin1String("1"))
        config.stopBits = 1;
    else if (stopBits == QLatin1String("2"))
        config.stopBits = 2;
    else if (stopBits == QLatin1String("1.5"))
        refuse(settings, QStringLiteral("1.5 stop bits are not supported by Linux serial drivers; use 1 or 2"));
    else
        refuse(settings, QStringLiteral("the stop bits must be 1, 1.5 or 2"));
    return config;
}

QString LineConfig::toString() const
{
    return QStringLiteral("%1,%2,%3,%4").arg(speed).arg(parityLetter(parity)).arg(dataBits).arg(stopBits);
}

QChar parityLetter(Parity parity)
{
    return ParityLetters[int(parity)];
}

FlowControl flowControlFromCode(int code)
{
    if (code < 0 || code > 3) {
        throw OperationError(OperationError::InvalidPropertyValue,
                             QStringLiteral("Invalid flow control %1: use 0 (none), 1 (Xon/Xoff), 2 (RTS/CTS) "
                                            "or 3 (Xon/Xoff and RTS/CTS)")
                                 .arg(code));
    }
    return FlowControl(code);
}
