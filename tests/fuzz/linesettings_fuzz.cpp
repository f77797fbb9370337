// Fuzz target: the line settings string, as the dialog cuts it and as the
// serial component reads it.
#include "core/operationerror.h"
#include "serial/lineconfig.h"
#include "settings/linesettings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    if (const auto fields = LineSettings::parseByPosition(text)) {
        // The four fields are cut from the string without overlap or gaps
        // other than the three separators' places.
        const qsizetype total =
            fields->speed.size() + fields->parity.size() + fields->dataBits.size() + fields->stopBits.size();
        if (fields->parity.size() != 1 || fields->dataBits.size() != 1 || total + 3 != text.size())
            std::abort();
    } else if (text.size() >= 6 + (text.contains(QLatin1Char('.')) ? 2 : 0)) {
        std::abort();
    }

    try {
        const LineConfig config = LineConfig::parse(text);
        // What the component accepts, it reads back in a form it accepts again
        // as the same configuration.
        if (!(LineConfig::parse(config.toString()) == config))
            std::abort();
    } catch (const OperationError &error) {
        if (error.description().isEmpty() || error.description().contains(QLatin1Char('\n')))
            std::abort();
    }
    return 0;
}
