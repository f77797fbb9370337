#pragma once

#include "tests/support/environmentvariable.h"
#include "tests/support/helpers.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A temporary settings folder: sets XDG_CONFIG_HOME to it for the test's life.
class TempConfig
{
public:
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &appName) const
    {
        return path() + QLatin1Char('/') + appName + QStringLiteral(".conf");
    }

    // Adds "[Ports] Com<n>=device" to bexlow.conf.
    void mapPort(int port, const QString &device);
    // Replaces a file's whole text.
    void write(const QString &appName, const QByteArray &text) { writeFile(filePath(appName), text); }
    // A file's whole text, or an empty array when it does not exist.
    QByteArray read(const QString &appName) const { return readFile(filePath(appName)); }

private:
    QTemporaryDir m_dir;
    EnvironmentVariable m_variable{"XDG_CONFIG_HOME", QFile::encodeName(m_dir.path())};
};
