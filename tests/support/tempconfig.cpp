#include "tests/support/tempconfig.h"

#include "store/inisettingsstore.h"
#include "store/settingslayout.h"

#include <QFile>

TempConfig::TempConfig()
{
    m_hadPrevious = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
}

TempConfig::~TempConfig()
{
    if (m_hadPrevious)
        qputenv("XDG_CONFIG_HOME", m_previous);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

void TempConfig::mapPort(int port, const QString &device)
{
    IniSettingsStore(path()).save(SettingsLayout::ApplicationTitle, SettingsLayout::PortsSection,
                                  SettingsLayout::portKey(port), device);
}

void TempConfig::write(const QString &appName, const QByteArray &text)
{
    QFile file(filePath(appName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
}

QByteArray TempConfig::read(const QString &appName) const
{
    QFile file(filePath(appName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TempConfig::exists(const QString &appName) const
{
    return QFile::exists(filePath(appName));
}
