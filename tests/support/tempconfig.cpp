#include "tests/support/tempconfig.h"

#include "store/inisettingsstore.h"
#include "store/settingslayout.h"
#include "tests/support/helpers.h"

void TempConfig::mapPort(int port, const QString &device)
{
    IniSettingsStore(path()).save(SettingsLayout::ApplicationTitle, SettingsLayout::PortsSection,
                                  SettingsLayout::portKey(port), device);
}

void TempConfig::write(const QString &appName, const QByteArray &text)
{
    writeFile(filePath(appName), text);
}

QByteArray TempConfig::read(const QString &appName) const
{
    return readFile(filePath(appName));
}
