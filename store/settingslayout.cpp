#include "store/settingslayout.h"

#include "store/settingsstore.h"

namespace SettingsLayout {

QString portKey(int port)
{
    return QStringLiteral("Com%1").arg(port);
}

QString defaultDevice(int port)
{
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString deviceForPort(const SettingsStore &store, int port)
{
    const QString mapped = store.value(ApplicationTitle, PortsSection, portKey(port)).trimmed();
    return mapped.isEmpty() ? defaultDevice(port) : mapped;
}

} // namespace SettingsLayout
