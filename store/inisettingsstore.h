#pragma once

#include "store/settingsstore.h"

#include <QByteArray>
#include <QList>

// The settings store as INI files: application name A is the file
// <directory>/A.conf, a section is an INI group and a key an INI key.
// The directory defaults to $XDG_CONFIG_HOME, else ~/.config.
//
// Values are written bare when they read back unchanged that way, and in
// double quotes with backslash escapes otherwise (blanks at either end,
// control characters, a leading quote). A bare value that a person edited by
// hand reads back exactly as written, commas included. Lines that are not
// understood are kept as they are when the file is rewritten, and a file is
// only ever replaced whole, so a failed save leaves the old file intact.
class IniSettingsStore : public SettingsStore
{
public:
    IniSettingsStore();
    explicit IniSettingsStore(const QString &directory);

    QString value(const QString &appName, const QString &section, const QString &key,
                  const QString &defaultValue = QString()) const override;
    QList<std::pair<QString, QString>> entries(const QString &appName, const QString &section) const override;
    void save(const QString &appName, const QString &section, const QString &key, const QString &value) override;

    QString directory() const { return m_directory; }
    QString filePath(const QString &appName) const;

    // The default directory: $XDG_CONFIG_HOME when it is an absolute path,
    // else $HOME/.config.
    static QString defaultDirectory();

    static QByteArray encodeValue(const QString &value);
    static QString decodeValue(const QByteArray &rawValue);

private:
    // The file's lines, or an empty list when it does not exist.
    QList<QByteArray> readLines(const QString &path) const;

    QString m_directory;
};
