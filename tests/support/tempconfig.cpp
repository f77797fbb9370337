#include "tests/support/tempconfig.h"

#include "store/inisettingsstore.h"
#include "store/settingslayout.h"

void TempConfig::mapPort(int port, const QString &device)
{
    IniSettingsStore(path()).save(SettingsLayout::ApplicationTitle, SettingsLayout::PortsSection,
                                  SettingsLayout::portKey(port), device);
}
