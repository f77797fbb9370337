// Fuzz target: a value written to a settings file reads back as it was.
#include "store/inisettingsstore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString value = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray encoded = IniSettingsStore::encodeValue(value);
    // One line in the file, whatever the value holds.
    if (encoded.contains('\n') || encoded.contains('\r'))
        std::abort();
    if (IniSettingsStore::decodeValue(encoded) != value)
        std::abort();
    // A value as a person might type it by hand reads back without crashing.
    (void)IniSettingsStore::decodeValue(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
